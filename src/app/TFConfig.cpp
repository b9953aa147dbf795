#include "app/TFConfig.h"

#include <QDir>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

// A keyring tag: a rounded card with a ring hole, turned a little, over a
// ring.
void DrawTag(QPainter &p, double size) {
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size / 64.0;
  p.save();
  p.scale(s, s);
  // The ring.
  QPen ring(QColor(0x7a, 0x80, 0x88), 4.5);
  p.setPen(ring);
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(20, 16), 11, 11);
  // The card.
  p.translate(36, 38);
  p.rotate(-18);
  QPainterPath card;
  card.addRoundedRect(QRectF(-17, -22, 34, 46), 9, 9);
  QPainterPath hole;
  hole.addEllipse(QPointF(0, -14), 4, 4);
  card = card.subtracted(hole);
  QLinearGradient fill(QPointF(0, -22), QPointF(0, 24));
  fill.setColorAt(0, QColor(0x3f, 0xa7, 0x8f));
  fill.setColorAt(1, QColor(0x1f, 0x6f, 0x8b));
  p.setPen(QPen(QColor(0x14, 0x4a, 0x5c), 1.5));
  p.setBrush(fill);
  p.drawPath(card);
  // A heart on the card: the user's picture.
  QPainterPath heart;
  heart.moveTo(0, 12);
  heart.cubicTo(-13, 2, -8, -8, 0, -2);
  heart.cubicTo(8, -8, 13, 2, 0, 12);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xff, 0xf4, 0xe0));
  p.drawPath(heart);
  p.restore();
}

} // namespace

QImage TFConfig::IconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  DrawTag(p, size);
  return image;
}

QIcon TFConfig::ProgramIcon() {
  QIcon icon;
  for (int size : ThemeSizes)
    icon.addPixmap(QPixmap::fromImage(IconImage(size)));
  return icon;
}

QPixmap TFConfig::StartupPicture() {
  QImage image(560, 340, QImage::Format_ARGB32_Premultiplied);
  image.fill(QColor(0xf6, 0xf4, 0xef));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0xd8, 0xd2, 0xc6), 2));
  p.drawRoundedRect(QRectF(1, 1, 558, 338), 14, 14);
  p.save();
  p.translate(40, 70);
  DrawTag(p, 200);
  p.restore();
  QFont title = p.font();
  title.setPointSizeF(30);
  title.setBold(true);
  p.setFont(title);
  p.setPen(QColor(0x1f, 0x4f, 0x63));
  p.drawText(QRectF(260, 90, 290, 60), Qt::AlignLeft | Qt::AlignVCenter, "Tallisyn 2");
  QFont text = p.font();
  text.setPointSizeF(12);
  text.setBold(false);
  p.setFont(text);
  p.setPen(QColor(0x44, 0x44, 0x44));
  p.drawText(QRectF(262, 150, 280, 120), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
             "Keyring inserts with your pictures and words.\n\nOpen a template from the File "
             "menu to begin.");
  return QPixmap::fromImage(image);
}

QPixmap TFConfig::Marker(int index) {
  QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  if (index == 0) {
    p.setPen(QPen(QColor(0x2e, 0x8b, 0x57), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
  } else {
    p.setPen(QPen(QColor(0xb2, 0x22, 0x22), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
  }
  return QPixmap::fromImage(image);
}

bool TFConfig::WriteIconTheme(const std::string &dir) {
  for (int size : ThemeSizes) {
    const QString folder = QString::fromStdString(dir) + QString("/hicolor/%1x%1/apps").arg(size);
    if (!QDir().mkpath(folder) || !IconImage(size).save(folder + "/tallisyn.png", "PNG"))
      return false;
  }
  return true;
}

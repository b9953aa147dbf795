#include "app/TfsRulerWidget.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

TfsRulerWidget::TfsRulerWidget(TKind kind, QWidget *parent) : QWidget(parent), FKind(kind) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  if (kind == rkCorner)
    setCursor(Qt::PointingHandCursor);
}

void TfsRulerWidget::SetUnits(TRulerUnit units) {
  if (units == FUnits)
    return;
  FUnits = units;
  update();
}

void TfsRulerWidget::SetView(float offset, float scale) {
  if (offset == FOffset && scale == FScale)
    return;
  FOffset = offset;
  FScale = scale;
  update();
}

void TfsRulerWidget::SetHairLine(int position) {
  if (position == FHairLine)
    return;
  FHairLine = position;
  update();
}

double TfsRulerWidget::UnitMm(TRulerUnit units) {
  switch (units) {
  case ruCenti:
    return 10;
  case ruInch:
    return 25.4;
  case ruPixel:
    return 25.4 / 96;
  case ruMilli:
    break;
  }
  return 1;
}

QString TfsRulerWidget::UnitName(TRulerUnit units) {
  switch (units) {
  case ruCenti:
    return QStringLiteral("cm");
  case ruInch:
    return QStringLiteral("in");
  case ruPixel:
    return QStringLiteral("px");
  case ruMilli:
    break;
  }
  return QStringLiteral("mm");
}

void TfsRulerWidget::mousePressEvent(QMouseEvent *event) {
  if (FKind == rkCorner && event->button() == Qt::LeftButton && OnCycleUnits)
    OnCycleUnits();
  else
    QWidget::mousePressEvent(event);
}

void TfsRulerWidget::paintEvent(QPaintEvent *) {
  QPainter p(this);
  const QPalette &pal = palette();
  p.fillRect(rect(), pal.color(QPalette::Button));
  p.setPen(pal.color(QPalette::Mid));
  const bool top = FKind == rkTop;
  if (FKind == rkCorner) {
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(pal.color(QPalette::ButtonText));
    QFont f = font();
    f.setPixelSize(9);
    p.setFont(f);
    p.drawText(rect(), Qt::AlignCenter, UnitName(FUnits));
    return;
  }
  if (top)
    p.drawLine(0, height() - 1, width(), height() - 1);
  else
    p.drawLine(width() - 1, 0, width() - 1, height());
  if (!(FScale > 0))
    return;
  // Logical pixels per unit: the scale counts device pixels.
  const double dpr = devicePixelRatioF();
  const double perUnit = FScale / dpr * UnitMm(FUnits);
  // Labels at least 50 pixels apart, at 1, 2 or 5 times a power of ten.
  double step = 1e-3;
  for (int k = 0; step * perUnit < 50 && k < 30; ++k)
    step = (k % 3 == 0 ? 2 : k % 3 == 1 ? 5 : 10) * std::pow(10.0, k / 3 - 3);
  int subdivisions = 10;
  while (subdivisions > 1 && step * perUnit / subdivisions < 5)
    subdivisions /= 2;
  const double minor = step / subdivisions;
  const int length = top ? width() : height();
  const int depth = top ? height() : width();
  const double first = FOffset / UnitMm(FUnits);
  const double last = first + length / perUnit;
  QFont f = font();
  f.setPixelSize(9);
  p.setFont(f);
  p.setPen(pal.color(QPalette::ButtonText));
  for (long i = static_cast<long>(std::floor(first / minor)); i * minor <= last; ++i) {
    const double value = i * minor;
    const int at = static_cast<int>(std::lrint((value - first) * perUnit));
    const bool major = i % subdivisions == 0;
    const int tick =
        major ? depth - 2
              : (subdivisions % 2 == 0 && i % (subdivisions / 2) == 0 ? depth / 2 : depth / 4);
    if (top) {
      p.drawLine(at, depth - 1 - tick, at, depth - 1);
      if (major)
        p.drawText(at + 2, 1, 60, depth / 2, Qt::AlignLeft | Qt::AlignTop,
                   QString::number(value, 'g', 6));
    } else {
      p.drawLine(depth - 1 - tick, at, depth - 1, at);
      if (major) {
        p.save();
        p.translate(1, at - 2);
        p.rotate(-90);
        p.drawText(0, 0, 60, depth / 2, Qt::AlignLeft | Qt::AlignTop,
                   QString::number(value, 'g', 6));
        p.restore();
      }
    }
  }
  if (FHairLine >= 0) {
    p.setPen(pal.color(QPalette::Highlight));
    if (top)
      p.drawLine(FHairLine, 0, FHairLine, depth);
    else
      p.drawLine(0, FHairLine, depth, FHairLine);
  }
}

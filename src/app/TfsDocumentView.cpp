#include "app/TfsDocumentView.h"

#include "app/TfsRulerWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

TfsDocumentView::TfsDocumentView(QWidget *parent, const TDocumentFactory &factory)
    : QAbstractScrollArea(parent) {
  FDocument = factory ? factory(*this) : std::make_unique<TfsDocument>(this);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this,
          [this](int action) { BarAction(true, action); });
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this,
          [this](int action) { BarAction(false, action); });
  FDocument->SetHandleAllocated(true);
  UpdateClientSize();
}

TfsDocumentView::~TfsDocumentView() {
  // The document may still ask its host while it goes.
  FDocument->SetRulerTop(nullptr);
  FDocument->SetRulerLeft(nullptr);
  FDocument->SetRulerCorner(nullptr);
  FDocument.reset();
}

double TfsDocumentView::PixelRatio() const {
  return viewport()->devicePixelRatioF();
}

void TfsDocumentView::SetRulersVisible(bool visible) {
  if (visible == FRulersVisible)
    return;
  FRulersVisible = visible;
  if (visible) {
    FRulerTop = new TfsRulerWidget(TfsRulerWidget::rkTop, this);
    FRulerLeft = new TfsRulerWidget(TfsRulerWidget::rkLeft, this);
    FRulerCorner = new TfsRulerWidget(TfsRulerWidget::rkCorner, this);
    FRulerCorner->OnCycleUnits = [this] {
      FDocument->SetRulerUnits(static_cast<TRulerUnit>((FDocument->RulerUnits() + 1) % 4));
    };
    setViewportMargins(TfsRulerWidget::Thickness, TfsRulerWidget::Thickness, 0, 0);
    PlaceRulers();
    for (TfsRulerWidget *r : {FRulerTop, FRulerLeft, FRulerCorner})
      r->show();
    FDocument->SetRulerTop(FRulerTop);
    FDocument->SetRulerLeft(FRulerLeft);
    FDocument->SetRulerCorner(FRulerCorner);
  } else {
    FDocument->SetRulerTop(nullptr);
    FDocument->SetRulerLeft(nullptr);
    FDocument->SetRulerCorner(nullptr);
    delete FRulerTop;
    delete FRulerLeft;
    delete FRulerCorner;
    FRulerTop = FRulerLeft = FRulerCorner = nullptr;
    setViewportMargins(0, 0, 0, 0);
  }
}

void TfsDocumentView::PlaceRulers() {
  if (!FRulersVisible)
    return;
  const QRect v = viewport()->geometry();
  const int t = TfsRulerWidget::Thickness;
  FRulerTop->setGeometry(v.left(), v.top() - t, v.width(), t);
  FRulerLeft->setGeometry(v.left() - t, v.top(), t, v.height());
  FRulerCorner->setGeometry(v.left() - t, v.top() - t, t, t);
}

void TfsDocumentView::UpdateClientSize() {
  const double dpr = PixelRatio();
  const int32_t w = static_cast<int32_t>(std::lrint(viewport()->width() * dpr));
  const int32_t h = static_cast<int32_t>(std::lrint(viewport()->height() * dpr));
  if (FCanvas.Width() != w || FCanvas.Height() != h) {
    FCanvas.SetSize(w, h);
    FCanvas.Clear(ToColor32(FDocument->Color()));
    FImage = w > 0 && h > 0 ? QImage(reinterpret_cast<uchar *>(FCanvas.Bits()), w, h, w * 4,
                                     QImage::Format_RGB32)
                            : QImage();
    FImage.setDevicePixelRatio(dpr);
  } else if (FImage.devicePixelRatio() != dpr) {
    FImage.setDevicePixelRatio(dpr);
  }
  FDocument->SetClientSize(w, h);
}

// ---- painting ---------------------------------------------------------------

void TfsDocumentView::paintEvent(QPaintEvent *event) {
  const double dpr = PixelRatio();
  if (FImage.isNull() || FImage.devicePixelRatio() != dpr)
    UpdateClientSize();
  if (FImage.isNull())
    return;
  // The clip in device pixels, grown to whole pixels.
  const QRect r = event->rect();
  const int32_t left = static_cast<int32_t>(std::floor(r.left() * dpr));
  const int32_t top = static_cast<int32_t>(std::floor(r.top() * dpr));
  const int32_t right = static_cast<int32_t>(std::ceil((r.right() + 1) * dpr));
  const int32_t bottom = static_cast<int32_t>(std::ceil((r.bottom() + 1) * dpr));
  const TRect clip = Rect(std::max(left, 0), std::max(top, 0), std::min(right, FCanvas.Width()),
                          std::min(bottom, FCanvas.Height()));
  if (clip.Right <= clip.Left || clip.Bottom <= clip.Top)
    return;
  FDocument->Paint(FCanvas, clip);
  QPainter p(viewport());
  p.drawImage(QPointF(clip.Left / dpr, clip.Top / dpr), FImage,
              QRect(clip.Left, clip.Top, clip.Width(), clip.Height()));
}

void TfsDocumentView::Repaint(const TRect &screenRect) {
  const double dpr = PixelRatio();
  const int left = static_cast<int>(std::floor(screenRect.Left / dpr));
  const int top = static_cast<int>(std::floor(screenRect.Top / dpr));
  const int right = static_cast<int>(std::ceil(screenRect.Right / dpr));
  const int bottom = static_cast<int>(std::ceil(screenRect.Bottom / dpr));
  if (right > left && bottom > top)
    viewport()->update(left, top, right - left, bottom - top);
}

void TfsDocumentView::RepaintAll() {
  viewport()->update();
}

void TfsDocumentView::ScrollView(int32_t dx, int32_t dy) {
  // Moving pixels only works by whole logical pixels.
  const double dpr = PixelRatio();
  const double lx = dx / dpr, ly = dy / dpr;
  if (lx == std::trunc(lx) && ly == std::trunc(ly))
    viewport()->scroll(static_cast<int>(lx), static_cast<int>(ly));
  else
    viewport()->update();
}

// ---- scrolling ----------------------------------------------------------------

void TfsDocumentView::ScrollBarsChanged() {
  FSettingBars = true;
  const auto set = [](QScrollBar *bar, const TScrollBarInfo &info) {
    bar->setRange(0, std::max(0, info.Max - info.Page));
    bar->setPageStep(std::max(1, info.Page));
    bar->setSingleStep(1);
    bar->setValue(info.Pos);
  };
  set(horizontalScrollBar(), FDocument->HorzScrollBar());
  set(verticalScrollBar(), FDocument->VertScrollBar());
  FSettingBars = false;
}

void TfsDocumentView::BarAction(bool horizontal, int action) {
  QScrollBar *bar = horizontal ? horizontalScrollBar() : verticalScrollBar();
  switch (action) {
  case QAbstractSlider::SliderSingleStepAdd:
    FDocument->ScrollMessage(horizontal, scLineDown);
    break;
  case QAbstractSlider::SliderSingleStepSub:
    FDocument->ScrollMessage(horizontal, scLineUp);
    break;
  case QAbstractSlider::SliderPageStepAdd:
    FDocument->ScrollMessage(horizontal, scPageDown);
    break;
  case QAbstractSlider::SliderPageStepSub:
    FDocument->ScrollMessage(horizontal, scPageUp);
    break;
  case QAbstractSlider::SliderToMinimum:
    FDocument->ScrollMessage(horizontal, scTop);
    break;
  case QAbstractSlider::SliderToMaximum:
    FDocument->ScrollMessage(horizontal, scBottom);
    break;
  case QAbstractSlider::SliderMove:
    FDocument->ScrollMessage(horizontal, scTrack, bar->sliderPosition());
    break;
  default:
    return;
  }
  // The document decides the position; the bar's own step is overruled.
  const TScrollBarInfo &info = horizontal ? FDocument->HorzScrollBar() : FDocument->VertScrollBar();
  FSettingBars = true;
  bar->setSliderPosition(info.Pos);
  FSettingBars = false;
}

void TfsDocumentView::scrollContentsBy(int, int) {
  // The document moves the content itself (ScrollView).
}

void TfsDocumentView::resizeEvent(QResizeEvent *event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateClientSize();
  PlaceRulers();
}

void TfsDocumentView::showEvent(QShowEvent *event) {
  QAbstractScrollArea::showEvent(event);
  UpdateClientSize();
  if (!FAttached) {
    FAttached = true;
    FDocument->WindowAttached();
  }
}

bool TfsDocumentView::viewportEvent(QEvent *event) {
  if (event->type() == QEvent::Leave && FRulersVisible) {
    FRulerTop->SetHairLine(-1);
    FRulerLeft->SetHairLine(-1);
  }
  return QAbstractScrollArea::viewportEvent(event);
}

void TfsDocumentView::mouseMoveEvent(QMouseEvent *event) {
  if (FRulersVisible) {
    const QPoint p = event->position().toPoint();
    FRulerTop->SetHairLine(p.x());
    FRulerLeft->SetHairLine(p.y());
  }
  const TPoint p = DevicePoint(event->position());
  FDocument->MouseMove(ShiftState(event->modifiers(), event->buttons()), p);
  if (OnMouseMove)
    OnMouseMove(p);
  event->accept();
}

TPoint TfsDocumentView::DevicePoint(const QPointF &logical) const {
  const QPointF d = logical * PixelRatio();
  return {static_cast<int32_t>(std::floor(d.x())), static_cast<int32_t>(std::floor(d.y()))};
}

TShiftState TfsDocumentView::ShiftState(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
  TShiftState s = 0;
  if (modifiers & Qt::ShiftModifier)
    s |= ssShift;
  if (modifiers & Qt::ControlModifier)
    s |= ssCtrl;
  if (modifiers & Qt::AltModifier)
    s |= ssAlt;
  if (buttons & Qt::LeftButton)
    s |= ssLeft;
  if (buttons & Qt::RightButton)
    s |= ssRight;
  if (buttons & Qt::MiddleButton)
    s |= ssMiddle;
  return s;
}

namespace {

bool EngineButton(Qt::MouseButton qt, TMouseButton &button) {
  switch (qt) {
  case Qt::LeftButton:
    button = mbLeft;
    return true;
  case Qt::RightButton:
    button = mbRight;
    return true;
  case Qt::MiddleButton:
    button = mbMiddle;
    return true;
  default:
    return false;
  }
}

} // namespace

void TfsDocumentView::mousePressEvent(QMouseEvent *event) {
  TMouseButton button;
  if (!EngineButton(event->button(), button))
    return QAbstractScrollArea::mousePressEvent(event);
  setFocus(Qt::MouseFocusReason);
  // The pressed button counts as held, as the engine expects.
  FDocument->MouseDown(button, ShiftState(event->modifiers(), event->buttons() | event->button()),
                       DevicePoint(event->position()));
  event->accept();
}

void TfsDocumentView::mouseReleaseEvent(QMouseEvent *event) {
  TMouseButton button;
  if (!EngineButton(event->button(), button))
    return QAbstractScrollArea::mouseReleaseEvent(event);
  FDocument->MouseUp(button, ShiftState(event->modifiers(), event->buttons() | event->button()),
                     DevicePoint(event->position()));
  event->accept();
}

void TfsDocumentView::mouseDoubleClickEvent(QMouseEvent *event) {
  if (event->button() != Qt::LeftButton)
    return QAbstractScrollArea::mouseDoubleClickEvent(event);
  FDocument->DblClick(ShiftState(event->modifiers(), event->buttons()),
                      DevicePoint(event->position()));
  event->accept();
}

bool TfsDocumentView::event(QEvent *event) {
  // Tab and Backtab belong to the text being edited, not to the focus
  // chain.
  if (event->type() == QEvent::KeyPress && FDocument->DragState() == TfsDocument::dsEditing) {
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
      keyPressEvent(key);
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void TfsDocumentView::ZoomAbout(int steps, const QPointF &at) {
  TfsDocument &d = *FDocument;
  const double dpr = PixelRatio();
  const float px = static_cast<float>(at.x() * dpr), py = static_cast<float>(at.y() * dpr);
  const float x = d.ScrollX(), y = d.ScrollY(), before = d.ViewScale();
  for (; steps > 0; --steps)
    d.ZoomIn();
  for (; steps < 0; ++steps)
    d.ZoomOut();
  // The whole virtual area scaled: the point under the pointer goes back
  // under it.
  const float f = d.ViewScale() / before;
  float dx = (x + px) * f - px - d.ScrollX();
  float dy = (y + py) * f - py - d.ScrollY();
  d.ScrollBy(dx, dy);
  RepaintAll();
}

void TfsDocumentView::wheelEvent(QWheelEvent *event) {
  const QPoint angle = event->angleDelta();
  if (event->modifiers() & Qt::ControlModifier) {
    FWheelZoom += angle.y();
    const int steps = FWheelZoom / 120;
    FWheelZoom -= steps * 120;
    if (steps != 0)
      ZoomAbout(steps, event->position());
    event->accept();
    return;
  }
  const double dpr = PixelRatio();
  QPointF move;
  if (!event->pixelDelta().isNull())
    move = QPointF(event->pixelDelta()) * dpr;
  else
    move = QPointF(angle) / 120.0 * QApplication::wheelScrollLines() * 20 * dpr;
  if (event->modifiers() & Qt::ShiftModifier && move.x() == 0)
    move = QPointF(move.y(), 0);
  float dx = static_cast<float>(-move.x()), dy = static_cast<float>(-move.y());
  FDocument->ScrollBy(dx, dy);
  event->accept();
}

uint16_t TfsDocumentView::KeyCode(int qtKey) {
  switch (qtKey) {
  case Qt::Key_Backspace:
    return vkBack;
  case Qt::Key_Tab:
    return vkTab;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    return vkReturn;
  case Qt::Key_Escape:
    return vkEscape;
  case Qt::Key_Space:
    return vkSpace;
  case Qt::Key_PageUp:
    return vkPrior;
  case Qt::Key_PageDown:
    return vkNext;
  case Qt::Key_End:
    return vkEnd;
  case Qt::Key_Home:
    return vkHome;
  case Qt::Key_Left:
    return vkLeft;
  case Qt::Key_Up:
    return vkUp;
  case Qt::Key_Right:
    return vkRight;
  case Qt::Key_Down:
    return vkDown;
  case Qt::Key_Delete:
    return vkDelete;
  case Qt::Key_Plus:
    return vkAdd;
  case Qt::Key_F2:
    return vkF2;
  case Qt::Key_F5:
    return vkF5;
  default:
    return 0;
  }
}

float TfsDocumentView::NudgeStep(bool fine) const {
  if (fine)
    return 0.1f;
  TfsPage *page = FDocument->CurrentPage();
  const float grid = page ? page->GridSize() : 0;
  return grid > 0 ? grid : 1;
}

void TfsDocumentView::keyPressEvent(QKeyEvent *event) {
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  const bool alt = event->modifiers() & Qt::AltModifier;
  TfsDocument &d = *FDocument;
  const TShiftState shift = ShiftState(event->modifiers(), Qt::NoButton);
  uint16_t code = KeyCode(event->key());

  // The shape being edited gets every key, and the characters they make.
  if (d.DragState() == TfsDocument::dsEditing) {
    if (code != 0)
      d.KeyDown(code, shift);
    char16_t ch = 0;
    if (ctrl && event->key() == Qt::Key_C)
      ch = CtrlC;
    else if (ctrl && event->key() == Qt::Key_V)
      ch = CtrlV;
    else if (ctrl && event->key() == Qt::Key_X)
      ch = CtrlX;
    else if (!event->text().isEmpty() && !ctrl)
      ch = event->text().front().unicode();
    if (ch != 0 && ch != u'\r' && ch != u'\b' && ch != 0x7F && ch != 0x1B)
      d.KeyPress(ch);
    event->accept();
    return;
  }

  const bool arrow = event->key() == Qt::Key_Left || event->key() == Qt::Key_Right ||
                     event->key() == Qt::Key_Up || event->key() == Qt::Key_Down;
  if (arrow && !ctrl && d.HasSelection() && !d.ReadOnly() && d.Mode() == vmEdit) {
    const float step = NudgeStep(alt);
    const float dx = event->key() == Qt::Key_Left    ? -step
                     : event->key() == Qt::Key_Right ? step
                                                     : 0;
    const float dy = event->key() == Qt::Key_Up ? -step : event->key() == Qt::Key_Down ? step : 0;
    d.NudgeSelection(dx, dy);
    event->accept();
    return;
  }
  if (ctrl && (event->key() == Qt::Key_Z || event->key() == Qt::Key_Y)) {
    if (event->key() == Qt::Key_Y || (event->modifiers() & Qt::ShiftModifier))
      d.Redo();
    else
      d.Undo();
    event->accept();
    return;
  }
  switch (event->key()) {
  case Qt::Key_Escape:
  case Qt::Key_Delete:
  case Qt::Key_F2:
  case Qt::Key_F5:
    if (d.KeyDown(code, shift)) {
      event->accept();
      return;
    }
    break;
  case Qt::Key_C:
  case Qt::Key_V:
  case Qt::Key_X:
    if (ctrl) {
      char16_t ch = event->key() == Qt::Key_C ? CtrlC : event->key() == Qt::Key_V ? CtrlV : CtrlX;
      if (d.KeyPress(ch)) {
        event->accept();
        return;
      }
    }
    break;
  default:
    break;
  }
  switch (event->key()) {
  case Qt::Key_Up:
    d.ScrollMessage(false, scLineUp);
    break;
  case Qt::Key_Down:
    d.ScrollMessage(false, scLineDown);
    break;
  case Qt::Key_Left:
    d.ScrollMessage(true, scLineUp);
    break;
  case Qt::Key_Right:
    d.ScrollMessage(true, scLineDown);
    break;
  case Qt::Key_PageUp:
    d.ScrollMessage(ctrl, scPageUp);
    break;
  case Qt::Key_PageDown:
    d.ScrollMessage(ctrl, scPageDown);
    break;
  case Qt::Key_Home:
    d.ScrollMessage(ctrl, scTop);
    break;
  case Qt::Key_End:
    d.ScrollMessage(ctrl, scBottom);
    break;
  case Qt::Key_Plus:
    if (!ctrl)
      return QAbstractScrollArea::keyPressEvent(event);
    ZoomAbout(1, QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0));
    break;
  case Qt::Key_Minus:
    if (!ctrl)
      return QAbstractScrollArea::keyPressEvent(event);
    ZoomAbout(-1, QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0));
    break;
  default:
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  event->accept();
}

void TfsDocumentView::keyReleaseEvent(QKeyEvent *event) {
  uint16_t code = KeyCode(event->key());
  if (code != 0)
    FDocument->KeyUp(code, ShiftState(event->modifiers(), Qt::NoButton));
  QAbstractScrollArea::keyReleaseEvent(event);
}

// ---- what only a window can do --------------------------------------------------

Qt::CursorShape TfsDocumentView::CursorShape(int16_t cursor) {
  switch (cursor) {
  case crNone:
    return Qt::BlankCursor;
  case crCross:
    return Qt::CrossCursor;
  case crIBeam:
    return Qt::IBeamCursor;
  case crSizeNESW:
    return Qt::SizeBDiagCursor;
  case crSizeNS:
    return Qt::SizeVerCursor;
  case crSizeNWSE:
    return Qt::SizeFDiagCursor;
  case crSizeWE:
    return Qt::SizeHorCursor;
  case crUpArrow:
    return Qt::UpArrowCursor;
  case crHourGlass:
  case crSQLWait:
    return Qt::WaitCursor;
  case crDrag:
  case crMultiDrag:
    return Qt::DragMoveCursor;
  case crNoDrop:
  case crNo:
    return Qt::ForbiddenCursor;
  case crHSplit:
    return Qt::SplitHCursor;
  case crVSplit:
    return Qt::SplitVCursor;
  case crAppStart:
    return Qt::BusyCursor;
  case crHelp:
    return Qt::WhatsThisCursor;
  case crHandPoint:
    return Qt::PointingHandCursor;
  case crSizeAll:
    return Qt::SizeAllCursor;
  case crSizeCopy:
    return Qt::DragCopyCursor;
  case crFsCross:
  case crFsCrossLine:
  case crFsCrossArrow:
  case crFsCrossRectangle:
  case crFsCrossEllipse:
  case crFsCrossText:
  case crFsCrossImage:
    return Qt::CrossCursor;
  default:
    return Qt::ArrowCursor;
  }
}

namespace {

// A turning arrow: the platform has no rotation cursor.
QCursor RotationCursor() {
  static const QCursor cursor = [] {
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    for (int pass = 0; pass < 2; ++pass) {
      p.setPen(QPen(pass == 0 ? Qt::white : Qt::black, pass == 0 ? 4 : 2));
      p.drawArc(QRectF(4, 4, 16, 16), 30 * 16, 270 * 16);
      const QPolygonF head({QPointF(19, 4), QPointF(21, 11), QPointF(14, 9)});
      p.setBrush(pass == 0 ? Qt::white : Qt::black);
      p.drawPolygon(head);
    }
    return QCursor(pixmap, 12, 12);
  }();
  return cursor;
}

} // namespace

void TfsDocumentView::SetCursor(int16_t cursor) {
  if (cursor == crRotation)
    viewport()->setCursor(RotationCursor());
  else
    viewport()->setCursor(CursorShape(cursor));
}

void TfsDocumentView::BeginDragDrop() {
  // The selection travels as its clipboard text.
  std::string text;
  FDocument->CopyToText(text);
  auto *drag = new QDrag(this);
  auto *data = new QMimeData;
  data->setData("application/x-tallisyn-selection", QByteArray::fromStdString(text));
  drag->setMimeData(data);
  drag->exec(Qt::CopyAction);
}

void TfsDocumentView::ShowHint(const std::string &text, const TPoint &clientPoint) {
  const double dpr = PixelRatio();
  const QPoint at =
      viewport()->mapToGlobal(QPoint(int(clientPoint.X / dpr), int(clientPoint.Y / dpr)));
  QToolTip::showText(at, QString::fromStdString(text), viewport());
}

void TfsDocumentView::HideHint() {
  QToolTip::hideText();
}

QString TfsDocumentView::QtNameFilters(const std::string &filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    QString description = parts[i];
    // A description that lists its patterns already keeps them once.
    const int open = description.indexOf('(');
    if (open > 0)
      description = description.left(open).trimmed();
    filters << QString("%1 (%2)").arg(description, patterns);
  }
  return filters.join(";;");
}

bool TfsDocumentView::ChoosePictureFile(const std::string &title, const std::string &filter,
                                        std::string &fileName) {
  const QString start = QString::fromStdString(fileName);
  const QString chosen = QFileDialog::getOpenFileName(
      this, QString::fromStdString(title), start.isEmpty() ? QString() : QFileInfo(start).path(),
      QtNameFilters(filter));
  if (chosen.isEmpty())
    return false;
  fileName = chosen.toStdString();
  return true;
}

TSize TfsDocumentView::ClientSize() const {
  const double dpr = viewport()->devicePixelRatioF();
  return {int32_t(std::lrint(viewport()->width() * dpr)),
          int32_t(std::lrint(viewport()->height() * dpr))};
}

void TfsDocumentView::StartTimer(TfsTimer timer, int32_t intervalMs) {
  QTimer *&t = FTimers[timer];
  if (!t) {
    t = new QTimer(this);
    connect(t, &QTimer::timeout, this, [this, timer] { FDocument->TimerTick(timer); });
  }
  t->start(std::max(intervalMs, 0));
}

void TfsDocumentView::StopTimer(TfsTimer timer) {
  const auto it = FTimers.find(timer);
  if (it != FTimers.end() && it->second)
    it->second->stop();
}

void TfsDocumentView::ShowMessage(const std::string &text) {
  QMessageBox::information(this, QGuiApplication::applicationDisplayName(),
                           QString::fromStdString(text));
}

bool TfsDocumentView::Confirm(const std::string &text) {
  return QMessageBox::question(this, QGuiApplication::applicationDisplayName(),
                               QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

int TfsDocumentView::PopupMenu(const TPoint &screenPoint, const std::vector<std::string> &items) {
  QMenu menu(this);
  std::vector<QAction *> actions;
  for (const std::string &item : items)
    actions.push_back(item == "-" ? menu.addSeparator()
                                  : menu.addAction(QString::fromStdString(item)));
  // The point is in the view's device pixels.
  const double dpr = PixelRatio();
  const QPoint at =
      viewport()->mapToGlobal(QPointF(screenPoint.X / dpr, screenPoint.Y / dpr)).toPoint();
  QAction *chosen = menu.exec(at);
  const auto it = std::find(actions.begin(), actions.end(), chosen);
  return chosen && it != actions.end() ? static_cast<int>(it - actions.begin()) : -1;
}

std::string TfsDocumentView::ClipboardText() {
  return QGuiApplication::clipboard()->text().toStdString();
}

void TfsDocumentView::SetClipboardText(const std::string &text) {
  QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

void TfsDocumentView::ProcessMessages() {
  QCoreApplication::processEvents();
}

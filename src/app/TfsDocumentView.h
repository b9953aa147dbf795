#pragma once

#include "engine/fsDocument.h"
#include "raster/fsGR32.h"

#include <QAbstractScrollArea>
#include <QImage>

#include <functional>
#include <map>
#include <memory>

class QTimer;
class TfsRulerWidget;

// The window of a document: shows its current page, drives its scrolling
// state from the scroll bars, the wheel and the keyboard, zooms with
// Ctrl+wheel about the pointer, and does for it what only a window can
// (cursors, timers, messages, menus, the clipboard). The document works in
// device pixels, so the page is sharp at any device pixel ratio.
class TfsDocumentView : public QAbstractScrollArea, public TfsDocumentHost {
  Q_OBJECT
public:
  using TDocumentFactory = std::function<std::unique_ptr<TfsDocument>(TfsDocumentHost &host)>;

  // The document is made by the factory (a plain document without one),
  // with this view as its host.
  explicit TfsDocumentView(QWidget *parent = nullptr, const TDocumentFactory &factory = {});
  ~TfsDocumentView() override;

  TfsDocument &Document() const { return *FDocument; }
  // The three rulers along the top and left edges.
  void SetRulersVisible(bool visible);
  bool RulersVisible() const { return FRulersVisible; }
  TfsRulerWidget *RulerTop() const { return FRulerTop; }
  TfsRulerWidget *RulerLeft() const { return FRulerLeft; }
  TfsRulerWidget *RulerCorner() const { return FRulerCorner; }
  // Device pixels per logical pixel of the view.
  double PixelRatio() const;

  static Qt::CursorShape CursorShape(int16_t cursor);

  // The pointer moved over the page, in the document's client (device)
  // pixels.
  std::function<void(const TPoint &)> OnMouseMove;

  // ---- TfsDocumentHost ------------------------------------------------------
  void Repaint(const TRect &screenRect) override;
  void RepaintAll() override;
  void SetCursor(int16_t cursor) override;
  void StartTimer(TfsTimer timer, int32_t intervalMs) override;
  void StopTimer(TfsTimer timer) override;
  void ShowMessage(const std::string &text) override;
  bool Confirm(const std::string &text) override;
  int PopupMenu(const TPoint &screenPoint, const std::vector<std::string> &items) override;
  std::string ClipboardText() override;
  void SetClipboardText(const std::string &text) override;
  void ScrollView(int32_t dx, int32_t dy) override;
  void ScrollBarsChanged() override;
  void ProcessMessages() override;
  void BeginDragDrop() override;
  void ShowHint(const std::string &text, const TPoint &clientPoint) override;
  void HideHint() override;
  TSize ClientSize() const override;
  bool ChoosePictureFile(const std::string &title, const std::string &filter,
                         std::string &fileName) override;
  // "Description|*.a;*.b|..." as a Qt name filter list.
  static QString QtNameFilters(const std::string &filter);

  // The engine's view of a Qt event: buttons and modifiers as its shift
  // state, a point in device pixels, a key as its key code (0 for none).
  static TShiftState ShiftState(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);
  static uint16_t KeyCode(int qtKey);
  TPoint DevicePoint(const QPointF &logical) const;
  // The distance an arrow key moves the selection: one grid step, with Alt
  // a tenth of a millimetre.
  float NudgeStep(bool fine) const;

protected:
  void paintEvent(QPaintEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void wheelEvent(QWheelEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;
  void keyReleaseEvent(QKeyEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  bool event(QEvent *event) override;
  bool viewportEvent(QEvent *event) override;
  void scrollContentsBy(int dx, int dy) override;

private:
  void UpdateClientSize();
  void BarAction(bool horizontal, int action);
  void PlaceRulers();
  // Zooms in (steps > 0) or out about a viewport point (logical pixels).
  void ZoomAbout(int steps, const QPointF &at);

  std::unique_ptr<TfsDocument> FDocument;
  TBitmap32 FCanvas;
  // RGB32 over the canvas's memory: the rendered page is opaque.
  QImage FImage;
  std::map<TfsTimer, QTimer *> FTimers;
  TfsRulerWidget *FRulerTop = nullptr;
  TfsRulerWidget *FRulerLeft = nullptr;
  TfsRulerWidget *FRulerCorner = nullptr;
  bool FRulersVisible = false;
  bool FAttached = false;
  bool FSettingBars = false;
  int FWheelZoom = 0;
};

#pragma once

#include "engine/fsCommand.h"
#include "engine/fsHost.h"
#include "engine/fsPage.h"
#include "engine/fsPageDocument.h"
#include "engine/fsPrinting.h"
#include "engine/fsVirtScrollBox.h"
#include "persist/fsBitmapResource.h"
#include "persist/nvStorage.h"
#include "text/fsTruetypeFonts.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TXmlNode;
// Held through a pointer: its header names font styles as fsShape.h does.

enum TfsViewerModeType : uint8_t { vmBrowse, vmEdit, vmTextSelect, vmZoom, vmSlideshow };
enum TPrintQualityType : uint8_t { pqLow, pqMedium, pqHigh, pqDevice };
enum TfsHandlePainterType : uint8_t { hpStippleHandle, hpW2K3Handle, hpCustomHandle };
enum TfsHZScrollingType : uint8_t { hzsNoScroll, hzsAlways, hzsWhenMouseDown };
enum TMultiSelectMethodType : uint8_t { msmCtrl, msmSimple };
enum TfsDocPerformanceType : uint8_t { dpMemoryOverSpeed, dpSpeedOverMemory };
enum TRulerUnit : uint8_t { ruMilli, ruCenti, ruInch, ruPixel };
enum TfsProgressType : uint8_t { ptLoad, ptSave, ptPrint, ptWizard };

// A ruler beside the view: its units, the page-local coordinate at the
// view's edge and the view scale (pixels per mm).
class TfsRuler {
public:
  virtual ~TfsRuler() = default;
  virtual void SetUnits(TRulerUnit units) = 0;
  virtual void SetView(float offset, float scale) = 0;
};

// The engine's document: pages, the current page, default page settings,
// selection and focus, arrangement and grouping, undo recording, the archive
// it is stored in and the events the application follows it by. The window
// that shows it is reached through the host given at creation (none for a
// document without a window); the document is also the scrolling state of
// that window's view.
class TfsDocument : public TfsPageDocument, public TVirtScrollBox {
public:
  using TNotifyEvent = std::function<void(TfsDocument &Sender)>;
  using TNotifyShapeEvent = std::function<void(TfsDocument &Sender, TfsShape *Shape)>;
  using TNotifyPageEvent = std::function<void(TfsDocument &Sender, TfsPage *Page)>;
  using TfsLoadErrorEvent =
      std::function<void(TfsDocument &Sender, TfsShape *Shape, const std::string &Message)>;
  using TfsShapeFilingEvent =
      std::function<void(TfsDocument &Sender, TfsShape &Shape, TXmlNode &Node)>;
  using TfsPaintEvent = std::function<void(TfsDocument &Sender, TBitmap32 &Bitmap,
                                           const TDeviceContext &Context, const TRect &PageRect)>;
  // Percent: how far the operation is, 0 to 100.
  using TfsProgressEvent = std::function<void(TfsDocument &Sender, TfsProgressType Type,
                                              int64_t Count, int64_t Total, int Percent)>;
  using TfsFilingEvent = std::function<void(TfsDocument &Sender, TXmlNode &Node)>;
  // May change the name to a file that exists.
  using TfsLocateFilenameEvent = std::function<void(TfsShape &Sender, std::string &FileName)>;

  static constexpr int MaxPageCount = 25;
  // Undo keeps no more than this many bytes of commands.
  static constexpr int64_t UndoBudget = 10 * 1024 * 1024;

  explicit TfsDocument(TfsDocumentHost *host = nullptr);
  ~TfsDocument() override;
  TfsDocument(const TfsDocument &) = delete;
  TfsDocument &operator=(const TfsDocument &) = delete;

  TfsDocumentHost *Host() const { return FHost; }

  // ---- pages ------------------------------------------------------------
  int PageCount() const { return static_cast<int>(FPages.size()); }
  // "Invalid page count" outside 0..25.
  void SetPageCount(int count);
  TfsPage *GetPage(int index) const;
  TfsPage *CurrentPage() const { return GetPage(FCurrentPageIndex); }
  int IndexOfPage(const TfsPage *page) const;
  int AddPage(std::unique_ptr<TfsPage> page = nullptr);
  void DeletePage(int index);
  int CurrentPageIndex() const { return FCurrentPageIndex; }
  void SetCurrentPageIndex(int index);
  float PageWidth() const;
  float PageHeight() const;
  void SetPageWidth(float value);
  void SetPageHeight(float value);
  virtual void ClearPages();
  virtual void New();

  // ---- default page settings -------------------------------------------
  const TfsPageDefaults &PageDefaults() const override { return FDefaults; }
  void SetDefaultMarginLeft(float value);
  void SetDefaultMarginTop(float value);
  void SetDefaultMarginRight(float value);
  void SetDefaultMarginBottom(float value);
  void SetDefaultGridSize(float value);
  void SetDefaultGridColor(TColor value);
  void SetDefaultPageColor(TColor value);
  void SetDefaultBackgroundTiled(bool value);
  void SetDefaultPageWidth(float value);
  void SetDefaultPageHeight(float value);
  TfsBitmapResource &DefaultBackground() override { return *FDefaultBackground; }
  bool ShowMargins() const override { return FShowMargins; }
  void SetShowMargins(bool value);
  TfsHelperMethodType HelperMethod() const override { return FHelperMethod; }
  void SetHelperMethod(TfsHelperMethodType value);
  TfsViewStyleType ViewStyle() const override { return FViewStyle; }
  void SetViewStyle(TfsViewStyleType value);
  int32_t ThumbnailWidth() const override { return FThumbnailWidth; }
  int32_t ThumbnailHeight() const override { return FThumbnailHeight; }
  void SetThumbnailWidth(int32_t value);
  void SetThumbnailHeight(int32_t value);
  TColor Color() const override { return FColor; }
  void SetColor(TColor value) { FColor = value; }

  // ---- shapes of the current page ----------------------------------------
  int ShapeCount() const;
  TfsShape *GetShape(int index) const;
  int AddShape(std::unique_ptr<TfsShape> shape);
  void InsertShape(int index, std::unique_ptr<TfsShape> shape);
  void DeleteShape(int index);
  std::unique_ptr<TfsShape> ExtractShape(TfsShape *shape);
  int RemoveShape(TfsShape *shape);
  void ExchangeShapes(int i, int j);

  // ---- selection and focus ---------------------------------------------
  int SelectedCount() const;
  TfsShape *GetSelected(int n) const;
  virtual bool HasSelection() const;
  void ClearSelection();
  void ToggleSelection(TfsShape &shape);
  void SelectInRect(const TRect &screenRect);
  TfsShape *FocusShape() const;
  void SetFocusShape(TfsShape *shape);
  void DeleteSelection();

  // ---- arrangement ------------------------------------------------------
  void AlignLefts();
  void AlignRights();
  void AlignTops();
  void AlignBottoms();
  void CentreHorizontally();
  void CentreVertically();
  void BringForward();
  void SendBackward();
  void BringToFront();
  void SendToBack();
  void GroupSelection();
  void UngroupSelection();

  // ---- modes and flags ----------------------------------------------------
  TfsViewerModeType Mode() const { return FMode; }
  void SetMode(TfsViewerModeType value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool value);
  bool Modified() const { return FModified; }
  void SetModified(bool value);
  int64_t LastModification() const { return FLastModification; }
  TStretchFilter Quality() const { return FQuality; }
  void SetQuality(TStretchFilter value);
  bool ShowHints() const override { return FShowHint; }
  void SetShowHint(bool value) { FShowHint = value; }
  float StepAngle() const { return FStepAngle; }
  void SetStepAngle(float value) { FStepAngle = value; }
  bool SnapToGrid() const { return FSnapToGrid; }
  void SetSnapToGrid(bool value) { FSnapToGrid = value; }
  bool StoreThumbnails() const { return FStoreThumbnails; }
  void SetStoreThumbnails(bool value) { FStoreThumbnails = value; }
  bool FontEmbedding() const { return FFontEmbedding; }
  void SetFontEmbedding(bool value) { FFontEmbedding = value; }
  bool AutoPageUpdate() const { return FAutoPageUpdate; }
  void SetAutoPageUpdate(bool value) { FAutoPageUpdate = value; }
  int32_t PageUpdateInterval() const { return FPageUpdateInterval; }
  void SetPageUpdateInterval(int32_t value) { FPageUpdateInterval = value; }
  TfsDocPerformanceType Performance() const { return FPerformance; }
  void SetPerformance(TfsDocPerformanceType value) { FPerformance = value; }
  TDeviceType Device() const { return FDevice; }
  void SetDevice(TDeviceType value) { FDevice = value; }
  TColor HandleColor() const { return FHandleColor; }
  TColor HandleEdgeColor() const { return FHandleEdgeColor; }
  float RenderDpm() const { return FRenderDpm; }
  // Caches are rendered again at the new resolution.
  void SetRenderDpm(float value);
  float RenderDPI() const { return FRenderDpm * 25.4f; }
  void SetRenderDPI(float value) { SetRenderDpm(value / 25.4f); }
  bool RenderAtScreenRes() const { return FRenderAtScreenRes; }
  void SetRenderAtScreenRes(bool value);
  float ZoomPercent() const { return FZoomPercent; }
  // Only with AutoWidth: the zoom relative to the page filling the width.
  void SetZoomPercent(float value);
  bool AutoWidth() const { return FAutoWidth; }
  void SetAutoWidth(bool value) { FAutoWidth = value; }
  float WindowLeft() const { return FWindowLeft; }
  float WindowTop() const { return FWindowTop; }
  // Screen pixels per mm of the view.
  float ViewScale() const { return FViewScale; }
  void SetViewScale(float value);
  void SetViewMapping(const TfsViewMapping &mapping);
  void ZoomBy(float factor);
  void ZoomIn();
  void ZoomOut();
  void FitWidth();
  void FitPage();
  // The window that shows the document got its parent: the page fills the
  // width.
  void WindowAttached();
  TPrintQualityType PrintQuality() const { return FPrintQuality; }
  void SetPrintQuality(TPrintQualityType value) { FPrintQuality = value; }
  // Source pixels per mm of printing; 0 for the printer's own density.
  float PrinterDpm() const;
  bool OptimizedPrinting() const { return FOptimizedPrinting; }
  void SetOptimizedPrinting(bool value) { FOptimizedPrinting = value; }

  // ---- painting and printing ------------------------------------------------
  // The control's paint: nothing while printing or loading.
  void Paint(TBitmap32 &canvas, const TRect &clip);
  // Renders the clip rectangle of the view (canvas pixels are client
  // pixels) with the current page.
  virtual void PaintView(TBitmap32 &canvas, const TRect &clip);
  // The pages at the indexes (absent ones skipped), each turned to fill the
  // sheet best. "Threading error (working already)" while working.
  virtual void PrintPages(const std::vector<int> &indexes, TfsPrinter &printer);
  // Draws the page into a rectangle of the canvas at no more than maxDpm;
  // fitted and centred with fit, else stretched to the rectangle.
  void RenderPageToCanvas(TfsPage &page, TBitmap32 &canvas, const TRect &rect, float maxDpm,
                          bool fit);
  // The contexts of a render pass onto the screen, a printer and a canvas.
  TDeviceContext ScreenContext(TfsPage &page) const;
  TDeviceContext PrintContext(TfsPage &page, float dpm) const;
  // Print progress of the band split: the page count and total last
  // reported by PrintPages (total 0 outside it).
  void BandPrinted(double fraction);

  // ---- cursor and rulers ------------------------------------------------------
  // The control's own cursor, and the one shown.
  int16_t Cursor() const { return FCursor; }
  void SetCursor(int16_t value);
  int16_t ShownCursor() const { return FShownCursor; }
  void ShowCursor(int16_t cursor);
  TfsRuler *RulerTop() const { return FRulerTop; }
  TfsRuler *RulerLeft() const { return FRulerLeft; }
  TfsRuler *RulerCorner() const { return FRulerCorner; }
  void SetRulerTop(TfsRuler *ruler);
  void SetRulerLeft(TfsRuler *ruler);
  void SetRulerCorner(TfsRuler *ruler);
  TRulerUnit RulerUnits() const { return FRulerUnits; }
  void SetRulerUnits(TRulerUnit value);
  void UpdateRulers();

  // ---- TVirtScrollBox ---------------------------------------------------------
  void ScrollChanged() override;
  std::string Version() const { return "2.7.1"; }

  // ---- notification brackets ---------------------------------------------
  virtual void BeginUpdate();
  virtual void EndUpdate();
  int32_t UpdateCount() const { return FUpdate.Count(); }
  // Working bracket: user-level operations refuse to start inside it.
  void BeginWork(int16_t cursor);
  void EndWork();
  bool IsWorking() const { return FWorking > 0; }
  // "Threading error (working already)" while working.
  void CheckNotWorking() const;
  void BeginPrinting();
  void EndPrinting();
  bool IsPrinting() const { return FPrinting > 0; }
  bool IsLoading() const override { return FLoading > 0; }
  void BeginLoading() { ++FLoading; }
  void EndLoading() { --FLoading; }

  // ---- undo recording -----------------------------------------------------
  bool UndoEnabled() const; // the setting, False while suspended
  void SetUndoEnabled(bool value);
  void SuspendUndo() { ++FUndoSuspended; }
  void ResumeUndo() {
    if (FUndoSuspended > 0)
      --FUndoSuspended;
  }
  void BeginUndoGroup() override;
  void EndUndoGroup() override;
  void MarkMergeNext() { FMergeNext = true; }
  void AddUndo(std::unique_ptr<TfsCommand> command);
  void AddRedo(std::unique_ptr<TfsCommand> command);
  void ClearUndo();
  int UndoCount() const { return static_cast<int>(FUndo.size()); }
  int RedoCount() const { return static_cast<int>(FRedo.size()); }
  const TfsCommand *UndoCommand(int i) const { return FUndo.at(static_cast<size_t>(i)).get(); }
  const TfsCommand *RedoCommand(int i) const { return FRedo.at(static_cast<size_t>(i)).get(); }
  int64_t UndoSize() const { return FUndoSize; }
  // Undo and Redo run their commands in these brackets (the stacks'
  // loops come with the undo commands).
  bool IsUndoing() const { return FUndoing; }
  bool IsRedoing() const { return FRedoing; }

  // Undo and Redo take back (or again) one step: every command up to the
  // first one that was not continued. "Threading error (working already)"
  // while working; nothing while recording is off.
  void Undo();
  void Redo();
  // Runs a command on the shape with its ShapeID (current page first, then
  // every page); "Unable to execute Undo" is shown when none has it.
  virtual bool ExecuteCommand(const TfsCommand &command);
  bool UndoPastSave() const { return FUndoPastSave; }
  void SetUndoPastSave(bool value) { FUndoPastSave = value; }

  // ---- clipboard -------------------------------------------------------------
  // The selected shapes as a "Selection" XML text of full snapshots (empty
  // without a selection).
  virtual void CopyToText(std::string &text);
  // Shapes of a "Selection" text added to the current page and selected;
  // the number created (0 for text that is no such XML).
  virtual int PasteFromText(const std::string &text);
  virtual void CopySelection();
  virtual void CutSelection();
  virtual void PasteSelection();
  virtual bool CanPaste();
  bool UseClipboard() const { return FUseClipboard; }
  void SetUseClipboard(bool value);
  // What copies go to while UseClipboard is off.
  const std::string &InternalClipboard() const { return FInternalClipboard; }

  // ---- archive ---------------------------------------------------------------
  // "Cannot find file "%s"" for a file that does not exist.
  virtual void LoadFromFile(const std::string &fileName);
  virtual void LoadFromStream(TStream &stream);
  // The previous file survives a failed or interrupted save.
  virtual void SaveToFile(const std::string &fileName);
  virtual void SaveToStream(TStream &stream);
  virtual void LoadFromArchive();
  virtual void SaveToArchive();
  virtual void LoadIndex(const TXmlNode &node);
  virtual void SaveIndex(TXmlNode &node);
  // Reads the page at the index from its archive entry now.
  void ReadPage(int index);
  // Asks for a linked picture file that cannot be found.
  void LocateFile(TfsShape &shape, std::string &fileName) override;
  bool ChoosePictureFile(const std::string &title, const std::string &filter,
                         std::string &fileName) override;
  bool DrawQualityIndicator(TfsShape &shape, TBitmap32 &bitmap, const TRect &square,
                            int32_t percent) override;
  // Draws the quality mark of a picture shape into the square; true when it
  // drew.
  std::function<bool(TfsDocument &Sender, TfsShape &Shape, TBitmap32 &Bitmap, const TRect &Square,
                     int32_t Percent)>
      OnDrawQualityIndicator;
  bool ArchiveDirect() const { return FArchiveDirect; }
  void SetArchiveDirect(bool value) { FArchiveDirect = value; }
  // Every later save writes all pages (a shape converted an older form of
  // itself while loading); stays for the life of the document.
  void RequestFullRewrite() override { FFullRewrite = true; }
  bool FullRewrite() const { return FFullRewrite; }
  TfsHZScrollingType HotzoneScrolling() const { return FHotzoneScrolling; }
  void SetHotzoneScrolling(TfsHZScrollingType value) { FHotzoneScrolling = value; }
  void SetHandleColor(TColor value) { FHandleColor = value; }
  void SetHandleEdgeColor(TColor value) { FHandleEdgeColor = value; }

  // ---- the rest ------------------------------------------------------------
  TnvStorage *Storage() override { return FArchive.get(); }
  TnvStorage &Archive() { return *FArchive; }
  TfsFontManager &FontManager() { return *FFontManager; }
  // The 50 ms animation tick (the host's timer calls it).
  void AnimationTick();
  void TimerTick(TfsTimer timer);
  void Repaint();

  // ---- interactive editing (mouse and keys of the view) ----------------------
  enum TfsDragState : uint8_t {
    dsIdle,
    dsDragging,
    dsRubberBand,
    dsInsertArmed,
    dsInsertDragging,
    dsEditing
  };
  using TfsMouseEvent = std::function<void(TfsDocument &Sender, TMouseButton Button,
                                           TShiftState Shift, const TPoint &Point)>;
  using TfsCreateHandlePainterEvent = std::function<void(
      TfsDocument &Sender, TfsShape &Shape, std::unique_ptr<TfsHandlePainter> &Painter)>;

  TfsDragState DragState() const { return FDragState; }
  uint8_t DragKind() const { return FDragKind; }
  TfsShape *DragShape() const { return FDragShape; }
  TFloatPoint DragStart() const { return FDragStart; }
  TFloatPoint DragDelta() const { return FDragDelta; }
  TfsShape *EditingShape() const { return FEditShape; }
  TfsShape *InsertingShape() const { return FInsertShape; }
  bool OutlineShown() const { return FOutlineShown; }
  float HitSensitivity() const { return FHitSensitivity; }
  void SetHitSensitivity(float value);
  const std::vector<TPoint> &HitOffsets() const override { return FHitOffsets; }
  TfsHandlePainterType HandlePainterType() const { return FHandlePainterType; }
  void SetHandlePainterType(TfsHandlePainterType value) { FHandlePainterType = value; }
  std::unique_ptr<TfsHandlePainter> CreateHandlePainter(TfsShape &shape) override;
  TMultiSelectMethodType MultiSelectMethod() const { return FMultiSelectMethod; }
  void SetMultiSelectMethod(TMultiSelectMethodType value) { FMultiSelectMethod = value; }
  bool AllowKeyInput() const { return FAllowKeyInput; }
  void SetAllowKeyInput(bool value) { FAllowKeyInput = value; }
  int32_t HintPause() const { return FHintPause; }
  void SetHintPause(int32_t value) { FHintPause = value; }
  int32_t HintShortPause() const { return FHintShortPause; }
  void SetHintShortPause(int32_t value) { FHintShortPause = value; }
  int32_t HintHidePause() const { return FHintHidePause; }
  void SetHintHidePause(int32_t value) { FHintHidePause = value; }

  // Client pixels of the view; the shift state carries the buttons held.
  void MouseDown(TMouseButton button, TShiftState shift, const TPoint &point);
  void MouseMove(TShiftState shift, const TPoint &point);
  void MouseUp(TMouseButton button, TShiftState shift, const TPoint &point);
  void DblClick(TShiftState shift, const TPoint &point);
  // True when the document used the key (the window then drops it).
  bool KeyDown(uint16_t &key, TShiftState shift);
  bool KeyPress(char16_t &key);
  void KeyUp(uint16_t &key, TShiftState shift);
  // A shape waits to be placed by the next click (or drag).
  void StartInsert(std::unique_ptr<TfsShape> shape);
  void StartInsertDrag(std::unique_ptr<TfsShape> shape);
  void CommitInsert(bool accept);
  void EditShape(TfsShape &shape);
  void EndEdit(bool accept);
  // Leaves the current drag state without accepting it.
  void CancelDragState();
  // The handle kind and shape under a client point (kind 0: none).
  TfsShape *HitAtPoint(const TPoint &point, uint8_t &kind);
  TfsShape *ShapeAtPoint(const TPoint &point);
  // The page point (view mm) of a client point, snapped to the grid when
  // asked.
  TFloatPoint ClientToPagePoint(const TPoint &point, bool snap);
  // Moves the selected shapes that may move by (dx, dy) mm: one undo step.
  void NudgeSelection(float dx, float dy);
  // Handles, the drag outline, the rubber band and the insert frame over
  // a painted view.
  void PaintEditing(TBitmap32 &canvas);
  // The shapes' drag geometry at the current delta (without drawing).
  void ComputeDragGeometry();

  TfsMouseEvent OnMouseDown;
  TfsMouseEvent OnMouseUp;
  TfsCreateHandlePainterEvent OnCreateHandlePainter;
  // A moved selection left the view: the window's drag and drop starts.
  TNotifyEvent OnStartDrag;

  // ---- TfsShapeDocument / TfsPageDocument ----------------------------------
  int32_t NewShapeID() override { return ++FNextShapeID; }
  bool IsRecordingUndo() const override;
  void FileCommand(std::unique_ptr<TfsCommand> command) override;
  void ShapeChanged(TfsShape &shape) override;
  void SelectionChanged(TfsShape &shape) override;
  void ShapeDestroying(TfsShape &shape) override;
  void ShapeLoadError(TfsShape &shape, const std::string &message) override;
  void ShapeFiled(TfsShape &shape, TXmlNode &node, bool saving) override;
  void SetDocumentModified() override { SetModified(true); }
  void CloseEdit(TfsShape &shape) override;
  void FinishEdit(TfsShape &shape, bool accepted) override;
  void RequestDelete(TfsShape &shape) override;
  void InvalidateScreen(const TRect &screenRect) override;
  TfsViewMapping ViewMapping() const override;
  void ShowBusy() override;
  int PageNumber(const TfsPage &page) const override;
  void ReadPage(TfsPage &page) override;
  void PageBecameDefault(TfsPage &page) override;
  void PageGeometryChanged(TfsPage &page) override;
  void BeginUnrecorded() override { ++FUnrecorded; }
  void EndUnrecorded() override {
    if (FUnrecorded > 0)
      --FUnrecorded;
  }
  void PageChanged(TfsPage &page) override;
  void PaintBackground(TBitmap32 &bitmap, const TDeviceContext &context,
                       const TRect &pageRect) override;
  void PaintForeground(TBitmap32 &bitmap, const TDeviceContext &context,
                       const TRect &pageRect) override;
  void RenderPageToBitmap(TfsPage &page, TBitmap32 &bitmap, const TRect &rect,
                          float maxDpm) override;
  // When assigned, reads a page not read yet instead of its archive entry.
  std::function<void(TfsDocument &Sender, TfsPage &Page)> OnReadPage;

  // ---- events --------------------------------------------------------------
  TNotifyEvent OnAnimate;
  TNotifyEvent OnDocumentChanged;
  TNotifyShapeEvent OnFocusShape;
  TfsLoadErrorEvent OnLoadError;
  TNotifyPageEvent OnPageChanged;
  TfsPaintEvent OnPaintBackground;
  TfsPaintEvent OnPaintForeground;
  TfsProgressEvent OnProgress;
  TNotifyEvent OnSelectionChanged;
  TNotifyShapeEvent OnShapeChanged;
  TNotifyShapeEvent OnShapeDestroy;
  TNotifyShapeEvent OnShapeEditClosed;
  TNotifyShapeEvent OnShapeInsertClosed;
  TfsShapeFilingEvent OnShapeLoadAdditionalInfo;
  TfsShapeFilingEvent OnShapeSaveAdditionalInfo;
  TNotifyEvent OnShapeListChanged;
  TNotifyEvent OnUpdateScrollPosition;
  TfsFilingEvent OnLoadAdditionalInfo;
  TfsFilingEvent OnSaveAdditionalInfo;
  TfsLocateFilenameEvent OnLocateFilename;

protected:
  virtual void InitDefaults();
  // The virtual area follows the current page, and the page is placed in
  // it by the view style.
  virtual void UpdateScrollRange();
  void ScrollContent(int32_t dx, int32_t dy) override;
  void ScrollBarsChanged() override;
  void InvalidateView() override { Repaint(); }
  void Resized() override;
  // The brackets the undo and redo loops run their commands in: while
  // undoing, recorded commands go to the redo stack; while redoing, filing
  // keeps the redo stack.
  void SetUndoing(bool value) { FUndoing = value; }
  void SetRedoing(bool value) { FRedoing = value; }

private:
  // Interactive editing.
  void ChangeDragState(TfsDragState state);
  // A mode change ends any state; in-place editing just stops.
  void LeaveEditingStates();
  void ShowOutline(bool on);
  TRect OutlineRect() const;
  TRect InsertFrameRect() const;
  void InvalidateOverlay(const TRect &rect);
  void DragGeometry(TfsShape &shape, const TFloatPoint &delta, uint8_t kind, bool alt);
  void StartDrag();
  void EndDrag(bool accept);
  void StartHint(const TPoint &point, TfsShape &shape, int32_t delay);
  void CancelHint();
  void HotzoneStep(const TPoint &point);
  void RunPendingDeletes();
  void SetCursorFor(uint8_t kind, TfsShape *shape);
  void DefaultsChanged(bool thumbnails);
  // The current page was set: hook it, show it, announce it.
  void EnterCurrentPage();
  void LeaveCurrentPage();
  bool IsReferenced(const TfsShape *reference, const TfsShape &shape) const;
  void ShapeListChanged();
  void MoveSelected(const std::function<void(TfsShape &, const TFloatRect &)> &move);
  void RenumberPageEntries(int index);
  // Tells the host when can-undo, can-redo or clean changed.
  void UndoStateChanged();
  void Progress(TfsProgressType type, int64_t count, int64_t total, double fraction);
  void SavePage(int index);
  // One pass of FitWidth at the current client width.
  void FitWidthOnce();
  void FitPageOnce();

  TfsDocumentHost *FHost;
  std::vector<std::unique_ptr<TfsPage>> FPages;
  int FCurrentPageIndex = -1;
  std::unique_ptr<TnvStorage> FArchive;
  std::unique_ptr<TfsBitmapResource> FDefaultBackground;
  std::unique_ptr<TfsFontManager> FFontManager;
  TfsPageDefaults FDefaults;

  std::deque<std::unique_ptr<TfsCommand>> FUndo;
  std::vector<std::unique_ptr<TfsCommand>> FRedo;
  int64_t FUndoSize = 0;
  int FUndoGroupDepth = 0;
  bool FGroupHasHead = false;
  int FUndoSuspended = 0;
  bool FUndoEnabled = true;
  bool FUndoing = false;
  bool FRedoing = false;
  bool FMergeNext = false;
  int FUnrecorded = 0;
  bool FUndoPastSave = false;
  // What the host was told last: can undo, can redo, clean.
  int FReportedUndoState = -1;

  bool FUseClipboard = true;
  std::string FInternalClipboard;
  TfsPage *FCopySource = nullptr;

  bool FArchiveDirect = false;
  bool FFullRewrite = false;
  TfsHZScrollingType FHotzoneScrolling = hzsNoScroll;

  TUpdateCounter FUpdate;
  bool FPendingShapeChanged = false;
  bool FPendingSelectionChanged = false;
  bool FPendingFocus = false;
  int FWorking = 0;
  int FPrinting = 0;
  int FLoading = 0;
  bool FInAnimation = false;

  TfsShape *FFocusShape = nullptr;
  TfsShape *FEditShape = nullptr;
  TfsShape *FDragShape = nullptr;
  TfsShape *FInsertShape = nullptr;
  std::unique_ptr<TfsShape> FInsertOwned;
  TfsDragState FDragState = dsIdle;
  uint8_t FDragKind = 0;
  TFloatPoint FDragStart{};
  TFloatPoint FDragDelta{};
  bool FOutlineShown = false;
  bool FOutlineAlt = false;
  TShiftState FLastShift = 0;
  bool FInsertDragMode = false;
  bool FDoubleClicked = false;
  bool FLeftDown = false;
  TRect FShownOutline{};
  float FHitSensitivity = 1;
  std::vector<TPoint> FHitOffsets;
  TfsHandlePainterType FHandlePainterType = hpStippleHandle;
  TMultiSelectMethodType FMultiSelectMethod = msmSimple;
  bool FAllowKeyInput = true;
  int32_t FHintPause = 500;
  int32_t FHintShortPause = 50;
  int32_t FHintHidePause = 2500;
  TfsShape *FHintShape = nullptr;
  bool FHintShown = false;
  std::string FHintText;
  TPoint FHintPoint{};
  std::vector<TfsShape *> FPendingDeletes;
  // Hot-zone scrolling.
  bool FHotzoneRunning = false;
  double FHotzoneTime = 0;
  int64_t FLastHotzoneTick = 0;
  TPoint FLastPointer{};
  TPoint FPointer{};
  int32_t FNextShapeID = 0;
  int64_t FLastModification = 0;

  bool FAutoPageUpdate = false;
  TColor FColor = 0xFFFFFF;
  TDeviceType FDevice = dtScreen;
  bool FFontEmbedding = false;
  TColor FHandleColor = 0xFFFFFF;
  TColor FHandleEdgeColor = 0;
  TfsHelperMethodType FHelperMethod = hmNone;
  TfsViewerModeType FMode = vmEdit;
  bool FModified = false;
  int32_t FPageUpdateInterval = 2000;
  TfsDocPerformanceType FPerformance = dpMemoryOverSpeed;
  TStretchFilter FQuality = sfLinear;
  bool FReadOnly = false;
  float FRenderDpm = Dpm150;
  bool FShowHint = false;
  bool FShowMargins = true;
  bool FSnapToGrid = false;
  float FStepAngle = 0;
  bool FStoreThumbnails = true;
  int32_t FThumbnailWidth = 80;
  int32_t FThumbnailHeight = 60;
  TfsViewStyleType FViewStyle = vsPrintLayout;
  float FZoomPercent = 100;
  float FWindowLeft = 0;
  float FWindowTop = 0;
  float FViewScale = Dpm150;
  bool FAutoWidth = true;
  bool FRenderAtScreenRes = false;
  TPrintQualityType FPrintQuality = pqLow;
  bool FOptimizedPrinting = false;
  bool FInScrollRange = false;
  int64_t FPrintCount = 0;
  int64_t FPrintTotal = 0;
  int16_t FCursor = crDefault;
  int16_t FShownCursor = crDefault;
  TfsRuler *FRulerTop = nullptr;
  TfsRuler *FRulerLeft = nullptr;
  TfsRuler *FRulerCorner = nullptr;
  TRulerUnit FRulerUnits = ruMilli;
};

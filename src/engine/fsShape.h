#pragma once

#include "base/fsClassRegistry.h"
#include "base/fsGeometry.h"
#include "base/fsUpdateBracket.h"
#include "engine/fsCommand.h"
#include "engine/fsDeviceContext.h"
#include "engine/fsHandles.h"
#include "engine/fsInput.h"
#include "engine/fsShapeDocument.h"
#include "raster/fsGR32.h"
#include "raster/fsTransform.h"
#include "text/fsTruetypeFonts.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TXmlNode;
class TfsShape;
template <class TOwner> class TfsPropertyTable;

// How a child follows its parent group when the group is resized.
enum TfsAnchor : uint16_t {
  akDefault = 0x001,
  akPosXProp = 0x002,
  akPosYProp = 0x004,
  akSizeXProp = 0x008,
  akSizeYProp = 0x010,
  akLeftLock = 0x020,
  akTopLock = 0x040,
  akRightLock = 0x080,
  akBottomLock = 0x100,
};
using TfsAnchors = uint16_t;
constexpr TfsAnchors DefaultAnchors = akDefault | akLeftLock | akTopLock; // 97

// Size limits in mm; 0 is no limit.
struct TFloatSizeConstraint {
  float MinHeight = 0;
  float MinWidth = 0;
  float MaxHeight = 0;
  float MaxWidth = 0;
};

// A set of the text layer's font style bits (fsBold, fsItalic, fsUnderline,
// fsStrikeOut); undo records spell them "B", "I", "U", "S".
using TfsFontStyles = uint8_t;

// Storage kinds of a shape's picture, as the resources number them.
using TfsStorageKind = uint8_t;

// The generic persistence error ("Cannot assign a %s to a %s").
class EfsConvertError : public EfsError {
public:
  using EfsError::EfsError;
};

// The base of everything placed on a page, and of the page itself: geometry
// in millimetres, permission flags, children anchored inside a group, change
// notification, undo hooks, XML and binary persistence, and rendering into a
// bitmap, directly or through a cache of its own.
class TfsShape {
public:
  using TNotifyEvent = std::function<void(TfsShape &Sender)>;

  TfsShape();
  virtual ~TfsShape();
  TfsShape(const TfsShape &) = delete;
  TfsShape &operator=(const TfsShape &) = delete;

  // The class name written to files ("TfsShape", "TfsRectangleShape", ...).
  virtual std::string ClassName() const { return "TfsShape"; }
  // TfsGroupShape and the classes derived from it.
  virtual bool IsGroupShape() const { return false; }

  // ---- geometry (mm, degrees) -------------------------------------------
  float DocLeft() const { return FDocLeft; }
  float DocTop() const { return FDocTop; }
  float DocWidth() const { return FDocWidth; }
  float DocHeight() const { return FDocHeight; }
  float DocAngle() const { return FDocAngle; }
  virtual void SetDocLeft(float value);
  virtual void SetDocTop(float value);
  virtual void SetDocWidth(float value);
  virtual void SetDocHeight(float value);
  // Every change of position, size or angle passes through here.
  virtual void SetGeometry(float left, float top, float width, float height, float angle);
  virtual void SetBounds(float left, float top, float width, float height);
  virtual void SetBoundsConstrained(float left, float top, float width, float height);
  virtual void SetBoundsFromRect(const TFloatRect &rect);
  virtual void ApplyConstraints();
  virtual void Inflate(float dx, float dy);
  // The low-level setters inside SetGeometry; each records what it changes.
  virtual void SetDocAngle(float angle);
  virtual void SetDocPosition(float left, float top);
  virtual void SetDocSize(float width, float height);
  // Returns AllowResize / AllowMove; the values are adjusted in place.
  virtual bool ConstrainSize(float &width, float &height);
  virtual bool ConstrainPosition(float &left, float &top, float width, float height);
  void RotateAboutCentre(float angle);
  virtual void CenterAt(float x, float y);
  void MoveBoundsLeftTo(float x);
  void MoveBoundsTopTo(float y);
  void MoveBoundsRightTo(float x);
  void MoveBoundsBottomTo(float y);

  bool Flipped() const { return FFlipped; }
  bool Mirrored() const { return FMirrored; }
  void SetFlipped(bool value);
  void SetMirrored(bool value);

  float CurbLeft() const { return FCurb[0]; }
  float CurbTop() const { return FCurb[1]; }
  float CurbRight() const { return FCurb[2]; }
  float CurbBottom() const { return FCurb[3]; }
  virtual void SetCurb(float left, float top, float right, float bottom);
  virtual void SetCurbAll(float value);
  float ExtentLeft() const { return FExtent[0]; }
  float ExtentTop() const { return FExtent[1]; }
  float ExtentRight() const { return FExtent[2]; }
  float ExtentBottom() const { return FExtent[3]; }
  void UpdateExtents();
  // Margins the drawing needs beyond the box; may only enlarge them.
  virtual void ExtendMargins(float &left, float &top, float &right, float &bottom);

  TFloatSizeConstraint &Constraints() { return FConstraints; }
  const TFloatSizeConstraint &Constraints() const { return FConstraints; }
  bool PreserveAspect() const { return FPreserveAspect; }
  void SetPreserveAspect(bool value);
  float AspectRatio() const { return FAspectRatio; }
  void SetAspectRatio(float value) { FAspectRatio = value; }
  virtual void LockAspect();
  virtual void FitToChildren();
  virtual void GetChildrenBounds(TFloatRect &rect) const;
  // The axis-aligned box, in the parent frame, of the (extended) corners.
  TFloatRect GetParentBounds(bool withExtents) const;

  // ---- frames -----------------------------------------------------------
  TFloatPoint LocalToParent(const TFloatPoint &p) const;
  TFloatPoint ParentToLocal(const TFloatPoint &p) const;
  TFloatPoint LocalToPage(const TFloatPoint &p) const;
  TFloatPoint PageToLocal(const TFloatPoint &p) const;
  TFloatPoint LocalToScreen(const TFloatPoint &p) const;
  TFloatPoint ScreenToLocal(const TFloatPoint &p) const;
  // Through DeviceMatrix: local mm to pixels of the bitmap being painted.
  TFloatPoint LocalToDevice(const TFloatPoint &p) const;
  int32_t DeviceX(float x) const;
  int32_t DeviceY(float y) const;
  const TfsAffineTransform &DeviceMatrix() const { return FDeviceMatrix; }
  virtual void SetDeviceMatrix(const TfsAffineTransform &matrix);
  // Snaps a local point to the page grid (the page does the snapping).
  virtual void SnapPoint(TFloatPoint &point);

  // ---- screen geometry and hit testing ----------------------------------
  // Screen corners of the extended box: top-left, bottom-left, bottom-right,
  // top-right.
  using TScreenRegion = std::array<TFloatPoint, 4>;
  TRect GetScreenRect() const;
  virtual TScreenRegion GetScreenRegion() const;
  // The unextended outline; shapes with a true outline override it.
  virtual TScreenRegion GetOutlineRegion() const;
  // The screen rectangle to repaint: the shape and, when it can be
  // selected, its handles.
  virtual TRect GetInvalidRect();
  // Screen rectangles of the selection handles.
  virtual std::vector<TRect> HandleScreenRects();
  virtual bool HitTest(const TPoint &screenPoint);
  virtual bool PixelHitTest(const TPoint &screenPoint);
  // The topmost visible child (or this shape) under the point, or none.
  virtual TfsShape *ShapeAtPoint(const TPoint &screenPoint);
  // Whether a point lies inside a screen region (edges included).
  static bool RegionContains(const TScreenRegion &region, const TFloatPoint &point);

  // ---- children ---------------------------------------------------------
  virtual int ShapeCount() const { return static_cast<int>(FShapes.size()); }
  virtual TfsShape *GetShape(int index) const;
  virtual int IndexOfShape(const TfsShape *shape) const;
  virtual int AddShape(std::unique_ptr<TfsShape> shape);
  virtual void InsertShape(int index, std::unique_ptr<TfsShape> shape);
  virtual void DeleteShape(int index);
  virtual std::unique_ptr<TfsShape> ExtractShape(TfsShape *shape);
  virtual int RemoveShape(TfsShape *shape);
  virtual void ClearShapes();
  virtual void ExchangeShapes(int i, int j);
  // Deletes children from the last down to the first internal one.
  virtual void Clear();
  TfsShape *Parent() const { return FParent; }
  virtual void SetParent(TfsShape *parent);

  // ---- document ---------------------------------------------------------
  TfsShapeDocument *Document() const { return FDocument; }
  virtual void SetDocument(TfsShapeDocument *document);
  int32_t ID() const { return FID; }
  void SetID(int32_t id) { FID = id; }

  // ---- flags and names --------------------------------------------------
  bool AllowEdit() const { return FAllowEdit; }
  bool AllowDelete() const { return FAllowDelete; }
  bool AllowResize() const { return FAllowResize; }
  bool AllowMove() const { return FAllowMove; }
  bool AllowRotate() const { return FAllowRotate; }
  bool AllowSelect() const { return FAllowSelect; }
  void SetAllowEdit(bool value) { FAllowEdit = value; }
  void SetAllowDelete(bool value) { FAllowDelete = value; }
  void SetAllowResize(bool value) { FAllowResize = value; }
  void SetAllowMove(bool value) { FAllowMove = value; }
  void SetAllowRotate(bool value) { FAllowRotate = value; }
  void SetAllowSelect(bool value);
  TfsAnchors Anchors() const { return FAnchors; }
  void SetAnchors(TfsAnchors value);
  bool IsInternal() const { return FIsInternal; }
  void SetIsInternal(bool value) { FIsInternal = value; }
  bool Grouped() const { return FGrouped; }
  void SetGrouped(bool value);
  bool ForceCache() const { return FForceCache; }
  void SetForceCache(bool value) { FForceCache = value; }
  const std::string &Name() const { return FName; }
  virtual void SetName(const std::string &value);
  virtual std::string GetDisplayName() const { return FName; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool value);
  bool Selected() const { return FSelected; }
  void SetSelected(bool value);
  int32_t MasterAlpha() const { return FMasterAlpha; }
  virtual void SetMasterAlpha(int32_t value);
  int32_t Tag() const { return FTag; }
  void SetTag(int32_t value) { FTag = value; }
  const std::string &Hint() const { return FHint; }
  void SetHint(const std::string &value) { FHint = value; }
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool value);
  bool ParentShowHint() const { return FParentShowHint; }
  void SetParentShowHint(bool value) { FParentShowHint = value; }
  // The hint flag and text that apply.
  bool EffectiveShowHint() const;
  std::string EffectiveHint() const;
  int16_t InsertCursor() const { return FInsertCursor; }
  void SetInsertCursor(int16_t value) { FInsertCursor = value; }

  // ---- change notification ----------------------------------------------
  void BeginUpdate();
  // Delivers the one held-back Changed when the outermost bracket closes.
  void EndUpdate();
  int32_t UpdateCount() const { return FUpdate.Count(); }
  bool ChangePending() const { return FUpdate.Pending(); }
  virtual void Changed();
  bool Modified() const { return FModified; }
  virtual void SetModified(bool value);
  // Repaints the shape's screen area and marks the ancestors' caches stale.
  void Invalidate();
  void InvalidateScreen();
  // Marks this shape's and its ancestors' caches stale and repaints.
  virtual void Refresh();

  // ---- rendering --------------------------------------------------------
  // Draws the shape and its visible descendants onto target, whose whole
  // area shows rect (in the parent frame, or the shape's own when isLocal).
  static void RenderShape(TfsShape &shape, TBitmap32 &target, const TFloatRect &rect,
                          const TDeviceContext &context, bool isLocal);
  virtual bool NeedsCache() const;
  virtual bool NeedsPostProcess() const;
  virtual void Paint(TBitmap32 &bitmap, const TDeviceContext &context);
  virtual void PostProcess(TBitmap32 &bitmap, const TDeviceContext &context);
  virtual void PaintOverlay(TBitmap32 &bitmap, const TDeviceContext &context);
  virtual void AfterPaint(TBitmap32 &bitmap, const TFloatRect &rect);
  // Alpha 0 becomes the colour opaque, everything else the colour.
  static void FillSilhouette(TBitmap32 &bitmap, TColor32 color);
  TBitmap32 *Cache() const { return FCache.get(); }
  float CacheDpm() const { return FCacheDpm; }
  virtual void ClearCache();
  virtual void ClearCacheAll();
  // This shape's and its ancestors' caches stale (CacheDpm 0).
  void MarkStale();
  void MarkAncestorsStale();

  // ---- persistence ------------------------------------------------------
  virtual void LoadFromXml(const TXmlNode *node);
  virtual void SaveToXml(TXmlNode &node);
  // A shape of the class the node names (a plain TfsShape for an unknown
  // one), loaded from the node.
  static std::unique_ptr<TfsShape> CreateFromXml(const TXmlNode *node);
  virtual void Loaded() {}
  virtual void Pasted() {}
  std::string SaveToBlob();
  void LoadFromBlob(std::string_view bytes);
  virtual void Assign(const TfsShape &source);
  virtual void AssignEvents(const TfsShape &source);
  // Archive entries the shape (and its children) use.
  virtual void GetResourceNames(std::vector<std::string> &names) const;
  virtual TfsStorageKind GetStorageKind() const { return 3; }
  virtual void SetStorageKind(TfsStorageKind) {}
  virtual void LoadError(const std::string &message);

  // ---- undo -------------------------------------------------------------
  virtual void RecordChange(uint8_t kind, const std::string &propName, const std::string &value);
  virtual void RecordFloat(uint8_t kind, const std::string &propName, float value);
  virtual void RecordInteger(uint8_t kind, const std::string &propName, int32_t value);
  virtual void RecordBoolean(uint8_t kind, const std::string &propName, bool value);
  virtual void RecordFontStyle(uint8_t kind, const std::string &propName, TfsFontStyles value);
  virtual void RecordRemoval(uint8_t kind, TfsShape *child);
  // True when this shape or a descendant has the command's ShapeID.
  virtual bool ExecuteCommand(const TfsCommand &command);
  virtual void SetPropertyByName(const std::string &propName, const std::string &value);
  // The value texts of undo records, read back by the same rules.
  static std::string FloatToText(float value);
  static float TextToFloat(const std::string &text);
  static bool TextToBool(const std::string &text);
  static std::string FontStyleToText(TfsFontStyles styles);
  static TfsFontStyles TextToFontStyle(const std::string &text);

  // ---- interactive editing ------------------------------------------------
  // Made on demand, of the kind the document chooses.
  TfsHandlePainter &HandlePainter();
  virtual void PrepareHandles();
  virtual void DrawHandles(TBitmap32 &canvas);
  virtual void DrawDragOutline(TBitmap32 &canvas);
  // The frame of a shape being placed, a device rectangle from its start
  // corner (right or bottom may lie before left or top).
  virtual void DrawInsertFrame(TBitmap32 &canvas, const TRect &rect, TColor color);
  // The kind of handle under a screen point (0 for none); sets DragHandle.
  virtual uint8_t HandleAtPoint(const TPoint &screenPoint);
  // Drag geometry for kinds the editor does not know: shift (p, q), angle
  // change, scales.
  virtual void DragCustomHandle(float &p, float &q, uint8_t kind, const TFloatPoint &d,
                                float &delta, float &ry, float &rx);
  // Applies the geometry a drag computed.
  virtual void ApplyEditGeometry();
  float EditLeft() const { return FEditLeft; }
  float EditTop() const { return FEditTop; }
  float EditWidth() const { return FEditWidth; }
  float EditHeight() const { return FEditHeight; }
  float EditAngle() const { return FEditAngle; }
  void SetEditGeometry(float left, float top, float width, float height, float angle);
  int32_t DragHandle() const { return FDragHandle; }
  void SetDragHandle(int32_t index) { FDragHandle = index; }
  const TfsAffineTransform &DragMatrix() const { return FDragMatrix; }
  void SetDragMatrix(const TfsAffineTransform &matrix) { FDragMatrix = matrix; }

  // In-place editing: the document routes mouse and keys here while the
  // shape is edited.
  virtual void Edit();
  virtual void DoEdit();
  virtual void EndEdit(bool accepted);
  virtual void EditKeyDown(uint16_t &key, TShiftState shift) { (void)key, (void)shift; }
  virtual void EditKeyPress(char16_t &key) { (void)key; }
  virtual void EditKeyUp(uint16_t &key, TShiftState shift) { (void)key, (void)shift; }
  virtual void EditDblClick(const TPoint &screenPoint) { (void)screenPoint; }
  virtual void EditMouseDown(TMouseButton button, TShiftState shift, const TPoint &screenPoint) {
    (void)button, (void)shift, (void)screenPoint;
  }
  virtual void EditMouseMove(TShiftState shift, const TPoint &screenPoint) {
    (void)shift, (void)screenPoint;
  }
  virtual void EditMouseUp(TMouseButton button, TShiftState shift, const TPoint &screenPoint) {
    (void)button, (void)shift, (void)screenPoint;
  }
  // Items of the popup menu while editing; empty for the document's own.
  virtual std::vector<std::string> GetEditPopupMenu() { return {}; }
  virtual void Animate() {}
  virtual void GetPasteOffset(TFloatPoint &offset) const { offset = {10, 10}; }

  TNotifyEvent OnChange;
  TNotifyEvent OnEdit;
  TNotifyEvent OnGeometryChange;

protected:
  // A child made by this class to load the i-th saved child into.
  virtual std::unique_ptr<TfsShape> CreateChild(const std::string &className);
  // Children are re-laid out by their anchors; errors are swallowed.
  void LayoutChildren(float oldWidth, float oldHeight, float newWidth, float newHeight);
  // Stores the angle and its cosine and sine as they are (no normalising).
  void StoreAngle(float angle);
  std::vector<std::unique_ptr<TfsShape>> &Children() { return FShapes; }

private:
  static const TfsPropertyTable<TfsShape> &PropertyTable();
  // While this shape or an ancestor reads its XML nothing is recorded for
  // undo: rebuilding a saved tree is no user action to take back.
  bool InsideXmlLoad() const;
  void DirectDraw(TBitmap32 &target, const TFloatRect &rect, const TDeviceContext &context);
  void CachedDraw(TBitmap32 &target, const TFloatRect &rect, const TDeviceContext &context,
                  bool isLocal);
  void Attach(TfsShape &child);
  void DeleteTemporaryEntries(const TfsShape &child);

  bool FAllowEdit = true;
  bool FAllowDelete = true;
  bool FAllowResize = true;
  bool FAllowMove = true;
  bool FAllowRotate = true;
  bool FAllowSelect = true;
  TfsAnchors FAnchors = DefaultAnchors;
  float FAspectRatio = 0;
  bool FIsInternal = false;
  std::unique_ptr<TBitmap32> FCache;
  float FCacheDpm = 0;
  std::array<float, 4> FExtent{};
  TFloatSizeConstraint FConstraints;
  float FDocAngle = 0;
  float FCos = 1;
  float FSin = 0;
  float FDocHeight = 0;
  TfsShapeDocument *FDocument = nullptr;
  float FDocWidth = 0;
  bool FFlipped = false;
  bool FGrouped = false;
  std::string FHint;
  int16_t FInsertCursor = -3; // crCross
  TfsAffineTransform FDeviceMatrix;
  int32_t FMasterAlpha = 255;
  bool FMirrored = false;
  bool FModified = false;
  bool FForceCache = false;
  TUpdateCounter FUpdate;
  TfsShape *FParent = nullptr;
  bool FParentShowHint = false;
  bool FPreserveAspect = false;
  bool FSelected = false;
  int32_t FID = 0;
  std::vector<std::unique_ptr<TfsShape>> FShapes;
  bool FShowHint = false;
  std::array<float, 4> FCurb{};
  int32_t FTag = 0;
  bool FVisible = true;
  float FDocLeft = 0;
  float FDocTop = 0;
  std::string FName;
  int FXmlLoads = 0;
  std::unique_ptr<TfsHandlePainter> FHandlePainter;
  float FEditLeft = 0, FEditTop = 0, FEditWidth = 0, FEditHeight = 0, FEditAngle = 0;
  int32_t FDragHandle = 0;
  TfsAffineTransform FDragMatrix;
};

// The shape classes by name; an unknown name makes a plain TfsShape. The
// engine's own classes are registered in the order files have always listed
// them, each as its unit joins the program.
TClassFactory<TfsShape> &ShapeClasses();
template <class T> void RegisterShapeClass() {
  ShapeClasses().RegisterClass<T>(T().ClassName());
}
std::unique_ptr<TfsShape> CreateShape(const std::string &className);

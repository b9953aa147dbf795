#include "engine/fsDocument.h"

#include "engine/fsDocumentScopes.h"

#include "persist/fsResourceThread.h"
#include "raster/fsGR32_Transforms.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

// Undo recording held off for a scope.
class TSuspendUndoScope {
public:
  explicit TSuspendUndoScope(TfsDocument &document) : FDocument(document) {
    FDocument.SuspendUndo();
  }
  ~TSuspendUndoScope() { FDocument.ResumeUndo(); }
  TSuspendUndoScope(const TSuspendUndoScope &) = delete;
  TSuspendUndoScope &operator=(const TSuspendUndoScope &) = delete;

private:
  TfsDocument &FDocument;
};

std::string EntryName(const char *format, int number) {
  char name[32];
  std::snprintf(name, sizeof name, format, number);
  return name;
}

std::string PageEntryName(int number) {
  return EntryName("Page%.4d.xml", number);
}

std::string ThumbEntryName(int number) {
  return EntryName("Thumb%.4d.bmp", number);
}

// Whether two segments meet (touching counts).
bool SegmentsMeet(const TFloatPoint &a, const TFloatPoint &b, const TFloatPoint &c,
                  const TFloatPoint &d) {
  auto cross = [](const TFloatPoint &o, const TFloatPoint &p, const TFloatPoint &q) {
    return (static_cast<double>(p.X) - o.X) * (static_cast<double>(q.Y) - o.Y) -
           (static_cast<double>(p.Y) - o.Y) * (static_cast<double>(q.X) - o.X);
  };
  auto within = [](const TFloatPoint &p, const TFloatPoint &q, const TFloatPoint &r) {
    return std::min(p.X, q.X) <= r.X && r.X <= std::max(p.X, q.X) && std::min(p.Y, q.Y) <= r.Y &&
           r.Y <= std::max(p.Y, q.Y);
  };
  const double d1 = cross(c, d, a);
  const double d2 = cross(c, d, b);
  const double d3 = cross(a, b, c);
  const double d4 = cross(a, b, d);
  if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0)))
    return true;
  return (d1 == 0 && within(c, d, a)) || (d2 == 0 && within(c, d, b)) ||
         (d3 == 0 && within(a, b, c)) || (d4 == 0 && within(a, b, d));
}

// Whether a shape's screen region and a screen rectangle have a point in
// common.
bool RegionTouchesRect(const TfsShape::TScreenRegion &region, const TRect &rect) {
  const float l = static_cast<float>(std::min(rect.Left, rect.Right));
  const float r = static_cast<float>(std::max(rect.Left, rect.Right));
  const float t = static_cast<float>(std::min(rect.Top, rect.Bottom));
  const float b = static_cast<float>(std::max(rect.Top, rect.Bottom));
  for (const TFloatPoint &p : region)
    if (p.X >= l && p.X <= r && p.Y >= t && p.Y <= b)
      return true;
  const TFloatPoint corners[4] = {{l, t}, {r, t}, {r, b}, {l, b}};
  for (const TFloatPoint &c : corners)
    if (TfsShape::RegionContains(region, c))
      return true;
  for (size_t i = 0; i < region.size(); ++i)
    for (size_t j = 0; j < 4; ++j)
      if (SegmentsMeet(region[i], region[(i + 1) % region.size()], corners[j],
                       corners[(j + 1) % 4]))
        return true;
  return false;
}

} // namespace

// ---------------------------------------------------------------------------
// Creation

TfsDocument::TfsDocument(TfsDocumentHost *host)
    : FHost(host), FArchive(std::make_unique<TnvStorage>()),
      FDefaultBackground(std::make_unique<TfsBitmapResource>()),
      FFontManager(std::make_unique<TfsFontManager>()) {
  FDefaultBackground->SetDocument(this);
  FDefaultBackground->OnBitmapChange = [this](TfsResource &) { DefaultsChanged(true); };
  SetHitSensitivity(1);
  if (FHost)
    FHost->StartTimer(tmAnimation, 50);
  InitDefaults();
  {
    TSuspendUndoScope suspend(*this);
    AddPage();
  }
  SetModified(false);
}

TfsDocument::~TfsDocument() {
  if (FHost)
    FHost->StopTimer(tmAnimation);
  // Pages first: their pictures still reach the archive while they go.
  FFocusShape = FEditShape = FDragShape = FInsertShape = nullptr;
  FPages.clear();
  FDefaultBackground->OnBitmapChange = nullptr;
  FDefaultBackground.reset();
}

void TfsDocument::InitDefaults() {
  FMode = vmEdit;
  FModified = true;
  FRenderDpm = Dpm150;
  FViewScale = Dpm150;
  FZoomPercent = 100;
  FReadOnly = false;
  FDevice = dtScreen;
  FHelperMethod = hmNone;
  FViewStyle = vsPrintLayout;
  FShowMargins = true;
  FStoreThumbnails = true;
  FThumbnailWidth = 80;
  FThumbnailHeight = 60;
  FPageUpdateInterval = 2000;
  FPerformance = dpMemoryOverSpeed;
  FQuality = sfLinear;
  FHandleColor = 0xFFFFFF;
  FHandleEdgeColor = 0;
  FUndoEnabled = true;
  FDefaults = TfsPageDefaults();
}

// ---------------------------------------------------------------------------
// Pages

TfsPage *TfsDocument::GetPage(int index) const {
  if (index < 0 || index >= PageCount())
    return nullptr;
  return FPages[static_cast<size_t>(index)].get();
}

int TfsDocument::IndexOfPage(const TfsPage *page) const {
  for (size_t i = 0; i < FPages.size(); ++i)
    if (FPages[i].get() == page)
      return static_cast<int>(i);
  return -1;
}

int TfsDocument::AddPage(std::unique_ptr<TfsPage> page) {
  if (!page) {
    page = std::make_unique<TfsPage>();
    page->SetBounds(0, 0, FDefaults.PageWidth, FDefaults.PageHeight);
  }
  const bool hadCurrent = CurrentPage() != nullptr;
  TfsPage &added = *page;
  FPages.push_back(std::move(page));
  const int index = PageCount() - 1;
  added.SetDocument(this);
  if (!hadCurrent) {
    // The index may already name the new page (after the last page was
    // deleted it stays 0); the page must still be hooked and shown.
    FCurrentPageIndex = -1;
    SetCurrentPageIndex(index);
  }
  ShapeChanged(added);
  PageChanged(added);
  return index;
}

void TfsDocument::RenumberPageEntries(int index) {
  TResourcesLock lock;
  TnvStorage &archive = *FArchive;
  archive.DeleteStream(PageEntryName(index + 1));
  archive.DeleteStream(ThumbEntryName(index + 1));
  for (int c = index; c < PageCount(); ++c) {
    for (auto name : {PageEntryName, ThumbEntryName})
      if (archive.StreamExists(name(c + 2)))
        archive.RenameStream(name(c + 2), name(c + 1));
  }
}

void TfsDocument::DeletePage(int index) {
  TfsPage *page = GetPage(index);
  if (!page)
    return;
  RenumberPageEntries(index);
  {
    // Records of the page's shapes could never be executed again.
    TfsUnrecordedScope unrecorded(this);
    page->ClearShapes();
  }
  ShapeDestroying(*page);
  const bool wasCurrent = index == FCurrentPageIndex;
  FPages.erase(FPages.begin() + index);
  SetModified(true);
  for (int i = index; i < PageCount(); ++i)
    PageChanged(*GetPage(i));
  if (index < FCurrentPageIndex || FCurrentPageIndex >= PageCount()) {
    SetCurrentPageIndex(std::max(0, FCurrentPageIndex - 1));
  } else if (wasCurrent) {
    // The next page moved into the current index: it is the current page
    // now and needs what the index setter gives a page it shows.
    if (TfsPage *next = CurrentPage(); next && !next->ContentLoaded())
      ReadPage(*next);
    EnterCurrentPage();
  }
  Repaint();
}

void TfsDocument::SetCurrentPageIndex(int index) {
  if (TfsPage *page = GetPage(index); page && !page->ContentLoaded())
    ReadPage(*page);
  if (TfsPage *old = CurrentPage())
    PageChanged(*old);
  if (index == FCurrentPageIndex)
    return;
  LeaveCurrentPage();
  FCurrentPageIndex = index;
  EnterCurrentPage();
}

void TfsDocument::LeaveCurrentPage() {
  TfsPage *old = CurrentPage();
  if (!old)
    return;
  if (FPerformance == dpMemoryOverSpeed)
    old->ClearCacheAll();
  old->OnGeometryChange = nullptr;
}

void TfsDocument::EnterCurrentPage() {
  if (TfsPage *page = CurrentPage())
    page->OnGeometryChange = [this](TfsShape &) {
      if (!IsPrinting())
        UpdateScrollRange();
    };
  UpdateScrollRange();
  Repaint();
  SetFocusShape(nullptr);
  if (TfsPage *page = CurrentPage())
    PageChanged(*page);
}

void TfsDocument::SetPageCount(int count) {
  if (count < 0 || count > MaxPageCount)
    throw EfsError("Invalid page count");
  while (PageCount() < count)
    AddPage();
  while (PageCount() > count)
    DeletePage(PageCount() - 1);
}

float TfsDocument::PageWidth() const {
  TfsPage *page = CurrentPage();
  return page ? page->DocWidth() : 0;
}

float TfsDocument::PageHeight() const {
  TfsPage *page = CurrentPage();
  return page ? page->DocHeight() : 0;
}

void TfsDocument::SetPageWidth(float value) {
  if (TfsPage *page = CurrentPage())
    page->SetDocWidth(value);
}

void TfsDocument::SetPageHeight(float value) {
  if (TfsPage *page = CurrentPage())
    page->SetDocHeight(value);
}

void TfsDocument::ClearPages() {
  {
    // The stacks are emptied below: recording the removals would only cost
    // the snapshots.
    TfsUnrecordedScope unrecorded(this);
    for (auto &page : FPages) {
      page->ClearShapes();
      ShapeDestroying(*page);
    }
  }
  if (TfsPage *page = CurrentPage())
    page->OnGeometryChange = nullptr;
  FPages.clear();
  FCurrentPageIndex = -1;
  FCopySource = nullptr;
  ClearUndo();
  FArchive->Clear();
  FDefaultBackground->Clear();
}

void TfsDocument::New() {
  ClearPages();
  FCurrentPageIndex = -1;
  FHandleColor = 0xFFFFFF;
  FHandleEdgeColor = 0;
  FHotzoneScrolling = hzsNoScroll;
  FModified = true;
  UndoStateChanged();
  FQuality = sfLinear;
  FRenderDpm = Dpm150;
  FViewScale = Dpm150;
  FThumbnailHeight = 60;
  FThumbnailWidth = 80;
  FViewStyle = vsPrintLayout;
  FStepAngle = 0;
  FStoreThumbnails = true;
  FShowMargins = true;
  FDefaults.MarginLeft = FDefaults.MarginTop = FDefaults.MarginRight = FDefaults.MarginBottom = 10;
  FDefaults.PageColor = 0xFFFFFF;
  FDefaults.PageHeight = 297;
  FDefaults.PageWidth = 210;
  FDefaults.GridColor = 0xFFFFC0;
  FDefaults.GridSize = 5;
  Repaint();
}

// ---------------------------------------------------------------------------
// Default page settings

void TfsDocument::DefaultsChanged(bool thumbnails) {
  SetModified(true);
  if (OnDocumentChanged)
    OnDocumentChanged(*this);
  if (thumbnails)
    for (auto &page : FPages)
      if (page->IsDefaultPage())
        page->SetThumbnailStale(true);
  Repaint();
}

void TfsDocument::SetDefaultMarginLeft(float value) {
  if (value == FDefaults.MarginLeft)
    return;
  FDefaults.MarginLeft = value;
  DefaultsChanged(false);
}

void TfsDocument::SetDefaultMarginTop(float value) {
  if (value == FDefaults.MarginTop)
    return;
  FDefaults.MarginTop = value;
  DefaultsChanged(false);
}

void TfsDocument::SetDefaultMarginRight(float value) {
  if (value == FDefaults.MarginRight)
    return;
  FDefaults.MarginRight = value;
  DefaultsChanged(false);
}

void TfsDocument::SetDefaultMarginBottom(float value) {
  if (value == FDefaults.MarginBottom)
    return;
  FDefaults.MarginBottom = value;
  DefaultsChanged(false);
}

void TfsDocument::SetDefaultGridSize(float value) {
  if (value == FDefaults.GridSize)
    return;
  FDefaults.GridSize = value;
  DefaultsChanged(false);
}

void TfsDocument::SetDefaultGridColor(TColor value) {
  if (value == FDefaults.GridColor)
    return;
  FDefaults.GridColor = value;
  DefaultsChanged(false);
}

void TfsDocument::SetDefaultPageColor(TColor value) {
  if (value == FDefaults.PageColor)
    return;
  FDefaults.PageColor = value;
  DefaultsChanged(true);
}

void TfsDocument::SetDefaultBackgroundTiled(bool value) {
  if (value == FDefaults.BackgroundTiled)
    return;
  FDefaults.BackgroundTiled = value;
  DefaultsChanged(true);
}

void TfsDocument::SetDefaultPageWidth(float value) {
  if (value == FDefaults.PageWidth)
    return;
  FDefaults.PageWidth = value;
  for (auto &page : FPages)
    if (page->IsDefaultPage())
      page->SetDocWidth(value);
  DefaultsChanged(false);
}

void TfsDocument::SetDefaultPageHeight(float value) {
  if (value == FDefaults.PageHeight)
    return;
  FDefaults.PageHeight = value;
  for (auto &page : FPages)
    if (page->IsDefaultPage())
      page->SetDocHeight(value);
  DefaultsChanged(false);
}

void TfsDocument::SetShowMargins(bool value) {
  if (value == FShowMargins)
    return;
  FShowMargins = value;
  DefaultsChanged(false);
}

void TfsDocument::SetHelperMethod(TfsHelperMethodType value) {
  if (value == FHelperMethod)
    return;
  FHelperMethod = value;
  Repaint();
}

void TfsDocument::SetViewStyle(TfsViewStyleType value) {
  if (value == FViewStyle)
    return;
  FViewStyle = value;
  UpdateScrollRange();
  Repaint();
}

void TfsDocument::SetThumbnailWidth(int32_t value) {
  if (value == FThumbnailWidth)
    return;
  FThumbnailWidth = value;
  for (auto &page : FPages)
    page->SetModified(true);
}

void TfsDocument::SetThumbnailHeight(int32_t value) {
  if (value == FThumbnailHeight)
    return;
  FThumbnailHeight = value;
  for (auto &page : FPages)
    page->SetModified(true);
}

// ---------------------------------------------------------------------------
// Shapes of the current page

void TfsDocument::ShapeListChanged() {
  if (OnShapeListChanged)
    OnShapeListChanged(*this);
}

int TfsDocument::ShapeCount() const {
  TfsPage *page = CurrentPage();
  return page ? page->ShapeCount() : 0;
}

TfsShape *TfsDocument::GetShape(int index) const {
  TfsPage *page = CurrentPage();
  return page ? page->GetShape(index) : nullptr;
}

int TfsDocument::AddShape(std::unique_ptr<TfsShape> shape) {
  TfsPage *page = CurrentPage();
  if (!page)
    return -1;
  const int index = page->AddShape(std::move(shape));
  ShapeListChanged();
  return index;
}

void TfsDocument::InsertShape(int index, std::unique_ptr<TfsShape> shape) {
  TfsPage *page = CurrentPage();
  if (!page)
    return;
  page->InsertShape(index, std::move(shape));
  ShapeListChanged();
}

void TfsDocument::DeleteShape(int index) {
  TfsPage *page = CurrentPage();
  if (!page)
    return;
  if (TfsShape *shape = page->GetShape(index)) {
    if (FFocusShape == shape)
      FFocusShape = nullptr;
    if (FDragShape == shape)
      FDragShape = nullptr;
  }
  page->DeleteShape(index);
  ShapeListChanged();
}

std::unique_ptr<TfsShape> TfsDocument::ExtractShape(TfsShape *shape) {
  TfsPage *page = CurrentPage();
  if (!page)
    return nullptr;
  auto extracted = page->ExtractShape(shape);
  ShapeListChanged();
  return extracted;
}

int TfsDocument::RemoveShape(TfsShape *shape) {
  TfsPage *page = CurrentPage();
  if (!page)
    return -1;
  const int index = page->IndexOfShape(shape);
  DeleteShape(index);
  return index;
}

void TfsDocument::ExchangeShapes(int i, int j) {
  TfsPage *page = CurrentPage();
  if (!page)
    return;
  page->ExchangeShapes(i, j);
  ShapeListChanged();
}

// ---------------------------------------------------------------------------
// Selection and focus

int TfsDocument::SelectedCount() const {
  int count = 0;
  for (int i = 0; i < ShapeCount(); ++i)
    if (GetShape(i)->Selected())
      ++count;
  return count;
}

TfsShape *TfsDocument::GetSelected(int n) const {
  if (n < 0)
    return nullptr;
  for (int i = 0; i < ShapeCount(); ++i) {
    TfsShape *shape = GetShape(i);
    if (shape->Selected() && n-- == 0)
      return shape;
  }
  return nullptr;
}

bool TfsDocument::HasSelection() const {
  return SelectedCount() > 0;
}

void TfsDocument::ClearSelection() {
  TUpdateBracket update(*this);
  for (int i = 0; i < ShapeCount(); ++i)
    GetShape(i)->SetSelected(false);
}

void TfsDocument::ToggleSelection(TfsShape &shape) {
  shape.SetSelected(!shape.Selected());
  if (shape.Selected())
    SetFocusShape(&shape);
}

void TfsDocument::SelectInRect(const TRect &screenRect) {
  TUpdateBracket update(*this);
  TfsShape *first = nullptr;
  for (int i = 0; i < ShapeCount(); ++i) {
    TfsShape *shape = GetShape(i);
    shape->SetSelected(RegionTouchesRect(shape->GetScreenRegion(), screenRect));
    if (!first && shape->Selected())
      first = shape;
  }
  SetFocusShape(first);
}

TfsShape *TfsDocument::FocusShape() const {
  TfsPage *page = CurrentPage();
  if (!page || !FFocusShape || page->IndexOfShape(FFocusShape) < 0)
    return nullptr;
  return FFocusShape;
}

void TfsDocument::SetFocusShape(TfsShape *shape) {
  if (shape == FFocusShape)
    return;
  FFocusShape = shape;
  if (FUpdate.Hold())
    FPendingFocus = true;
  else if (OnFocusShape)
    OnFocusShape(*this, shape);
}

void TfsDocument::DeleteSelection() {
  CheckNotWorking();
  TUpdateBracket update(*this);
  for (int n = ShapeCount() - 1; n >= 0; --n) {
    TfsShape *shape = GetShape(n);
    if (shape && shape->Selected() && shape->AllowDelete())
      DeleteShape(n);
  }
}

// ---------------------------------------------------------------------------
// Arrangement

void TfsDocument::MoveSelected(const std::function<void(TfsShape &, const TFloatRect &)> &move) {
  std::vector<TfsShape *> selected;
  for (int n = 0; TfsShape *shape = GetSelected(n); ++n)
    selected.push_back(shape);
  TUndoGroupScope group(*this);
  for (TfsShape *shape : selected)
    move(*shape, shape->GetParentBounds(false));
}

void TfsDocument::AlignLefts() {
  CheckNotWorking();
  float m = PageWidth();
  for (int n = 0; TfsShape *shape = GetSelected(n); ++n)
    m = std::min(m, shape->GetParentBounds(false).Left);
  MoveSelected([m](TfsShape &shape, const TFloatRect &) { shape.MoveBoundsLeftTo(m); });
}

void TfsDocument::AlignTops() {
  CheckNotWorking();
  float m = PageHeight();
  for (int n = 0; TfsShape *shape = GetSelected(n); ++n)
    m = std::min(m, shape->GetParentBounds(false).Top);
  MoveSelected([m](TfsShape &shape, const TFloatRect &) { shape.MoveBoundsTopTo(m); });
}

void TfsDocument::AlignRights() {
  CheckNotWorking();
  float m = 0;
  for (int n = 0; TfsShape *shape = GetSelected(n); ++n)
    m = std::max(m, shape->GetParentBounds(false).Right);
  MoveSelected([m](TfsShape &shape, const TFloatRect &) { shape.MoveBoundsRightTo(m); });
}

void TfsDocument::AlignBottoms() {
  CheckNotWorking();
  float m = 0;
  for (int n = 0; TfsShape *shape = GetSelected(n); ++n)
    m = std::max(m, shape->GetParentBounds(false).Bottom);
  MoveSelected([m](TfsShape &shape, const TFloatRect &) { shape.MoveBoundsBottomTo(m); });
}

void TfsDocument::CentreHorizontally() {
  CheckNotWorking();
  float lo = PageWidth();
  float hi = 0;
  for (int n = 0; TfsShape *shape = GetSelected(n); ++n) {
    const TFloatRect box = shape->GetParentBounds(false);
    lo = std::min(lo, box.Left);
    hi = std::max(hi, box.Right);
  }
  const float c = (lo + hi) / 2;
  MoveSelected([c](TfsShape &shape, const TFloatRect &box) {
    shape.MoveBoundsLeftTo(c - (box.Right - box.Left) / 2);
  });
}

void TfsDocument::CentreVertically() {
  CheckNotWorking();
  float lo = PageHeight();
  float hi = 0;
  for (int n = 0; TfsShape *shape = GetSelected(n); ++n) {
    const TFloatRect box = shape->GetParentBounds(false);
    lo = std::min(lo, box.Top);
    hi = std::max(hi, box.Bottom);
  }
  const float c = (lo + hi) / 2;
  MoveSelected([c](TfsShape &shape, const TFloatRect &box) {
    shape.MoveBoundsTopTo(c - (box.Bottom - box.Top) / 2);
  });
}

void TfsDocument::SendBackward() {
  CheckNotWorking();
  TfsPage *page = CurrentPage();
  if (!page)
    return;
  for (int a = 1; a < page->ShapeCount(); ++a)
    if (!page->GetShape(a - 1)->Selected() && page->GetShape(a)->Selected())
      page->ExchangeShapes(a - 1, a);
  ShapeListChanged();
}

void TfsDocument::BringForward() {
  CheckNotWorking();
  TfsPage *page = CurrentPage();
  if (!page)
    return;
  for (int n = page->ShapeCount() - 2; n >= 0; --n)
    if (!page->GetShape(n + 1)->Selected() && page->GetShape(n)->Selected())
      page->ExchangeShapes(n, n + 1);
  ShapeListChanged();
}

void TfsDocument::SendToBack() {
  CheckNotWorking();
  TfsPage *page = CurrentPage();
  if (!page)
    return;
  int i = 0;
  for (int j = 0; j < page->ShapeCount(); ++j) {
    TfsShape *shape = page->GetShape(j);
    if (!shape->Selected())
      continue;
    // Extraction deselects; the shape moved is still what the user picked.
    page->InsertShape(i++, page->ExtractShape(shape));
    shape->SetSelected(true);
  }
  ShapeListChanged();
}

void TfsDocument::BringToFront() {
  CheckNotWorking();
  TfsPage *page = CurrentPage();
  if (!page)
    return;
  int a = page->ShapeCount() - 1;
  for (int n = page->ShapeCount() - 1; n >= 0; --n) {
    TfsShape *shape = page->GetShape(n);
    if (!shape->Selected())
      continue;
    page->InsertShape(a--, page->ExtractShape(shape));
    shape->SetSelected(true);
  }
  ShapeListChanged();
}

void TfsDocument::GroupSelection() {
  CheckNotWorking();
  TfsPage *page = CurrentPage();
  if (!page || !HasSelection())
    return;
  TfsShape *group = nullptr;
  {
    TUndoGroupScope undoGroup(*this);
    int i = 0;
    while (!page->GetShape(i)->Selected())
      ++i;
    auto made = CreateShape("TfsGroupShape");
    group = made.get();
    page->InsertShape(i, std::move(made));
    for (int n = page->ShapeCount() - 1; n >= 0; --n) {
      TfsShape *shape = page->GetShape(n);
      if (shape != group && shape->Selected())
        group->InsertShape(0, page->ExtractShape(shape));
    }
    group->FitToChildren();
    group->SetSelected(true);
  }
  SetFocusShape(group);
  ShapeListChanged();
}

void TfsDocument::UngroupSelection() {
  CheckNotWorking();
  TfsPage *page = CurrentPage();
  if (!page)
    return;
  {
    TUndoGroupScope undoGroup(*this);
    for (int n = page->ShapeCount() - 1; n >= 0; --n) {
      TfsShape *group = page->GetShape(n);
      if (!group || !group->Selected() || !group->IsGroupShape())
        continue;
      int a = n + 1;
      while (group->ShapeCount() > 0) {
        TfsShape *child = group->GetShape(0);
        child->SetAllowSelect(true);
        const TFloatPoint origin =
            group->LocalToParent(FloatPoint(child->DocLeft(), child->DocTop()));
        child->SetBounds(origin.X, origin.Y, child->DocWidth(), child->DocHeight());
        child->SetDocAngle(child->DocAngle() + group->DocAngle());
        page->InsertShape(a++, group->ExtractShape(child));
        child->SetSelected(true);
      }
      DeleteShape(n);
    }
  }
  ShapeListChanged();
}

// ---------------------------------------------------------------------------
// Modes and flags

void TfsDocument::SetMode(TfsViewerModeType value) {
  if (value == FMode)
    return;
  LeaveEditingStates();
  ClearSelection();
  FDragShape = nullptr;
  if (value == vmEdit && FReadOnly)
    return;
  FMode = value;
}

void TfsDocument::SetReadOnly(bool value) {
  if (value == FReadOnly)
    return;
  FReadOnly = value;
  if (!value)
    return;
  LeaveEditingStates();
  ClearSelection();
  FDragShape = nullptr;
  if (FMode == vmEdit)
    FMode = vmBrowse;
}

void TfsDocument::SetModified(bool value) {
  FLastModification = TfsResourceThread::SystemTicks();
  if (value == FModified)
    return;
  FModified = value;
  if (!value)
    for (auto &page : FPages)
      page->SetModified(false);
  UndoStateChanged();
}

void TfsDocument::SetQuality(TStretchFilter value) {
  if (value == FQuality)
    return;
  FQuality = value;
  Repaint();
}

void TfsDocument::SetViewMapping(const TfsViewMapping &mapping) {
  FWindowLeft = mapping.WindowLeft;
  FWindowTop = mapping.WindowTop;
  FViewScale = mapping.Scale;
  StoreScrollPosition(mapping.WindowLeft * mapping.Scale, mapping.WindowTop * mapping.Scale);
}

TfsViewMapping TfsDocument::ViewMapping() const {
  return {FWindowLeft, FWindowTop, FViewScale};
}

// ---------------------------------------------------------------------------
// Brackets

void TfsDocument::BeginUpdate() {
  FUpdate.Begin();
}

void TfsDocument::EndUpdate() {
  if (!FUpdate.End("EndUpdate called more often than BeginUpdate"))
    return;
  const bool shapeChanged = FPendingShapeChanged;
  const bool selectionChanged = FPendingSelectionChanged;
  const bool focus = FPendingFocus;
  FPendingShapeChanged = FPendingSelectionChanged = FPendingFocus = false;
  if (shapeChanged && OnShapeChanged)
    OnShapeChanged(*this, nullptr);
  if (selectionChanged && OnSelectionChanged)
    OnSelectionChanged(*this);
  if (focus && OnFocusShape)
    OnFocusShape(*this, FocusShape());
}

void TfsDocument::BeginWork(int16_t cursor) {
  if (FHost)
    FHost->SetCursor(cursor);
  FShownCursor = cursor;
  ++FWorking;
}

void TfsDocument::EndWork() {
  if (FWorking <= 0)
    return;
  if (--FWorking == 0) {
    FShownCursor = FCursor;
    if (FHost)
      FHost->SetCursor(FCursor);
  }
}

void TfsDocument::CheckNotWorking() const {
  if (IsWorking())
    throw EfsError("Threading error (working already)");
}

void TfsDocument::BeginPrinting() {
  ++FPrinting;
}

void TfsDocument::EndPrinting() {
  if (FPrinting <= 0) {
    FPrinting = 0;
    throw EfsAssertionFailed("EndPrinting called more often than BeginPrinting");
  }
  --FPrinting;
}

// ---------------------------------------------------------------------------
// Undo recording

bool TfsDocument::UndoEnabled() const {
  return FUndoEnabled && FUndoSuspended == 0;
}

void TfsDocument::SetUndoEnabled(bool value) {
  if (value == FUndoEnabled)
    return;
  FUndoEnabled = value;
  if (!value)
    ClearUndo();
}

void TfsDocument::BeginUndoGroup() {
  ++FUndoGroupDepth;
  BeginUpdate();
}

void TfsDocument::EndUndoGroup() {
  if (FUndoGroupDepth <= 0) {
    FUndoGroupDepth = 0;
    throw EfsAssertionFailed("EndUndo called more often than BeginUndo");
  }
  if (--FUndoGroupDepth == 0)
    FGroupHasHead = false;
  EndUpdate();
}

void TfsDocument::AddUndo(std::unique_ptr<TfsCommand> command) {
  if (!command || !UndoEnabled())
    return;
  if (FUndoGroupDepth > 0) {
    if (FGroupHasHead)
      command->Continued = true;
    FGroupHasHead = true;
  }
  const TfsCommand *previous = FRedo.empty() && !FUndo.empty() ? FUndo.back().get() : nullptr;
  if (previous && previous->Kind == ckProperty && command->Kind == ckProperty &&
      previous->ShapeID == command->ShapeID && previous->PropName == command->PropName &&
      (previous->Value == command->Value || FMergeNext))
    return; // the older record already restores what this one would
  FMergeNext = false;
  if (!FRedoing)
    FRedo.clear();
  FUndoSize += command->Size();
  FUndo.push_back(std::move(command));
  while (FUndoSize > UndoBudget && !FUndo.empty()) {
    FUndoSize -= FUndo.front()->Size();
    FUndo.pop_front();
  }
  UndoStateChanged();
}

void TfsDocument::AddRedo(std::unique_ptr<TfsCommand> command) {
  if (!command || !FUndoing)
    return;
  if (FUndoGroupDepth > 0) {
    if (FGroupHasHead)
      command->Continued = true;
    FGroupHasHead = true;
  }
  FRedo.push_back(std::move(command));
  UndoStateChanged();
}

void TfsDocument::ClearUndo() {
  FUndo.clear();
  FRedo.clear();
  FUndoSize = 0;
  UndoStateChanged();
}

void TfsDocument::UndoStateChanged() {
  // The stacks pass through every state while a step runs; the host hears
  // of the result.
  if (!FHost || FUndoing || FRedoing)
    return;
  const int state = (FUndo.empty() ? 0 : 1) | (FRedo.empty() ? 0 : 2) | (FModified ? 0 : 4);
  if (state == FReportedUndoState)
    return;
  FReportedUndoState = state;
  FHost->UndoStateChanged(!FUndo.empty(), !FRedo.empty(), !FModified);
}

bool TfsDocument::IsRecordingUndo() const {
  return FUnrecorded == 0 && (UndoEnabled() || FUndoing);
}

void TfsDocument::FileCommand(std::unique_ptr<TfsCommand> command) {
  if (FUnrecorded > 0)
    return;
  if (UndoEnabled())
    AddUndo(std::move(command));
  else if (FUndoing)
    AddRedo(std::move(command));
}

// ---------------------------------------------------------------------------
// Timers and repainting

void TfsDocument::AnimationTick() {
  if (FInAnimation)
    return;
  FInAnimation = true;
  struct TReset {
    bool &Flag;
    ~TReset() { Flag = false; }
  } reset{FInAnimation};

  if (FAutoPageUpdate && CurrentPage()) {
    const int64_t now = TfsResourceThread::SystemTicks();
    if (std::llabs(now - FLastModification) >= FPageUpdateInterval)
      for (int i = 0; i < PageCount(); ++i) {
        TfsPage *page = GetPage(i);
        if (!page->ThumbnailStale())
          continue;
        page->UpdateThumbnail();
        if (FHost)
          FHost->ProcessMessages();
      }
  }
  if (OnAnimate)
    OnAnimate(*this);
  for (int i = 0; i < ShapeCount(); ++i)
    GetShape(i)->Animate();
}

void TfsDocument::TimerTick(TfsTimer timer) {
  switch (timer) {
  case tmAnimation:
    AnimationTick();
    break;
  case tmHint:
    if (!FHost)
      break;
    if (FHintShown) {
      CancelHint();
    } else if (FHintShape) {
      // Shown below the pointer, then hidden again after a while.
      FHost->ShowHint(FHintText, {FHintPoint.X, FHintPoint.Y + 24});
      FHintShown = true;
      FHost->StartTimer(tmHint, std::max(FHintHidePause, 1));
    }
    break;
  case tmHotZone:
    if (FHotzoneRunning)
      HotzoneStep(FPointer);
    break;
  }
}

void TfsDocument::Repaint() {
  if (FHost)
    FHost->RepaintAll();
}

// ---------------------------------------------------------------------------
// What shapes and pages ask of the document

bool TfsDocument::IsReferenced(const TfsShape *reference, const TfsShape &shape) const {
  for (const TfsShape *s = reference; s; s = s->Parent())
    if (s == &shape)
      return true;
  return false;
}

void TfsDocument::ShapeChanged(TfsShape &shape) {
  SetModified(true);
  if (FUpdate.Hold())
    FPendingShapeChanged = true;
  else if (OnShapeChanged)
    OnShapeChanged(*this, &shape);
}

void TfsDocument::SelectionChanged(TfsShape &) {
  if (FUpdate.Hold())
    FPendingSelectionChanged = true;
  else if (OnSelectionChanged)
    OnSelectionChanged(*this);
}

void TfsDocument::ShapeDestroying(TfsShape &shape) {
  // A group going takes its children along: references into it go too.
  if (FDragState == dsEditing && IsReferenced(FEditShape, shape))
    FDragState = dsIdle;
  for (TfsShape **reference : {&FFocusShape, &FEditShape, &FDragShape, &FInsertShape})
    if (IsReferenced(*reference, shape))
      *reference = nullptr;
  if (FCopySource == &shape)
    FCopySource = nullptr;
  if (OnShapeDestroy)
    OnShapeDestroy(*this, &shape);
}

void TfsDocument::ShapeLoadError(TfsShape &shape, const std::string &message) {
  if (OnLoadError)
    OnLoadError(*this, &shape, message);
}

void TfsDocument::ShapeFiled(TfsShape &shape, TXmlNode &node, bool saving) {
  const TfsShapeFilingEvent &event = saving ? OnShapeSaveAdditionalInfo : OnShapeLoadAdditionalInfo;
  if (event)
    event(*this, shape, node);
}

void TfsDocument::CloseEdit(TfsShape &shape) {
  // The editing state ends with it: a shape without in-place editing closes
  // at once, and the view must go on selecting and dragging.
  if (FEditShape == &shape)
    EndEdit(true);
}

void TfsDocument::InvalidateScreen(const TRect &screenRect) {
  if (FHost)
    FHost->Repaint(screenRect);
}

void TfsDocument::ShowBusy() {
  ShowCursor(crAppStart);
}

int TfsDocument::PageNumber(const TfsPage &page) const {
  return IndexOfPage(&page) + 1;
}

void TfsDocument::ReadPage(TfsPage &page) {
  const int index = IndexOfPage(&page);
  if (index >= 0) {
    ReadPage(index);
  } else {
    // Not one of the pages: there is no entry to read it from.
    page.SetContentLoaded(true);
  }
}

void TfsDocument::PageBecameDefault(TfsPage &page) {
  page.SetBounds(page.DocLeft(), page.DocTop(), FDefaults.PageWidth, FDefaults.PageHeight);
  Repaint();
}

void TfsDocument::PageGeometryChanged(TfsPage &page) {
  if (&page == CurrentPage() && !IsPrinting())
    UpdateScrollRange();
}

void TfsDocument::PageChanged(TfsPage &page) {
  if (OnPageChanged)
    OnPageChanged(*this, &page);
}

void TfsDocument::PaintBackground(TBitmap32 &bitmap, const TDeviceContext &context,
                                  const TRect &pageRect) {
  if (OnPaintBackground)
    OnPaintBackground(*this, bitmap, context, pageRect);
}

void TfsDocument::PaintForeground(TBitmap32 &bitmap, const TDeviceContext &context,
                                  const TRect &pageRect) {
  if (OnPaintForeground)
    OnPaintForeground(*this, bitmap, context, pageRect);
}

void TfsDocument::RenderPageToBitmap(TfsPage &page, TBitmap32 &bitmap, const TRect &rect,
                                     float maxDpm) {
  RenderPageToCanvas(page, bitmap, rect, maxDpm, true);
}

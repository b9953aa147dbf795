// The document as a view: scroll range, zoom, painting, cursor and rulers.

#include "engine/fsDocument.h"

#include "raster/fsGR32_Transforms.h"

#include <algorithm>
#include <cmath>

namespace {

int32_t RoundSize(double v) {
  if (!std::isfinite(v) || v <= 0)
    return 0;
  return static_cast<int32_t>(std::lrint(std::min(v, double(1 << 30))));
}

// A page colour as the caches' outer colour: alpha 0.
TColor32 OuterColor(TfsPage &page) {
  return ToColor32(page.PageColor()) & 0x00FFFFFF;
}

} // namespace

// ---------------------------------------------------------------------------
// Scroll range and zoom

void TfsDocument::UpdateScrollRange() {
  TfsPage *page = CurrentPage();
  if (FInScrollRange || !page)
    return;
  FInScrollRange = true;
  struct TEnd {
    bool &Flag;
    ~TEnd() { Flag = false; }
  } end{FInScrollRange};
  const float s = FViewScale;
  if (FViewStyle == vsPrintLayout) {
    // The page box and its shadow, 10 pixels from every edge.
    const TFloatRect b = page->GetParentBounds(true);
    SetVirtualArea(0, 0, (b.Right - b.Left) * s + 20, (b.Bottom - b.Top) * s + 20);
    page->SetPagePosition(10 / s, 10 / s);
  } else {
    const TFloatRect b = page->GetParentBounds(false);
    SetVirtualArea(0, 0, (b.Right - b.Left) * s, (b.Bottom - b.Top) * s);
    page->SetPagePosition(0, 0);
  }
}

void TfsDocument::ScrollChanged() {
  FWindowLeft = ScrollX() / FViewScale;
  FWindowTop = ScrollY() / FViewScale;
  UpdateRulers();
  if (OnUpdateScrollPosition)
    OnUpdateScrollPosition(*this);
}

void TfsDocument::ScrollContent(int32_t dx, int32_t dy) {
  if (FHost)
    FHost->ScrollView(dx, dy);
}

void TfsDocument::ScrollBarsChanged() {
  if (FHost)
    FHost->ScrollBarsChanged();
}

void TfsDocument::Resized() {
  // A page that fills the width keeps filling it.
  if (FAutoWidth && FZoomPercent == 100)
    SetZoomPercent(100);
}

void TfsDocument::WindowAttached() {
  SuspendUndo();
  struct TEnd {
    TfsDocument &Document;
    ~TEnd() { Document.ResumeUndo(); }
  } end{*this};
  SetHandleAllocated(true);
  FZoomPercent = 100;
  FitWidth();
}

void TfsDocument::SetViewScale(float value) {
  if (value == FViewScale)
    return;
  FViewScale = value;
  if (FRenderAtScreenRes)
    SetRenderDpm(value);
  if (!IsPrinting())
    Repaint();
}

void TfsDocument::ZoomBy(float factor) {
  const float cw = static_cast<float>(ClientWidth()), ch = static_cast<float>(ClientHeight());
  float x = ScrollX(), y = ScrollY();
  const float vw = VirtualWidth(), vh = VirtualHeight();
  SetViewScale(factor * FViewScale);
  // The point at the centre stays, unless the view showed the top-left.
  if (x != 0 || y != 0) {
    x = (cw / 2 + x) * factor - cw / 2;
    y = (ch / 2 + y) * factor - ch / 2;
  }
  SetVirtualArea(x, y, vw * factor, vh * factor);
  Repaint();
}

void TfsDocument::ZoomIn() {
  FZoomPercent *= 1.1f;
  ZoomBy(1.1f);
}

void TfsDocument::ZoomOut() {
  FZoomPercent /= 1.1f;
  ZoomBy(0.90909094f);
}

void TfsDocument::FitWidthOnce() {
  TfsPage *page = CurrentPage();
  const float cw = static_cast<float>(ClientWidth());
  if (FViewStyle == vsPrintLayout) {
    const float w = page->ExtentLeft() + page->DocWidth() + page->ExtentRight();
    if (w > 0)
      SetViewScale((cw - 22) / w);
  } else if (page->DocWidth() > 0) {
    SetViewScale((cw - 2) / page->DocWidth());
  }
  UpdateScrollRange();
}

void TfsDocument::FitWidth() {
  if (!CurrentPage())
    return;
  HideScrollBars();
  const int32_t cw = ClientWidth();
  FitWidthOnce();
  // A scroll bar appeared and took some of the width.
  if (ClientWidth() < cw)
    FitWidthOnce();
}

void TfsDocument::FitPageOnce() {
  TfsPage *page = CurrentPage();
  HideScrollBars();
  const float cw = static_cast<float>(ClientWidth()), ch = static_cast<float>(ClientHeight());
  const float w = page->DocWidth(), h = page->DocHeight();
  const float edge = FViewStyle == vsPrintLayout ? 23.0f : 1.0f;
  if (w > 0 && h > 0)
    SetViewScale(std::min((cw - edge) / w, (ch - edge) / h));
  UpdateScrollRange();
}

void TfsDocument::FitPage() {
  TfsPage *page = CurrentPage();
  if (!page)
    return;
  // Twice, so that the scroll bars settle.
  FitPageOnce();
  FitPageOnce();
  const float edge = FViewStyle == vsPrintLayout ? 23.0f : 1.0f;
  if (page->DocWidth() > 0)
    FZoomPercent = page->DocWidth() * FViewScale / (static_cast<float>(ClientWidth()) - edge) * 100;
}

void TfsDocument::SetZoomPercent(float value) {
  if (!FAutoWidth)
    return;
  FZoomPercent = value;
  FitWidth();
  ZoomBy(value / 100);
}

void TfsDocument::SetRenderDpm(float value) {
  if (value == FRenderDpm)
    return;
  FRenderDpm = value;
  if (TfsPage *page = CurrentPage()) {
    page->ClearCacheAll();
    page->Refresh();
  }
}

void TfsDocument::SetRenderAtScreenRes(bool value) {
  if (value == FRenderAtScreenRes)
    return;
  FRenderAtScreenRes = value;
  SetRenderDpm(FViewScale);
}

float TfsDocument::PrinterDpm() const {
  switch (FPrintQuality) {
  case pqLow:
    return 5.905512f;
  case pqMedium:
    return 11.811024f;
  case pqHigh:
    return 23.622047f;
  case pqDevice:
    break;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Render contexts

TDeviceContext TfsDocument::ScreenContext(TfsPage &page) const {
  TDeviceContext c;
  c.DeviceType = dtScreen;
  c.BackColor = OuterColor(page);
  c.DestDpm = FViewScale;
  c.CacheDpm = FRenderAtScreenRes ? FViewScale : FRenderDpm;
  c.StretchFilter = FQuality;
  return c;
}

TDeviceContext TfsDocument::PrintContext(TfsPage &page, float dpm) const {
  TDeviceContext c;
  c.DeviceType = dtPrinter;
  c.BackColor = OuterColor(page);
  c.DestDpm = dpm;
  c.CacheDpm = dpm;
  c.StretchFilter = FQuality;
  return c;
}

// ---------------------------------------------------------------------------
// Painting

void TfsDocument::Paint(TBitmap32 &canvas, const TRect &clip) {
  if (IsPrinting() || IsLoading())
    return;
  PaintView(canvas, clip);
  // The selection's handles come with interactive editing.
}

void TfsDocument::PaintView(TBitmap32 &canvas, const TRect &clip) {
  TRect c = clip;
  c.Left = std::max(c.Left, 0);
  c.Top = std::max(c.Top, 0);
  c.Right = std::min(c.Right, canvas.Width());
  c.Bottom = std::min(c.Bottom, canvas.Height());
  if (c.Right <= c.Left || c.Bottom <= c.Top)
    return;
  const TColor32 back = ToColor32(FColor);
  TfsPage *page = CurrentPage();
  if (!page) {
    canvas.FillRect(c, back);
  } else {
    TBitmap32 bitmap;
    bitmap.SetSize(c.Width(), c.Height());
    bitmap.Clear(back);
    const float s = FViewScale;
    const TFloatRect r = FloatRect(static_cast<float>(c.Left) / s + FWindowLeft,
                                   static_cast<float>(c.Top) / s + FWindowTop,
                                   static_cast<float>(c.Right) / s + FWindowLeft,
                                   static_cast<float>(c.Bottom) / s + FWindowTop);
    TfsShape::RenderShape(*page, bitmap, r, ScreenContext(*page), false);
    bitmap.SetDrawMode(dmOpaque);
    bitmap.DrawOnto(canvas, c);
    PaintEditing(canvas);
  }
  if (FShownCursor == crAppStart)
    SetCursor(FCursor);
}

void TfsDocument::RenderPageToCanvas(TfsPage &page, TBitmap32 &canvas, const TRect &rect,
                                     float maxDpm, bool fit) {
  page.EnsureLoaded();
  if (page.Document() != this || canvas.IsBlank() || IsRectEmpty(rect))
    return;
  BeginPrinting();
  struct TEnd {
    TfsDocument &Document;
    ~TEnd() { Document.EndPrinting(); }
  } end{*this};
  FDevice = dtPrinter;
  // Rendered no finer than the caller allows: a zoomed-in view must not
  // make every thumbnail a full-page bitmap.
  float scale = std::min(FViewScale, maxDpm);
  // Drawn no finer than four pixels a target pixel each way: averaging
  // more gains nothing, and a page of absurd size (a damaged file) would
  // otherwise ask for a giant picture.
  if (page.DocWidth() > 0 && page.DocHeight() > 0) {
    const double limit = std::min(static_cast<double>(rect.Width()) / page.DocWidth(),
                                  static_cast<double>(rect.Height()) / page.DocHeight());
    if (limit > 0 && scale > 4 * limit)
      scale = static_cast<float>(4 * limit);
  }
  TDeviceContext context = PrintContext(page, scale);
  context.CacheDpm = std::min(FRenderDpm, maxDpm);
  const int32_t w = RoundSize(static_cast<double>(scale) * page.DocWidth());
  const int32_t h = RoundSize(static_cast<double>(scale) * page.DocHeight());
  if (w <= 0 || h <= 0)
    return;
  TRect dest = rect;
  if (fit) {
    const double f =
        std::min(static_cast<double>(rect.Height()) / h, static_cast<double>(rect.Width()) / w);
    const int32_t dw = RoundSize(f * w);
    const int32_t dh = RoundSize(f * h);
    if (dw <= 0 || dh <= 0)
      return;
    const int32_t dx = rect.Left + (rect.Width() - dw) / 2;
    const int32_t dy = rect.Top + (rect.Height() - dh) / 2;
    dest = Rect(dx, dy, dx + dw, dy + dh);
  }
  TBitmap32 rendered;
  rendered.SetSize(w, h);
  TfsShape::RenderShape(page, rendered, FloatRect(0, 0, page.DocWidth(), page.DocHeight()), context,
                        true);
  if (static_cast<int64_t>(dest.Width()) * dest.Height() < static_cast<int64_t>(w) * h) {
    DrawOntoAveraged(canvas, dest, rendered, rendered.BoundsRect(), sfLinear, dmOpaque);
  } else {
    rendered.SetDrawMode(dmOpaque);
    rendered.SetStretchFilter(sfLinear);
    rendered.DrawOnto(canvas, dest);
  }
}

// ---------------------------------------------------------------------------
// Cursor and rulers

void TfsDocument::SetCursor(int16_t value) {
  FCursor = value;
  FShownCursor = value;
  if (FHost)
    FHost->SetCursor(value);
}

void TfsDocument::ShowCursor(int16_t cursor) {
  // Working shows its own cursor; only the hour-glass may replace the
  // busy arrow of a control that shows it as its own.
  if (!IsWorking() || FCursor == crDefault || (FCursor == crAppStart && cursor == crHourGlass)) {
    FShownCursor = cursor;
    if (FHost)
      FHost->SetCursor(cursor);
  }
}

void TfsDocument::SetRulerTop(TfsRuler *ruler) {
  FRulerTop = ruler;
  UpdateRulers();
}

void TfsDocument::SetRulerLeft(TfsRuler *ruler) {
  FRulerLeft = ruler;
  UpdateRulers();
}

void TfsDocument::SetRulerCorner(TfsRuler *ruler) {
  FRulerCorner = ruler;
  UpdateRulers();
}

void TfsDocument::SetRulerUnits(TRulerUnit value) {
  FRulerUnits = value;
  UpdateRulers();
}

void TfsDocument::UpdateRulers() {
  TfsPage *page = CurrentPage();
  if (!page || (!FRulerTop && !FRulerLeft && !FRulerCorner))
    return;
  // The page-local point at the view's top-left corner.
  const TFloatPoint origin = page->ParentToLocal(FloatPoint(FWindowLeft, FWindowTop));
  if (FRulerTop) {
    FRulerTop->SetUnits(FRulerUnits);
    FRulerTop->SetView(origin.X, FViewScale);
  }
  if (FRulerLeft) {
    FRulerLeft->SetUnits(FRulerUnits);
    FRulerLeft->SetView(origin.Y, FViewScale);
  }
  if (FRulerCorner)
    FRulerCorner->SetUnits(FRulerUnits);
}

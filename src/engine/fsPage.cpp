#include "engine/fsPage.h"

#include "persist/fsPlainXml.h"
#include "persist/fsResource.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// Pictures are sized at 150 dots per inch: a pixel is this many mm.
constexpr float PicturePixelsPerMm = 5.9055118f;
constexpr int32_t CheckerSize = 8;
constexpr TColor32 CheckerGrey = 0xFFB0B0B0;
constexpr TColor32 CheckerWhite = 0xFFFFFFFF;

// Device coordinates of pages that are far larger than any bitmap stay in a
// range where the pixel arithmetic cannot overflow.
constexpr double PixelLimit = 1 << 29;

int32_t RoundPixel(double v) {
  if (!std::isfinite(v))
    return 0;
  return static_cast<int32_t>(std::lrint(std::clamp(v, -PixelLimit, PixelLimit)));
}

// Device positions of the grid lines i * g for i = first ... last that fall
// inside [lo, hi), each once and in order. Only the indexes near the clip
// range are visited, so a tiny grid on a huge page stays cheap.
std::vector<int32_t> GridPositions(int64_t first, int64_t last, double g, double scale,
                                   double offset, int32_t lo, int32_t hi) {
  std::vector<int32_t> out;
  const double spacing = g * scale;
  if (!(spacing > 0) || !std::isfinite(spacing) || first > last || lo >= hi)
    return out;
  auto at = [&](int64_t i) { return RoundPixel(offset + static_cast<double>(i) * spacing); };
  const double from = std::floor((lo - 1 - offset) / spacing);
  const double to = std::ceil((hi + 1 - offset) / spacing);
  if (!(to >= static_cast<double>(first)) || !(from <= static_cast<double>(last)))
    return out;
  const int64_t i0 =
      std::max<int64_t>(first, static_cast<int64_t>(std::max(from, static_cast<double>(first))));
  const int64_t i1 =
      std::min<int64_t>(last, static_cast<int64_t>(std::min(to, static_cast<double>(last))));
  if (i0 > i1)
    return out;
  if (spacing <= 1) {
    // Neighbouring lines are at most one pixel apart: every column between
    // the first and the last one is a line.
    for (int32_t x = std::max(lo, at(i0)); x <= std::min(hi - 1, at(i1)); ++x)
      out.push_back(x);
    return out;
  }
  for (int64_t i = i0; i <= i1; ++i) {
    const int32_t x = at(i);
    if (x >= lo && x < hi && (out.empty() || out.back() != x))
      out.push_back(x);
  }
  return out;
}

// The number of grid lines that fit a length: floor(length / g), kept in a
// range the loops can count to.
int64_t GridCount(float length, float g) {
  const double n = std::floor(static_cast<double>(length) / g);
  if (!(n > 0))
    return 0;
  return static_cast<int64_t>(std::min(n, 1e15));
}

// The steps i of a run c0 + d * i (d = 1 or -1, i = 0 ... count - 1) that
// land inside [lo, hi): [first, last).
void InsideSteps(int64_t c0, int32_t d, int64_t lo, int64_t hi, int64_t count, int64_t &first,
                 int64_t &last) {
  first = d > 0 ? lo - c0 : c0 - hi + 1;
  last = d > 0 ? hi - c0 : c0 - lo + 1;
  first = std::clamp<int64_t>(first, 0, count);
  last = std::clamp<int64_t>(last, first, count);
}

// A run of stippled pixels from (x, y), count pixels in direction (dx, dy),
// each taking the pattern's next colour; pixels outside the clip box only
// advance the pattern, so the dashes stay where an unclipped frame has them.
void StippleRun(TBitmap32 &b, int32_t x, int32_t y, int32_t dx, int32_t dy, int32_t count) {
  const TRect &clip = b.ClipBox();
  int64_t first = 0;
  int64_t last = 0;
  if (dy == 0 && y >= clip.Top && y < clip.Bottom)
    InsideSteps(x, dx, clip.Left, clip.Right, count, first, last);
  else if (dx == 0 && x >= clip.Left && x < clip.Right)
    InsideSteps(y, dy, clip.Top, clip.Bottom, count, first, last);
  b.AdvanceStippleCounter(static_cast<float>(first));
  for (int64_t i = first; i < last; ++i)
    b.SetPixel(static_cast<int32_t>(x + dx * i), static_cast<int32_t>(y + dy * i),
               b.GetStippleColor());
  b.AdvanceStippleCounter(static_cast<float>(count - last));
}

// A one-pixel stippled frame of (x1, y1)-(x2, y2), right and bottom
// exclusive, drawn round clockwise from the top-left corner.
void StippleFrame(TBitmap32 &b, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (x1 >= x2 || y1 >= y2)
    return;
  const int32_t r = x2 - 1;
  const int32_t bt = y2 - 1;
  StippleRun(b, x1, y1, 1, 0, x2 - x1);
  if (bt > y1 + 1)
    StippleRun(b, r, y1 + 1, 0, 1, bt - y1 - 1);
  if (bt > y1)
    StippleRun(b, r, bt, -1, 0, x2 - x1);
  if (bt > y1 + 1 && r > x1)
    StippleRun(b, x1, bt - 1, 0, -1, bt - y1 - 1);
  b.Changed();
}

} // namespace

TfsPage::TfsPage() : FBackground(std::make_unique<TfsBitmapResource>()) {
  FBackground->OnChange = [this](TfsResource &) { BackgroundLoaded(); };
  FBackground->OnBitmapChange = [this](TfsResource &) { BackgroundChanged(); };
  SetDocWidth(210);
  SetDocHeight(297);
  // Room for the page shadow of the print-layout view.
  SetCurb(0, 0, 1, 1);
}

TfsPage::~TfsPage() {
  // The resource tells its owner of the pictures it drops while it goes.
  FBackground->OnChange = nullptr;
  FBackground->OnBitmapChange = nullptr;
  FBackground.reset();
}

void TfsPage::SetDocument(TfsShapeDocument *document) {
  FPageDocument = dynamic_cast<TfsPageDocument *>(document);
  FBackground->SetDocument(document);
  TfsShape::SetDocument(document);
}

// ---------------------------------------------------------------------------
// Effective settings

float TfsPage::MarginLeft() {
  return IsDefaultPage() && FPageDocument ? FPageDocument->PageDefaults().MarginLeft : FMarginLeft;
}

float TfsPage::MarginTop() {
  return IsDefaultPage() && FPageDocument ? FPageDocument->PageDefaults().MarginTop : FMarginTop;
}

float TfsPage::MarginRight() {
  return IsDefaultPage() && FPageDocument ? FPageDocument->PageDefaults().MarginRight
                                          : FMarginRight;
}

float TfsPage::MarginBottom() {
  return IsDefaultPage() && FPageDocument ? FPageDocument->PageDefaults().MarginBottom
                                          : FMarginBottom;
}

float TfsPage::GridSize() {
  return IsDefaultPage() && FPageDocument ? FPageDocument->PageDefaults().GridSize : FGridSize;
}

TColor TfsPage::GridColor() {
  return IsDefaultPage() && FPageDocument ? FPageDocument->PageDefaults().GridColor : FGridColor;
}

TColor TfsPage::PageColor() {
  return IsDefaultPage() && FPageDocument ? FPageDocument->PageDefaults().PageColor : FPageColor;
}

bool TfsPage::BackgroundTiled() {
  return IsDefaultPage() && FPageDocument ? FPageDocument->PageDefaults().BackgroundTiled
                                          : FBackgroundTiled;
}

TfsBitmapResource &TfsPage::Background() {
  return IsDefaultPage() && FPageDocument ? FPageDocument->DefaultBackground() : *FBackground;
}

TfsHelperMethodType TfsPage::HelperMethod() const {
  return FPageDocument ? FPageDocument->HelperMethod() : hmNone;
}

bool TfsPage::ShowMargins() const {
  return FPageDocument ? FPageDocument->ShowMargins() : false;
}

TfsViewStyleType TfsPage::ViewStyle() const {
  return FPageDocument ? FPageDocument->ViewStyle() : vsNormal;
}

bool TfsPage::IsDefaultPage() {
  EnsureLoaded();
  return FIsDefaultPage;
}

void TfsPage::SetIsDefaultPage(bool value) {
  if (!FPageDocument || IsDefaultPage() == value)
    return;
  if (value) {
    FIsDefaultPage = true;
    FPageDocument->PageBecameDefault(*this);
  } else {
    LeaveDefaults(true);
  }
  Changed();
}

void TfsPage::LeaveDefaults(bool withBackground) {
  if (FPageDocument) {
    const TfsPageDefaults &d = FPageDocument->PageDefaults();
    FMarginLeft = d.MarginLeft;
    FMarginTop = d.MarginTop;
    FMarginRight = d.MarginRight;
    FMarginBottom = d.MarginBottom;
    FGridColor = d.GridColor;
    FGridSize = d.GridSize;
    FPageColor = d.PageColor;
    FBackgroundTiled = d.BackgroundTiled;
  }
  // From here on the page's own fields are what it shows, so the copy of
  // the background below already counts as the page's own change.
  FIsDefaultPage = false;
  if (FPageDocument && withBackground)
    FBackground->Assign(FPageDocument->DefaultBackground());
}

void TfsPage::OwnSettingChanged() {
  MarkStale();
  UpdateExtents();
  Invalidate();
  Changed();
}

// Each look setter leaves the defaults first (which copies them), so that
// the settings not being changed keep what the page showed.
template <class T> void TfsPage::SetOwnSetting(T &field, T value, T effective) {
  if (value == effective)
    return;
  if (FPageDocument)
    SetIsDefaultPage(false);
  else
    FIsDefaultPage = false;
  field = value;
  OwnSettingChanged();
}

void TfsPage::SetMarginLeft(float value) {
  SetOwnSetting(FMarginLeft, value, MarginLeft());
}

void TfsPage::SetMarginTop(float value) {
  SetOwnSetting(FMarginTop, value, MarginTop());
}

void TfsPage::SetMarginRight(float value) {
  SetOwnSetting(FMarginRight, value, MarginRight());
}

void TfsPage::SetMarginBottom(float value) {
  SetOwnSetting(FMarginBottom, value, MarginBottom());
}

void TfsPage::SetGridSize(float value) {
  SetOwnSetting(FGridSize, value, GridSize());
}

void TfsPage::SetGridColor(TColor value) {
  SetOwnSetting(FGridColor, value, GridColor());
}

void TfsPage::SetPageColor(TColor value) {
  SetOwnSetting(FPageColor, value, PageColor());
}

void TfsPage::SetBackgroundTiled(bool value) {
  SetOwnSetting(FBackgroundTiled, value, BackgroundTiled());
}

void TfsPage::EnsureLoaded() {
  if (!FContentLoaded && FPageDocument)
    FPageDocument->ReadPage(*this);
}

void TfsPage::SetPagePosition(float left, float top) {
  if (left == DocLeft() && top == DocTop())
    return;
  TfsUnrecordedScope unrecorded(FPageDocument);
  SetDocPosition(left, top);
}

// ---------------------------------------------------------------------------
// Background notifications

void TfsPage::BackgroundLoaded() {
  // A picture file of the page's own arrived: it must survive leaving the
  // defaults, so only the other settings are copied.
  if (FPageDocument && IsDefaultPage())
    LeaveDefaults(false);
  else
    FIsDefaultPage = false;
  Changed();
}

void TfsPage::BackgroundChanged() {
  OwnSettingChanged();
}

// ---------------------------------------------------------------------------
// Thumbnails

const TBitmap32 *TfsPage::GetThumbnail() {
  if (!FThumbnailStale && FThumbnail)
    return FThumbnail.get();
  FThumbnail.reset();
  if (FPageDocument) {
    EnsureLoaded();
    const int32_t width = FPageDocument->ThumbnailWidth();
    const int32_t height = FPageDocument->ThumbnailHeight();
    auto thumb = std::make_unique<TBitmap32>();
    thumb->SetSize(width, height);
    if (!thumb->IsBlank()) {
      thumb->FillAll(ToColor32(FPageDocument->Color()));
      if (DocWidth() > 0 && DocHeight() > 0) {
        FPageDocument->RenderPageToBitmap(*this, *thumb, Rect(1, 1, width - 1, height - 1), Dpm150);
        const float scale = std::min(static_cast<float>(height) / DocHeight(),
                                     static_cast<float>(width) / DocWidth());
        const int32_t pw = RoundPixel(scale * DocWidth());
        const int32_t ph = RoundPixel(scale * DocHeight());
        const int32_t x = (width - pw) / 2;
        const int32_t y = (height - ph) / 2;
        thumb->FrameBox(x, y, x + pw, y + ph, clBlack32);
      }
      // Thumbnails are 24-bit pictures: nothing of them is transparent.
      thumb->SetAlphaAll(255);
    }
    FThumbnail = std::move(thumb);
  }
  FThumbnailStale = false;
  return FThumbnail.get();
}

void TfsPage::SetThumbnail(const TBitmap32 *thumbnail) {
  FThumbnail.reset();
  if (thumbnail) {
    FThumbnail = std::make_unique<TBitmap32>();
    FThumbnail->Assign(*thumbnail);
  }
  FThumbnailStale = false;
}

void TfsPage::UpdateThumbnail() {
  FThumbnailStale = true;
  GetThumbnail();
  if (FPageDocument)
    FPageDocument->PageChanged(*this);
}

// ---------------------------------------------------------------------------
// Shape overrides

std::string TfsPage::GetDisplayName() const {
  if (!Name().empty())
    return Name();
  char text[32];
  std::snprintf(text, sizeof text, "Page %d", FPageDocument ? FPageDocument->PageNumber(*this) : 0);
  return text;
}

void TfsPage::SnapPoint(TFloatPoint &point) {
  const float g = GridSize();
  if (!(g > 0))
    return;
  point.X = std::nearbyint(point.X / g) * g;
  point.Y = std::nearbyint(point.Y / g) * g;
}

void TfsPage::SetModified(bool value) {
  TfsShape::SetModified(value);
  if (value)
    FThumbnailStale = true;
}

void TfsPage::SetGeometry(float left, float top, float width, float height, float angle) {
  TfsShape::SetGeometry(left, top, width, height, angle);
  if (FPageDocument)
    FPageDocument->PageGeometryChanged(*this);
}

void TfsPage::GetResourceNames(std::vector<std::string> &names) const {
  TfsShape::GetResourceNames(names);
  FBackground->CollectArchiveNames(names);
}

// ---------------------------------------------------------------------------
// Painting

void TfsPage::PaintTiles(TBitmap32 &bitmap, TBitmap32 &picture, const TRect &page) {
  const TfsAffineTransform &m = DeviceMatrix();
  const int32_t tw =
      std::max(1, RoundPixel(static_cast<double>(picture.Width()) / PicturePixelsPerMm * m.m11));
  const int32_t th =
      std::max(1, RoundPixel(static_cast<double>(picture.Height()) / PicturePixelsPerMm * m.m22));
  TRect area;
  if (!IntersectRect(area, page, bitmap.ClipBox()))
    return;
  // Tiles start at the page's top-left corner; only those that meet the
  // visible part of the page are drawn.
  const int64_t c0 = (static_cast<int64_t>(area.Left) - page.Left) / tw;
  const int64_t c1 = (static_cast<int64_t>(area.Right) - 1 - page.Left) / tw;
  const int64_t r0 = (static_cast<int64_t>(area.Top) - page.Top) / th;
  const int64_t r1 = (static_cast<int64_t>(area.Bottom) - 1 - page.Top) / th;
  for (int64_t r = r0; r <= r1; ++r)
    for (int64_t c = c0; c <= c1; ++c) {
      const TRect tile =
          Rect(static_cast<int32_t>(page.Left + c * tw), static_cast<int32_t>(page.Top + r * th),
               static_cast<int32_t>(page.Left + (c + 1) * tw),
               static_cast<int32_t>(page.Top + (r + 1) * th));
      TRect part;
      if (!IntersectRect(part, tile, page))
        continue;
      // The part of the picture that the clipped tile shows, from its
      // top-left corner.
      const int32_t sw = std::max(
          1, RoundPixel(static_cast<double>(picture.Width()) * part.Width() / tile.Width()));
      const int32_t sh = std::max(
          1, RoundPixel(static_cast<double>(picture.Height()) * part.Height() / tile.Height()));
      picture.DrawOnto(bitmap, part, Rect(0, 0, sw, sh));
    }
}

void TfsPage::PaintGrid(TBitmap32 &bitmap, const TRect &page, float gridSize, TColor32 color,
                        bool dots) {
  const TfsAffineTransform &m = DeviceMatrix();
  const TRect &clip = bitmap.ClipBox();
  const int64_t nx = GridCount(DocWidth(), gridSize);
  const int64_t ny = GridCount(DocHeight(), gridSize);
  if (dots) {
    const auto xs = GridPositions(1, nx, gridSize, m.m11, m.m31, clip.Left, clip.Right);
    const auto ys = GridPositions(1, ny, gridSize, m.m22, m.m32, clip.Top, clip.Bottom);
    for (int32_t y : ys)
      for (int32_t x : xs)
        bitmap.SetPixel(x, y, color);
    bitmap.Changed();
    return;
  }
  for (int32_t x : GridPositions(1, nx - 1, gridSize, m.m11, m.m31, clip.Left, clip.Right))
    bitmap.VertLineClipped(x, page.Top + 1, page.Bottom - 2, color);
  for (int32_t y : GridPositions(1, ny - 1, gridSize, m.m22, m.m32, clip.Top, clip.Bottom))
    bitmap.HorzLineClipped(page.Left + 1, y, page.Right - 2, color);
  bitmap.Changed();
}

void TfsPage::Paint(TBitmap32 &bitmap, const TDeviceContext &context) {
  auto device = [this](float x, float y) {
    const TFloatPoint p = LocalToDevice(FloatPoint(x, y));
    return Point(RoundPixel(p.X), RoundPixel(p.Y));
  };
  const float w = DocWidth();
  const float h = DocHeight();
  const TPoint topLeft = device(0, 0);
  const TPoint bottomRight = device(w, h);
  const TRect page = Rect(topLeft.X, topLeft.Y, bottomRight.X, bottomRight.Y);
  const TPoint shadowEnd = device(w + 1, h + 1);
  const TPoint m1 = device(MarginLeft(), MarginTop());
  const TPoint m2 = device(w - MarginRight(), h - MarginBottom());
  const int32_t shadow = shadowEnd.X - page.Right;
  const TfsHelperMethodType helper = HelperMethod();

  if (context.DeviceType != dtScreen || helper != hmPattern) {
    if (context.DeviceType != dtTransparent)
      bitmap.FillRect(page, ToColor32(PageColor()));
    TfsBitmapResource &background = Background();
    TfsResourceLock lock(background);
    TBitmap32 *picture = background.Bitmap();
    if (picture && !picture->IsBlank()) {
      picture->SetStretchFilter(context.StretchFilter);
      picture->SetDrawMode(dmBlend);
      if (BackgroundTiled())
        PaintTiles(bitmap, *picture, page);
      else
        picture->DrawOnto(bitmap, page);
    }
  } else {
    TRect area;
    if (IntersectRect(area, page, bitmap.ClipBox())) {
      for (int32_t y = area.Top; y < area.Bottom; ++y) {
        TColor32 *row = bitmap.ScanLine(y);
        const int32_t ry = (y - page.Top) / CheckerSize;
        for (int32_t x = area.Left; x < area.Right; ++x)
          row[x] = ((x - page.Left) / CheckerSize + ry) % 2 == 0 ? CheckerGrey : CheckerWhite;
      }
      bitmap.Changed();
    }
  }

  if (FPageDocument && !bitmap.IsBlank())
    FPageDocument->PaintBackground(bitmap, context, page);

  if (context.DeviceType != dtScreen)
    return;
  const float g = GridSize();
  if (g > 0 && (helper == hmGrid || helper == hmDots))
    PaintGrid(bitmap, page, g, ToColor32(GridColor()), helper == hmDots);
  if (ShowMargins()) {
    bitmap.SetStipple({clWhite32, clBlack32});
    bitmap.SetStippleStep(0.5f);
    StippleFrame(bitmap, m1.X, m1.Y, m2.X + 1, m2.Y + 1);
  }
  if (!Parent() && ViewStyle() == vsPrintLayout) {
    bitmap.FrameBox(page.Left, page.Top, page.Right, page.Bottom, clBlack32);
    bitmap.FillRect(page.Left + shadow, page.Bottom, shadowEnd.X, shadowEnd.Y, clBlack32);
    bitmap.FillRect(page.Right, page.Top + shadow, shadowEnd.X, page.Bottom, clBlack32);
  }
}

void TfsPage::PaintOverlay(TBitmap32 &bitmap, const TDeviceContext &context) {
  TfsShape::PaintOverlay(bitmap, context);
  if (!FPageDocument || bitmap.IsBlank())
    return;
  const TFloatPoint a = LocalToDevice(FloatPoint(0, 0));
  const TFloatPoint b = LocalToDevice(FloatPoint(DocWidth(), DocHeight()));
  FPageDocument->PaintForeground(
      bitmap, context, Rect(RoundPixel(a.X), RoundPixel(a.Y), RoundPixel(b.X), RoundPixel(b.Y)));
}

// ---------------------------------------------------------------------------
// Persistence

void TfsPage::SaveToXml(TXmlNode &node) {
  const bool isDefault = IsDefaultPage();
  node.StoreBool("IsDefaultPage", isDefault, true);
  if (!isDefault) {
    node.StoreFloat("MarginLeft", FMarginLeft, 0.0f);
    node.StoreFloat("MarginTop", FMarginTop, 0.0f);
    node.StoreFloat("MarginRight", FMarginRight, 0.0f);
    node.StoreFloat("MarginBottom", FMarginBottom, 0.0f);
    node.StoreFloat("GridSize", FGridSize, 0.0f);
    node.StoreColor("GridColor", FGridColor, 0);
    node.StoreColor("PageColor", FPageColor, 0xFFFFFF);
    node.StoreFloat("PageWidth", DocWidth(), 0.0f);
    node.StoreFloat("PageHeight", DocHeight(), 0.0f);
  }
  // A node saved into again must not keep a picture the page no longer has.
  while (TXmlNode *stale = node.FindChild("BackgroundImage"))
    stale->RemoveSelf();
  if (!isDefault && FBackground->Level() != rlEmpty)
    FBackground->WriteToXml(*node.NewChild("BackgroundImage"));
  if (!isDefault)
    node.StoreBool("BackgroundTiled", FBackgroundTiled, false);
  TfsShape::SaveToXml(node);
}

void TfsPage::LoadFromXml(const TXmlNode *node) {
  EnsureLoaded();
  TfsShape::LoadFromXml(node);
  FIsDefaultPage = node->LoadBool("IsDefaultPage", true);
  if (!FIsDefaultPage) {
    // As for the shape keys: reading a page is no step to take back.
    TfsUnrecordedScope unrecorded(FPageDocument);
    FMarginLeft = node->LoadFloat("MarginLeft", 0.0f);
    FMarginTop = node->LoadFloat("MarginTop", 0.0f);
    FMarginRight = node->LoadFloat("MarginRight", 0.0f);
    FMarginBottom = node->LoadFloat("MarginBottom", 0.0f);
    FGridSize = node->LoadFloat("GridSize", 0.0f);
    FGridColor = node->LoadColor("GridColor", 0);
    FPageColor = node->LoadColor("PageColor", 0xFFFFFF);
    SetDocWidth(node->LoadFloat("PageWidth", 0.0f));
    SetDocHeight(node->LoadFloat("PageHeight", 0.0f));
    if (TXmlNode *image = node->FindChild("BackgroundImage")) {
      if (IsCompressedBitmap(*image)) {
        TBitmap32 picture;
        ReadCompressedBitmap(*image, picture);
        FBackground->SetBitmap(picture.IsBlank() ? nullptr : &picture);
      } else {
        FBackground->ReadFromXml(*image);
      }
    } else {
      FBackground->Clear();
    }
    FBackgroundTiled = node->LoadBool("BackgroundTiled", false);
  }
  FThumbnailStale = false;
}

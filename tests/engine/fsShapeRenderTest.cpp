#include "engine/fsShape.h"

#include "engine/FakeShapeDocument.h"
#include "persist/fsPlainXml.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <numbers>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

using enginetest::FakeShapeDocument;

namespace {

constexpr TColor32 White = 0xFFFFFFFF;

// Paints its box in one colour with its top-left quarter in another, through
// the device matrix, and counts its paints.
class TBoxShape : public TfsShape {
public:
  TColor32 Fill = 0xFFC00000;
  TColor32 Mark = 0xFF0000C0;
  int Paints = 0;
  int AfterPaints = 0;
  void Paint(TBitmap32 &bitmap, const TDeviceContext &) override {
    ++Paints;
    bitmap.FillRect(DeviceX(0), DeviceY(0), DeviceX(DocWidth()), DeviceY(DocHeight()), Fill);
    bitmap.FillRect(DeviceX(0), DeviceY(0), DeviceX(DocWidth() / 2), DeviceY(DocHeight() / 2),
                    Mark);
  }
  void AfterPaint(TBitmap32 &, const TFloatRect &) override { ++AfterPaints; }
};

// ---- the expected picture, from the geometry alone ---------------------------------------

struct TBoxCase {
  const char *Name;
  float L, T, W, H, Angle;
  int Alpha;
  bool Mirrored, Flipped;
  TColor32 Fill, Mark;
};

void PrintTo(const TBoxCase &c, std::ostream *os) {
  *os << c.Name;
}

// The shape of a case, set up through the public operations.
std::unique_ptr<TBoxShape> MakeShape(const TBoxCase &c) {
  auto s = std::make_unique<TBoxShape>();
  s->Fill = c.Fill;
  s->Mark = c.Mark;
  // Mirror and flip first: on a turned shape they would mirror the turn.
  s->SetMirrored(c.Mirrored);
  s->SetFlipped(c.Flipped);
  s->SetGeometry(c.L, c.T, c.W, c.H, c.Angle);
  s->SetMasterAlpha(c.Alpha);
  return s;
}

TColor32 OverWhite(TColor32 c, int alpha) {
  auto channel = [&](int shift) {
    const int f = (c >> shift) & 0xFF;
    return static_cast<TColor32>((f * alpha + 255 * (255 - alpha) + 127) / 255) << shift;
  };
  return 0xFF000000u | channel(16) | channel(8) | channel(0);
}

enum TVerdict { vOutside, vUnsure, vInside };

// Where a parent point falls for one case: outside, too near an edge to
// be sure (within margin mm), or inside with the colour it must show.
TVerdict Judge(const TBoxCase &c, double px, double py, double margin, TColor32 &color) {
  // Inverse of (x, y) -> (L + x cos a + y sin a, T - x sin a + y cos a).
  const double a = c.Angle * std::numbers::pi / 180;
  const double dx = px - c.L, dy = py - c.T;
  const double x = dx * std::cos(a) - dy * std::sin(a);
  const double y = dx * std::sin(a) + dy * std::cos(a);
  if (x < -margin || y < -margin || x > c.W + margin || y > c.H + margin)
    return vOutside;
  if (x < margin || y < margin || x > c.W - margin || y > c.H - margin)
    return vUnsure;
  // The picture as painted, then mirrored or flipped as a whole.
  const double u = c.Mirrored ? c.W - x : x;
  const double v = c.Flipped ? c.H - y : y;
  if (std::fabs(u - c.W / 2) < margin || std::fabs(v - c.H / 2) < margin)
    return vUnsure;
  color = OverWhite(u < c.W / 2 && v < c.H / 2 ? c.Mark : c.Fill, c.Alpha);
  return vInside;
}

bool Close(TColor32 a, TColor32 b, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8)
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance)
      return false;
  return true;
}

// Renders a 100 x 100 mm parent holding the cases' shapes and checks every
// pixel the geometry is sure of. rect is the part of the parent the bitmap
// shows, at dpm pixels per mm.
void RenderAndCheck(const std::vector<TBoxCase> &cases, const TFloatRect &rect, float dpm) {
  TfsShape parent; // stands in for a page
  parent.SetGeometry(0, 0, 100, 100, 0);
  for (const TBoxCase &c : cases)
    parent.AddShape(MakeShape(c));
  TBitmap32 target;
  const int w = static_cast<int>(std::lrint((rect.Right - rect.Left) * dpm));
  const int h = static_cast<int>(std::lrint((rect.Bottom - rect.Top) * dpm));
  target.SetSize(w, h);
  target.Clear(White);
  TDeviceContext context;
  context.DeviceType = dtPrinter;
  context.DestDpm = dpm;
  context.CacheDpm = dpm;
  TfsShape::RenderShape(parent, target, rect, context, true);

  const double margin = 2.0 / dpm; // two pixels
  std::vector<int> checked(cases.size(), 0), seen(cases.size(), 0);
  int wrong = 0;
  std::ostringstream report;
  for (int py = 0; py < h; ++py)
    for (int px = 0; px < w; ++px) {
      const double x = rect.Left + (px + 0.5) / dpm, y = rect.Top + (py + 0.5) / dpm;
      TColor32 expected = White;
      bool unsure = false;
      int owner = -1;
      for (size_t i = 0; i < cases.size(); ++i) {
        TColor32 color;
        const TVerdict v = Judge(cases[i], x, y, margin, color);
        if (v != vOutside)
          ++seen[i];
        if (v == vUnsure)
          unsure = true;
        else if (v == vInside) {
          expected = color;
          owner = static_cast<int>(i);
        }
      }
      if (unsure)
        continue;
      if (owner >= 0)
        ++checked[static_cast<size_t>(owner)];
      const TColor32 got = target.GetPixel(px, py);
      if (!Close(got, expected, 3) && ++wrong <= 5)
        report << " (" << px << "," << py << ") " << (owner >= 0 ? cases[owner].Name : "outside")
               << " got " << std::hex << got << " want " << expected << std::dec;
    }
  EXPECT_EQ(wrong, 0) << report.str();
  // Enough of each box in sight is checked that a misplaced one cannot slip
  // by, and the window shows some boxes at all.
  int inSight = 0;
  for (size_t i = 0; i < cases.size(); ++i) {
    // More than a sliver at the window's edge.
    if (seen[i] > 200) {
      EXPECT_GE(checked[i], seen[i] / 3) << cases[i].Name;
    }
    inSight += checked[i] > 100;
  }
  EXPECT_GE(inSight, std::min<int>(3, static_cast<int>(cases.size())));
}

const std::vector<TBoxCase> &Cases() {
  static const std::vector<TBoxCase> cases{
      {"Direct", 5, 5, 20, 10, 0, 255, false, false, 0xFFC00000, 0xFF0000C0},
      {"Turned90", 40, 30, 20, 10, 90, 255, false, false, 0xFF00A000, 0xFFA000A0},
      {"Turned30", 60, 25, 24, 12, 30, 255, false, false, 0xFF303030, 0xFFE0E000},
      {"Translucent", 5, 45, 20, 20, 0, 128, false, false, 0xFF0000FF, 0xFFFF0000},
      {"Mirrored", 35, 45, 20, 20, 0, 255, true, false, 0xFF008080, 0xFF800000},
      {"Flipped", 65, 45, 20, 20, 0, 255, false, true, 0xFF404080, 0xFF80FF00},
      {"AllAtOnce", 60, 75, 30, 15, 20, 200, true, true, 0xFF602000, 0xFF00C0FF},
  };
  return cases;
}

class ShapeRender : public testing::TestWithParam<TBoxCase> {};

TEST_P(ShapeRender, AloneOnThePage) {
  RenderAndCheck({GetParam()}, {0, 0, 100, 100}, 2);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShapeRender, testing::ValuesIn(Cases()),
                         [](const auto &info) { return std::string(info.param.Name); });

TEST(ShapeRenderScene, AllTogetherOnThePage) {
  RenderAndCheck(Cases(), {0, 0, 100, 100}, 2);
}

TEST(ShapeRenderScene, AllTogetherThroughAZoomedWindow) {
  RenderAndCheck(Cases(), {30, 30, 80, 80}, 4);
}

TEST(ShapeRenderScene, AFilesAngleOf400DrawsAt40Degrees) {
  TPlainXml xml("shape");
  TXmlNode &node = *xml.Root();
  node.StoreFloat("DocLeft", 20.0f, 0.0f);
  node.StoreFloat("DocTop", 50.0f, 0.0f);
  node.StoreFloat("DocWidth", 40.0f, 0.0f);
  node.StoreFloat("DocHeight", 10.0f, 0.0f);
  node.StoreFloat("DocAngle", 400.0f, 0.0f);
  TfsShape parent;
  parent.SetGeometry(0, 0, 100, 100, 0);
  auto owned = std::make_unique<TBoxShape>();
  TBoxShape &s = *owned;
  owned->LoadFromXml(&node);
  parent.AddShape(std::move(owned));
  ASSERT_EQ(s.DocAngle(), 400);

  TBitmap32 target;
  target.SetSize(200, 200);
  target.Clear(White);
  TDeviceContext context;
  context.DeviceType = dtPrinter;
  context.CacheDpm = 2;
  TfsShape::RenderShape(parent, target, {0, 0, 100, 100}, context, true);

  const TBoxCase at40{"At40", 20, 50, 40, 10, 40, 255, false, false, s.Fill, s.Mark};
  int checked = 0;
  for (int py = 0; py < 200; ++py)
    for (int px = 0; px < 200; ++px) {
      TColor32 expected = White;
      if (Judge(at40, (px + 0.5) / 2, (py + 0.5) / 2, 1.0, expected) == vUnsure)
        continue;
      ++checked;
      ASSERT_TRUE(Close(target.GetPixel(px, py), expected, 3)) << px << "," << py;
    }
  EXPECT_GT(checked, 30000);
}

// ---- the cache -------------------------------------------------------------------------------

struct TCacheStep {
  const char *What;
  void (*Before)(TBoxShape &);
  float Dpm;
  bool Exact;
  bool Repaints;
};

TEST(ShapeCache, RenderedAtTheAskedResolutionAndReusedBelowIt) {
  FakeShapeDocument doc;
  TfsShape parent;
  parent.SetDocument(&doc);
  parent.SetGeometry(0, 0, 100, 100, 0);
  auto owned = std::make_unique<TBoxShape>();
  TBoxShape &s = *owned;
  s.SetForceCache(true);
  s.SetGeometry(10, 10, 20, 10, 0);
  s.SetCurbAll(1);
  parent.AddShape(std::move(owned));

  auto nothing = [](TBoxShape &) {};
  const TCacheStep steps[] = {
      {"first pass", nothing, 4, false, true},
      {"lower resolution", nothing, 2, false, false},
      {"same resolution", nothing, 4, false, false},
      {"lower, but exact", nothing, 2, true, true},
      {"after Refresh", [](TBoxShape &b) { b.Refresh(); }, 2, false, true},
      {"higher resolution", nothing, 3, false, true},
      {"after Invalidate, which only marks the ancestors", [](TBoxShape &b) { b.Invalidate(); }, 3,
       false, false},
      {"after a size change", [](TBoxShape &b) { b.SetDocWidth(30); }, 3, false, true},
      {"after a curb change", [](TBoxShape &b) { b.SetCurbAll(0.5f); }, Dpm150, false, true},
  };
  int paints = 0;
  float dpm = 0;
  for (const TCacheStep &step : steps) {
    step.Before(s);
    doc.Forget();
    TBitmap32 target;
    target.SetSize(50, 50);
    TDeviceContext context;
    context.DeviceType = dtPrinter;
    context.CacheDpm = step.Dpm;
    context.ExactDpm = step.Exact;
    TfsShape::RenderShape(parent, target, {0, 0, 100, 100}, context, true);
    if (step.Repaints) {
      ++paints;
      dpm = step.Dpm;
    }
    EXPECT_EQ(s.Paints, paints) << step.What;
    EXPECT_EQ(doc.BusyCount, step.Repaints ? 1 : 0) << step.What;
    EXPECT_EQ(s.CacheDpm(), dpm) << step.What;
    ASSERT_NE(s.Cache(), nullptr) << step.What;
    // Margins and box each rounded up to whole pixels at the cache's dpm.
    const int l = int(std::ceil(s.CurbLeft() * dpm));
    const int r = int(std::ceil((s.DocWidth() + s.CurbRight()) * dpm));
    const int t = int(std::ceil(s.CurbTop() * dpm));
    const int b = int(std::ceil((s.DocHeight() + s.CurbBottom()) * dpm));
    EXPECT_EQ(s.Cache()->Width(), l + r) << step.What;
    EXPECT_EQ(s.Cache()->Height(), t + b) << step.What;
  }
  EXPECT_EQ(s.Cache()->Width(), 3 + 181) << "1/2 mm and 30.5 mm at 150 dpi";
}

TEST(ShapeCache, DroppedAfterDrawingWhenTheContextSaysSo) {
  TBoxShape s;
  s.SetGeometry(0, 0, 10, 10, 0);
  s.SetMasterAlpha(100);
  TBitmap32 target;
  target.SetSize(20, 20);
  TDeviceContext context;
  context.DeviceType = dtPrinter;
  context.CacheDpm = 2;
  TfsShape::RenderShape(s, target, {0, 0, 10, 10}, context, true);
  ASSERT_NE(s.Cache(), nullptr);
  EXPECT_EQ(s.Cache()->MasterAlpha(), 100u);
  context.DropCache = true;
  TfsShape::RenderShape(s, target, {0, 0, 10, 10}, context, true);
  EXPECT_EQ(s.Paints, 1) << "the current cache was drawn";
  EXPECT_EQ(s.Cache(), nullptr);
  EXPECT_EQ(s.CacheDpm(), 0);
}

TEST(ShapeCache, ADirectShapeNeverKeepsACache) {
  TBoxShape s;
  s.SetGeometry(0, 0, 10, 10, 0);
  s.SetForceCache(true);
  TBitmap32 target;
  target.SetSize(20, 20);
  TDeviceContext context;
  context.DeviceType = dtPrinter;
  context.CacheDpm = 2;
  TfsShape::RenderShape(s, target, {0, 0, 10, 10}, context, true);
  ASSERT_NE(s.Cache(), nullptr);
  s.SetForceCache(false);
  TfsShape::RenderShape(s, target, {0, 0, 10, 10}, context, true);
  EXPECT_EQ(s.Paints, 2);
  EXPECT_EQ(s.Cache(), nullptr);

  TBoxShape plain;
  plain.SetGeometry(0, 0, 10, 10, 0);
  TfsShape::RenderShape(plain, target, {0, 0, 10, 10}, context, true);
  EXPECT_EQ(plain.Paints, 1);
  EXPECT_EQ(plain.Cache(), nullptr);
  EXPECT_FALSE(plain.NeedsCache());
}

TEST(ShapeCache, StalenessRisesThroughTheAncestors) {
  // Three cached levels: each is drawn into the cache of the one above.
  TfsShape page;
  page.SetGeometry(0, 0, 100, 100, 0);
  TBoxShape *levels[3];
  TfsShape *parent = &page;
  for (int i = 0; i < 3; ++i) {
    auto b = std::make_unique<TBoxShape>();
    b->SetGeometry(5, 5, 60.0f - 15 * i, 60.0f - 15 * i, 0);
    b->SetForceCache(true);
    levels[i] = b.get();
    parent->AddShape(std::move(b));
    parent = levels[i];
  }
  TBitmap32 target;
  target.SetSize(100, 100);
  TDeviceContext context;
  context.DeviceType = dtPrinter;
  context.CacheDpm = 1;
  auto render = [&] { TfsShape::RenderShape(page, target, {0, 0, 100, 100}, context, true); };
  render();
  render();
  for (TBoxShape *b : levels) {
    EXPECT_EQ(b->Paints, 1) << "a current cache is not repainted, nor what it holds";
    EXPECT_EQ(b->CacheDpm(), 1);
  }

  levels[2]->Invalidate();
  EXPECT_EQ(levels[0]->CacheDpm(), 0);
  EXPECT_EQ(levels[1]->CacheDpm(), 0);
  EXPECT_EQ(levels[2]->CacheDpm(), 1) << "its own look did not change";
  render();
  EXPECT_EQ(levels[0]->Paints, 2);
  EXPECT_EQ(levels[1]->Paints, 2);
  EXPECT_EQ(levels[2]->Paints, 1);

  levels[1]->Refresh();
  for (TBoxShape *b : levels)
    EXPECT_EQ(b->CacheDpm(), 0) << "the shape, its ancestors and its children";
  render();
  EXPECT_EQ(levels[2]->Paints, 2);

  levels[1]->SetDocAngle(10);
  EXPECT_EQ(levels[0]->CacheDpm(), 0);
  EXPECT_EQ(levels[1]->CacheDpm(), 1) << "a turn does not change the cache of the turned shape";
}

TEST(ShapeCache, AfterPaintOnlyForTheScreen) {
  TBoxShape direct, cached;
  direct.SetGeometry(0, 0, 10, 10, 0);
  cached.SetGeometry(0, 0, 10, 10, 0);
  cached.SetMasterAlpha(50);
  TBitmap32 target;
  target.SetSize(20, 20);
  TDeviceContext context;
  context.CacheDpm = 2;
  for (TDeviceType device : {dtPrinter, dtScreen}) {
    context.DeviceType = device;
    cached.ClearCache();
    TfsShape::RenderShape(direct, target, {0, 0, 10, 10}, context, true);
    TfsShape::RenderShape(cached, target, {0, 0, 10, 10}, context, true);
  }
  EXPECT_EQ(direct.AfterPaints, 1);
  EXPECT_EQ(cached.AfterPaints, 1);
}

TEST(ShapeRenderScene, NothingOutsideTheAreaOrOnAnEmptyOne) {
  TBoxShape s;
  s.SetGeometry(50, 50, 10, 10, 0);
  TBitmap32 target;
  target.SetSize(20, 20);
  target.Clear(White);
  TDeviceContext context;
  context.DeviceType = dtPrinter;
  TfsShape::RenderShape(s, target, {0, 0, 10, 10}, context, false);
  TfsShape::RenderShape(s, target, {55, 55, 55, 60}, context, false);
  EXPECT_EQ(s.Paints, 0);
  TfsShape::RenderShape(s, target, {45, 45, 65, 65}, context, false);
  EXPECT_EQ(s.Paints, 1);
  EXPECT_EQ(target.GetPixel(10, 10), s.Fill);
  EXPECT_EQ(target.GetPixel(3, 3), White);
}

TEST(ShapeRenderScene, FillSilhouette) {
  TBitmap32 b;
  b.SetSize(3, 1);
  b.SetPixel(0, 0, 0x00123456);
  b.SetPixel(1, 0, 0x80FFFFFF);
  b.SetPixel(2, 0, 0xFF000000);
  TfsShape::FillSilhouette(b, 0x40102030);
  EXPECT_EQ(b.GetPixel(0, 0), 0xFF102030u);
  EXPECT_EQ(b.GetPixel(1, 0), 0x40102030u);
  EXPECT_EQ(b.GetPixel(2, 0), 0x40102030u);
}

} // namespace

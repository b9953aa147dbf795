#include "raster/fsSampler.h"
#include "raster/fsSampler_avx2.h"
#include "raster/fsTransform.h"
#include "support/SeededRandom.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using testsupport::SeededRandom;

TFloatPoint Apply(const TfsAffineTransform &t, float x, float y) {
  TFloatPoint p;
  t.TransformPoint({x, y}, p);
  return p;
}

TEST(AffineTransform, StepsApplyAfterTheExistingOnes) {
  struct Case {
    const char *Name;
    void (*Build)(TfsAffineTransform &);
    TFloatPoint In, Out;
  };
  const std::vector<Case> cases = {
      {"identity", [](TfsAffineTransform &) {}, {3, 4}, {3, 4}},
      {"translate", [](TfsAffineTransform &t) { t.Translate(2, -1); }, {3, 4}, {5, 3}},
      {"scale then translate",
       [](TfsAffineTransform &t) {
         t.Scale(2, 3);
         t.Translate(1, 1);
       },
       {3, 4},
       {7, 13}},
      {"translate then scale",
       [](TfsAffineTransform &t) {
         t.Translate(1, 1);
         t.Scale(2, 3);
       },
       {3, 4},
       {8, 15}},
      // y points down: a positive angle turns clockwise on screen.
      {"quarter turn", [](TfsAffineTransform &t) { t.Rotate(0, 0, 90); }, {1, 0}, {0, 1}},
      {"quarter turn about a centre",
       [](TfsAffineTransform &t) { t.Rotate(10, 10, 90); },
       {11, 10},
       {10, 11}},
      {"inverse of a quarter turn",
       [](TfsAffineTransform &t) {
         t.Rotate(0, 0, 90);
         t.Invert();
       },
       {0, 1},
       {1, 0}},
      {"inverse of scale and move",
       [](TfsAffineTransform &t) {
         t.Scale(4, 2);
         t.Translate(8, 6);
         t.Invert();
       },
       {16, 10},
       {2, 2}},
  };
  for (const Case &c : cases) {
    TfsAffineTransform t;
    c.Build(t);
    const TFloatPoint p = Apply(t, c.In.X, c.In.Y);
    EXPECT_NEAR(p.X, c.Out.X, 1e-5) << c.Name;
    EXPECT_NEAR(p.Y, c.Out.Y, 1e-5) << c.Name;
  }
}

TEST(AffineTransform, SingularInverseIsReportedNotInfinite) {
  TfsAffineTransform t;
  t.Scale(0, 1);
  EXPECT_TRUE(t.IsSingular());
  t.Invert();
  const TFloatPoint p = Apply(t, 5, 5);
  EXPECT_TRUE(std::isfinite(p.X) && std::isfinite(p.Y));
  TfsAffineTransform u;
  u.Rotate(3, 4, 33);
  auto clone = u.Clone();
  TFloatPoint a = Apply(u, 7, 9), b;
  clone->TransformPoint({7, 9}, b);
  EXPECT_EQ(a, b);
  TFloatPoint pts[2] = {{7, 9}, {0, 0}};
  u.TransformPoints(pts, 2);
  EXPECT_EQ(pts[0], a);
}

// A 40 x 10 bar, its left 10 columns blue and the rest red.
void MakeBar(TBitmap32 &src) {
  src.SetSize(40, 10);
  src.FillAll(clRed32);
  src.FillBox(0, 0, 10, 10, clBlue32);
}

TEST(MapSampler, PlacesARotatedBar) {
  TBitmap32 src, dst;
  MakeBar(src);
  dst.SetSize(60, 60);
  TfsAffineTransform t;
  t.Rotate(0, 0, 90); // (x, y) -> (-y, x)
  t.Translate(30, 5); // the bar now spans x 20..30, y 5..45
  TfsMapSampler s;
  s.SetSource(&src);
  s.SetDestination(&dst);
  s.SetTransform(&t);
  s.Draw(FloatRect(0, 0, 40, 10));
  struct Probe {
    int X, Y;
    TColor32 C;
  };
  for (const Probe &p : {Probe{25, 8, clBlue32},
                         {25, 30, clRed32},
                         {22, 40, clRed32},
                         {25, 2, 0},
                         {25, 48, 0},
                         {17, 25, 0},
                         {33, 25, 0},
                         {5, 5, 0}})
    EXPECT_EQ(dst.GetPixel(p.X, p.Y), p.C) << p.X << "," << p.Y;
}

TEST(MapSampler, RotatedSquareStaysInsideItsOutline) {
  TBitmap32 src, dst;
  src.SetSize(20, 20);
  src.FillAll(clLime32);
  dst.SetSize(60, 60);
  TfsAffineTransform t;
  t.Rotate(10, 10, 30);
  t.Translate(20, 20); // the square's centre lands on (30, 30)
  TfsMapSampler s;
  s.SetSource(&src);
  s.SetDestination(&dst);
  s.SetTransform(&t);
  s.Draw(FloatRect(0, 0, 20, 20));
  const double c = std::cos(M_PI / 6), sn = std::sin(M_PI / 6);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 60; ++x) {
      // Back into the square's frame, centred.
      const double dx = x + 0.5 - 30, dy = y + 0.5 - 30;
      const double u = dx * c + dy * sn, v = -dx * sn + dy * c;
      const double m = std::max(std::abs(u), std::abs(v));
      if (m < 8) {
        ASSERT_EQ(dst.GetPixel(x, y), clLime32) << x << "," << y;
      } else if (m > 11) {
        ASSERT_EQ(dst.GetPixel(x, y), 0u) << x << "," << y;
      }
    }
}

TEST(MapSampler, MasterAlphaMergesAtHalfStrength) {
  TBitmap32 src, dst;
  src.SetSize(10, 10);
  src.FillAll(clRed32);
  src.SetMasterAlpha(128);
  dst.SetSize(12, 12);
  dst.FillAll(clBlue32);
  TfsAffineTransform t;
  TfsMapSampler s;
  s.SetSource(&src);
  s.SetDestination(&dst);
  s.SetTransform(&t);
  s.Draw(FloatRect(0, 0, 10, 10));
  EXPECT_EQ(dst.GetPixel(5, 5), ColorMergeScaled(clRed32, clBlue32, 128));
  EXPECT_EQ(dst.GetPixel(5, 5), ColorMerge(0x80FF0000, clBlue32));
  // Samples beyond the source's last pixel centre read its transparent
  // outer colour and change nothing.
  EXPECT_EQ(dst.GetPixel(10, 10), clBlue32);
  EXPECT_EQ(dst.GetPixel(11, 5), clBlue32);
}

TEST(MapSampler, OversamplingChoices) {
  TfsMapSampler s;
  EXPECT_EQ(s.SampleCount(), 4);
  const std::vector<TFloatPoint> two = {
      {-0.25f, -0.25f}, {0.25f, -0.25f}, {-0.25f, 0.25f}, {0.25f, 0.25f}};
  EXPECT_EQ(s.SampleOffsets(), two);
  for (int bad : {0, 7, -1}) {
    try {
      s.SetOversampling(bad);
      ADD_FAILURE() << bad;
    } catch (const ESamplerError &e) {
      EXPECT_STREQ(e.what(), "Illegal oversampling value");
    }
  }
  s.SetOversampling(1);
  EXPECT_EQ(s.SampleCount(), 1);
  EXPECT_TRUE(s.SampleOffsets().empty());
  s.SetOversampling(3);
  EXPECT_EQ(s.SampleCount(), 9);
}

// The bilinear read at (x, y) in 24.8, written out from its definition.
TColor32 Reference(const TBitmap32 &b, int64_t X, int64_t Y) {
  if (X <= 0 || Y <= 0 || X >= (b.Width() - 1) * 256 || Y >= (b.Height() - 1) * 256)
    return b.OuterColor();
  const int x = int(X >> 8), y = int(Y >> 8);
  const int wx = GammaWeights[255 - (X & 255)], wy = GammaWeights[255 - (Y & 255)];
  TColor32 r = 0;
  for (int sh = 0; sh < 32; sh += 8) {
    auto ch = [&](int px, int py) { return int((b.GetPixel(px, py) >> sh) & 255); };
    const int top = (ch(x + 1, y) * 256 + (ch(x, y) - ch(x + 1, y)) * wx) >> 8;
    const int bot = (ch(x + 1, y + 1) * 256 + (ch(x, y + 1) - ch(x + 1, y + 1)) * wx) >> 8;
    r |= TColor32((bot * 256 + (top - bot) * wy) >> 8) << sh;
  }
  return r;
}

TEST(MapSampler, SpansMatchPerPixelSampling) {
  TBitmap32 src;
  src.SetSize(64, 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      src.SetPixel(x, y, Color32(x * 4, y * 5, (x * y) & 255, 255 - x));
  TfsAffineTransform t;
  t.Scale(1.7, 1.3);
  t.Rotate(5, 5, 17);
  t.Translate(3.25, -2.5);
  TfsAffineTransform inv;
  inv.Assign(t);
  inv.Invert();
  for (int n : {1, 2, 3}) {
    TfsMapSampler s;
    s.SetOversampling(n);
    s.SetSource(&src);
    s.SetTransform(&t);
    const int count = 70;
    for (int y : {0, 20, 41}) {
      s.GetSpan(-4, y, count);
      const std::vector<TColor32> span(s.Span(), s.Span() + count);
      for (int i = 0; i < count; ++i) {
        // The mean of the n x n samples, each read where its own centre
        // maps to (the span may sit 1/256 pixel off, so a lane or two).
        int sums[4] = {0, 0, 0, 0};
        for (int j = 0; j < n; ++j)
          for (int k = 0; k < n; ++k) {
            const double ox = n == 1 ? 0 : (k + 0.5) / n - 0.5;
            const double oy = n == 1 ? 0 : (j + 0.5) / n - 0.5;
            double u, v;
            inv.Transform(-4 + i + 0.5 + ox, y + 0.5 + oy, u, v);
            const TColor32 c = Reference(src, std::llrint(u * 256), std::llrint(v * 256));
            for (int l = 0; l < 4; ++l)
              sums[l] += (c >> (8 * l)) & 255;
          }
        for (int l = 0; l < 4; ++l)
          ASSERT_NEAR(int((span[i] >> (8 * l)) & 255), sums[l] / (n * n), 2)
              << "n " << n << " y " << y << " i " << i << " lane " << l;
        // The ends are computed directly, so they match exactly.
        if (n == 1 && (i == 0 || i == count - 1)) {
          ASSERT_EQ(span[i],
                    TColor32(sums[0] | sums[1] << 8 | sums[2] << 16 | TColor32(sums[3]) << 24));
        }
      }
    }
  }
}

// Exactly the stepped lattice: for each sample offset the first and last
// centres of the span are transformed and rounded to 1/256, the difference
// spread over the steps (each q = total div (count - 1), the remainder
// handed out whole units at a time), every sample read from its definition,
// the n x n samples averaged per lane.
void ExpectSteppedLattice(TfsMapSampler &s, const TBitmap32 &src, const TfsAffineTransform &t,
                          int factor, int x0, int y, int count, const std::string &where) {
  TfsAffineTransform inv;
  inv.Assign(t);
  inv.Invert();
  s.GetSpan(x0, y, count);
  std::vector<int> sums(size_t(count) * 4, 0);
  for (int j = 0; j < factor; ++j)
    for (int i = 0; i < factor; ++i) {
      const double ox = factor == 1 ? 0 : double((i + 0.5f) / factor - 0.5f);
      const double oy = factor == 1 ? 0 : double((j + 0.5f) / factor - 0.5f);
      double u0, v0, u1, v1;
      inv.Transform(x0 + 0.5 + ox, y + 0.5 + oy, u0, v0);
      inv.Transform(x0 + count - 1 + 0.5 + ox, y + 0.5 + oy, u1, v1);
      const int64_t U0 = std::llrint(u0 * 256), V0 = std::llrint(v0 * 256);
      const int64_t steps = std::max(count - 1, 1);
      const int64_t du = std::llrint(u1 * 256) - U0, dv = std::llrint(v1 * 256) - V0;
      for (int p = 0; p < count; ++p) {
        const int64_t U =
            U0 + du / steps * p + (du < 0 ? -1 : 1) * (std::abs(du % steps) * p / steps);
        const int64_t V =
            V0 + dv / steps * p + (dv < 0 ? -1 : 1) * (std::abs(dv % steps) * p / steps);
        const TColor32 c = Reference(src, U, V);
        for (int l = 0; l < 4; ++l)
          sums[size_t(p) * 4 + l] += (c >> (8 * l)) & 255;
      }
    }
  for (int p = 0; p < count; ++p) {
    TColor32 expected = 0;
    for (int l = 0; l < 4; ++l)
      expected |= TColor32(sums[size_t(p) * 4 + l] / (factor * factor)) << (8 * l);
    ASSERT_EQ(s.Span()[p], expected) << where << " pixel " << p << " of " << count;
  }
}

// Turns the vector kernels off for its lifetime.
struct TPlainKernels {
  bool Saved = fsSamplerKernels::Avx2Allowed;
  TPlainKernels() { fsSamplerKernels::Avx2Allowed = false; }
  ~TPlainKernels() { fsSamplerKernels::Avx2Allowed = Saved; }
};

// Random sources, transforms and spans reaching past the source on any
// side, with the vector kernels and without.
TEST(MapSampler, SpansMatchTheSteppedLatticeExactly) {
  for (bool plain : {false, true}) {
    SCOPED_TRACE(plain ? "plain" : "vector");
    std::optional<TPlainKernels> kernels;
    if (plain)
      kernels.emplace();
    SeededRandom random(99);
    auto uniform = [&](double lo, double hi) {
      return lo + (hi - lo) * random.Below(100000) / 1e5;
    };
    for (int n = 0; n < 36; ++n) {
      TBitmap32 src;
      const int w = 2 + int(random.Below(60)), h = 2 + int(random.Below(50));
      src.SetSize(w, h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          src.SetPixel(x, y, random.Next() * 2654435761u);
      src.SetOuterColor(n % 3 == 0 ? 0 : 0x40FF8000);
      TfsAffineTransform t;
      t.Rotate(w / 2.0, h / 2.0, uniform(-180, 180));
      t.Scale(uniform(0.3, 3), uniform(0.3, 3));
      t.Translate(uniform(-20, 40), uniform(-20, 40));
      const int factor = 1 + n % 4;
      TfsMapSampler s;
      s.SetOversampling(factor);
      s.SetSource(&src);
      s.SetTransform(&t);
      for (int k = 0; k < 6; ++k) {
        const int x0 = int(random.Below(90)) - 30, y = int(random.Below(100)) - 20;
        const int count = k == 0 ? 1 : 1 + int(random.Below(150));
        ExpectSteppedLattice(s, src, t, factor, x0, y, count,
                             "case " + std::to_string(n) + " span " + std::to_string(k));
      }
    }
  }
}

// Unscaled, unturned maps (a cache drawn at its own resolution) read whole
// rows with one fraction: whole-pixel and fractional shifts, shifts a hair
// off whole, spans over every edge of the source, every oversampling.
TEST(MapSampler, ShiftedSpansMatchTheSteppedLatticeExactly) {
  for (bool plain : {false, true}) {
    SCOPED_TRACE(plain ? "plain" : "vector");
    std::optional<TPlainKernels> kernels;
    if (plain)
      kernels.emplace();
    SeededRandom random(1234);
    for (int n = 0; n < 48; ++n) {
      TBitmap32 src;
      const int w = 2 + int(random.Below(70)), h = 2 + int(random.Below(40));
      src.SetSize(w, h);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          src.SetPixel(x, y, random.Next() * 2654435761u);
      src.SetOuterColor(n % 2 == 0 ? 0 : 0x80FF00FF);
      const double whole[2] = {double(int(random.Below(60)) - 20),
                               double(int(random.Below(60)) - 20)};
      double shift[2];
      for (int a = 0; a < 2; ++a) {
        switch (n % 4) {
        case 0:
          shift[a] = whole[a];
          break;
        case 1:
          shift[a] = whole[a] + random.Below(256) / 256.0;
          break;
        case 2:
          shift[a] = whole[a] + (random.Below(2) ? 1e-9 : -1e-9);
          break;
        default:
          shift[a] = whole[a] + random.Below(100000) / 1e5;
          break;
        }
      }
      TfsAffineTransform t;
      t.Translate(shift[0], shift[1]);
      const int factor = 1 + n % 3;
      TfsMapSampler s;
      s.SetOversampling(factor);
      s.SetSource(&src);
      s.SetTransform(&t);
      for (int k = 0; k < 8; ++k) {
        const int x0 = int(random.Below(110)) - 30, y = int(random.Below(80)) - 25;
        const int count = k == 0 ? 1 : 1 + int(random.Below(140));
        ExpectSteppedLattice(s, src, t, factor, x0, y, count,
                             "case " + std::to_string(n) + " span " + std::to_string(k));
      }
    }
  }
}

// A source of uniform patches, as a shape's cache is: a background (at times
// transparent with some colour left in it), rectangles of colour, colours a
// bit apart from their neighbours, grid lines and single odd pixels.
void FillPatches(TBitmap32 &src, SeededRandom &random, int w, int h) {
  src.SetSize(w, h);
  const TColor32 ground = random.Below(2) ? random.Word() & 0x00FFFFFF : random.Word();
  src.FillAll(ground);
  for (int r = int(random.Below(6)); r > 0; --r) {
    const int x0 = int(random.Below(w)), y0 = int(random.Below(h));
    const int x1 = x0 + int(random.Below(w)), y1 = y0 + int(random.Below(h));
    const TColor32 c = random.Below(3) ? random.Word() : ground ^ (1u << random.Below(32));
    for (int y = y0; y < std::min(y1, h); ++y)
      for (int x = x0; x < std::min(x1, w); ++x)
        src.SetPixel(x, y, c);
  }
  // A grid whose cells hold squares of about the sizes the sampler looks
  // for, so that being one pixel out shows.
  if (random.Below(2)) {
    // Cells one short of, or just holding, the 4, 10 and 16 pixel squares
    // half the time.
    const int periods[] = {4, 5, 10, 11, 16, 17};
    const int period = random.Below(2) ? periods[random.Below(6)] : 4 + int(random.Below(15));
    const TColor32 line = random.Word();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (x % period == 0 || y % period == 0)
          src.SetPixel(x, y, line);
  }
  for (int k = int(random.Below(8)); k > 0; --k)
    src.SetPixel(int(random.Below(w)), int(random.Below(h)), random.Word());
}

// Turned and scaled draws with four samples a pixel, where the vector path
// tells uniform areas apart before sampling and steps in 32 bits (or, far
// out, in 64), against the plain path: the pictures equal bit for bit.
TEST(MapSampler, QuadDrawsMatchThePlainPathExactly) {
  struct Case {
    const char *Name;
    double MinScale, MaxScale;
    bool QuarterTurns;
  };
  const std::vector<Case> cases = {
      {"near the source's scale", 0.7, 1.5, false},
      {"a little shrunk", 0.5, 0.7, false},
      // Runs of pixels reaching across the whole of the squares tried.
      {"halved and turned square", 0.5, 0.52, true},
      {"magnified", 1.5, 6, false},
      {"shrunk", 0.2, 0.7, false},
      // Source positions beyond the 32-bit stepping.
      {"shrunk far", 1e-6, 1e-5, false},
  };
  SeededRandom random(77);
  for (const Case &c : cases)
    for (int n = 0; n < 60; ++n) {
      const int w = 2 + int(random.Below(150)), h = 2 + int(random.Below(70));
      TBitmap32 src;
      FillPatches(src, random, w, h);
      src.SetOuterColor(n % 3 == 0 ? 0x60FF8000 : random.Word() & 0x00FFFFFF);
      src.SetMasterAlpha(n % 4 == 0 ? random.Below(256) : 255);
      TfsAffineTransform t;
      t.Rotate(w / 2.0, h / 2.0,
               c.QuarterTurns || n % 5 == 0 ? 90.0 * random.Below(4) : random.Below(36000) / 100.0);
      const double scale = c.MinScale + (c.MaxScale - c.MinScale) * random.Below(1000) / 1000.0;
      t.Scale(scale, scale * (n % 2 ? 1 : 0.8 + random.Below(400) / 1000.0));
      t.Translate(random.Between(-20, 60), random.Between(-20, 60));
      TBitmap32 vector, plain;
      vector.SetSize(96, 90);
      for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 96; ++x)
          vector.SetPixel(x, y, n % 2 ? random.Word() | 0xFF000000 : random.Word());
      plain.Assign(vector);
      for (TBitmap32 *dst : {&vector, &plain}) {
        std::optional<TPlainKernels> kernels;
        if (dst == &plain)
          kernels.emplace();
        TfsMapSampler s;
        s.SetSource(&src);
        s.SetDestination(dst);
        s.SetTransform(&t);
        s.Draw(FloatRect(0, 0, float(w), float(h)));
      }
      for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 96; ++x)
          ASSERT_EQ(vector.GetPixel(x, y), plain.GetPixel(x, y))
              << c.Name << " case " << n << " at " << x << "," << y;
    }
}

// Draw is the merge of whole spans over the image's bounding box, however it
// saves work on the pixels outside the source.
TEST(MapSampler, DrawMergesTheBoundingBoxSpans) {
  struct Case {
    const char *Name;
    double Angle, Scale, Dx, Dy;
    TColor32 Outer;
    int Oversampling;
  };
  const std::vector<Case> cases = {
      {"rotated", 30, 1, 20, -5, 0, 2},
      {"magnified", -13, 7.3, -40, -30, 0, 2},
      {"shrunk", 71, 0.13, 30, 30, 0, 3},
      {"steep", 89.9, 1.1, 60, 0, 0, 1},
      {"opaque outside", 30, 1, 20, -5, 0xFF00FF00, 2},
      {"translucent outside", 200, 0.8, 60, 70, 0x40FF0000, 2},
  };
  TBitmap32 src;
  src.SetSize(37, 29);
  SeededRandom random(5);
  for (int y = 0; y < 29; ++y)
    for (int x = 0; x < 37; ++x)
      src.SetPixel(x, y, random.Word());
  for (const Case &c : cases) {
    src.SetOuterColor(c.Outer);
    TfsAffineTransform t;
    t.Rotate(18, 14, c.Angle);
    t.Scale(c.Scale, c.Scale);
    t.Translate(c.Dx, c.Dy);
    TBitmap32 drawn, merged;
    drawn.SetSize(80, 70);
    drawn.FillAll(0xFF808080);
    merged.Assign(drawn);
    TfsMapSampler s;
    s.SetOversampling(c.Oversampling);
    s.SetSource(&src);
    s.SetDestination(&drawn);
    s.SetTransform(&t);
    s.Draw(FloatRect(0, 0, 37, 29));
    float minX = 1e9f, minY = 1e9f, maxX = -1e9f, maxY = -1e9f;
    for (TFloatPoint p :
         {FloatPoint(0, 0), FloatPoint(37, 0), FloatPoint(37, 29), FloatPoint(0, 29)}) {
      t.TransformPoint(p, p);
      minX = std::min(minX, p.X), maxX = std::max(maxX, p.X);
      minY = std::min(minY, p.Y), maxY = std::max(maxY, p.Y);
    }
    const int x0 = std::max(0, int(std::floor(minX))), x1 = std::min(79, int(std::ceil(maxX)));
    const int y0 = std::max(0, int(std::floor(minY))), y1 = std::min(69, int(std::ceil(maxY)));
    for (int y = y0; y <= y1 && x0 <= x1; ++y) {
      s.GetSpan(x0, y, x1 - x0 + 1);
      ColorMergeSpan(s.Span(), merged.PixelPtr(x0, y), x1 - x0 + 1);
    }
    for (int y = 0; y < 70; ++y)
      for (int x = 0; x < 80; ++x)
        ASSERT_EQ(drawn.GetPixel(x, y), merged.GetPixel(x, y)) << c.Name << " " << x << "," << y;
  }
}

TEST(MapSampler, DrawsNothingWithoutWhatItNeedsOrOffThePage) {
  TBitmap32 src, dst;
  src.SetSize(10, 10);
  src.FillAll(clRed32);
  dst.SetSize(20, 20);
  TfsAffineTransform far, flat, nan, ok;
  far.Translate(1e9, -1e9);
  flat.Scale(0, 1);
  nan.Translate(std::nan(""), 0);
  for (const TfsAffineTransform *t : {&far, &flat, &nan}) {
    SCOPED_TRACE(t == &far ? "far" : t == &flat ? "flat" : "nan");
    TfsMapSampler s;
    s.SetSource(&src);
    s.SetDestination(&dst);
    s.SetTransform(t);
    s.Draw(FloatRect(0, 0, 10, 10));
  }
  TfsMapSampler none;
  none.SetDestination(&dst);
  none.SetTransform(&ok);
  none.Draw(FloatRect(0, 0, 10, 10));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x)
      ASSERT_EQ(dst.GetPixel(x, y), 0u);
  // A clip box limits the drawing.
  dst.SetClipBox(Rect(4, 4, 6, 6));
  TfsMapSampler s;
  s.SetSource(&src);
  s.SetDestination(&dst);
  s.SetTransform(&ok);
  s.Draw(FloatRect(0, 0, 10, 10));
  int touched = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x)
      touched += dst.GetPixel(x, y) != 0;
  EXPECT_EQ(touched, 4);
}

} // namespace

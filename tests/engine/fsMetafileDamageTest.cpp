// Damaged metafiles: cut anywhere, sizes and counts that lie. The picture
// plays what came before the damage, skips records whose contents do not
// fit, and never reads or writes outside its data and bitmap.
#include "engine/fsMetafilePlayer.h"

#include "engine/MetafileBuilder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace mftest;

namespace {

constexpr TColor32 Paper = clWhite32;

std::vector<TColor32> PlayPixels(const std::string &bytes) {
  TfsMetafile mf;
  mf.LoadFromBytes(bytes);
  TBitmap32 b;
  b.SetSize(60, 60);
  b.FillAll(Paper);
  TfsMetafilePlayer(mf, b, Rect(0, 0, 60, 60), b.BoundsRect()).Play();
  return std::vector<TColor32>(b.Bits(), b.Bits() + b.PixelCount());
}

TParams Brush(uint32_t ih, uint32_t rgb) {
  return TParams().U32(ih).U32(0).U32(Ref(rgb)).U32(0);
}

// A picture of several records; Prefix(k) is the same picture with only its
// first k records.
struct TEmfFixture {
  std::vector<std::pair<uint32_t, TParams>> Records;
  TEmfFixture() {
    Records.push_back({emr::CreateBrushIndirect, Brush(1, 0xFF0000)});
    Records.push_back({emr::SelectObject, TParams().U32(1)});
    Records.push_back({emr::Rectangle, TParams().RectL(5, 5, 25, 25)});
    Records.push_back({emr::CreateBrushIndirect, Brush(2, 0x00FF00)});
    Records.push_back({emr::SelectObject, TParams().U32(2)});
    Records.push_back({emr::Ellipse, TParams().RectL(30, 5, 55, 30)});
    Records.push_back({emr::IntersectClipRect, TParams().RectL(0, 30, 60, 60)});
    Records.push_back(
        {emr::Polygon16,
         TParams().RectL(0, 0, 0, 0).U32(3).I16(5).I16(55).I16(30).I16(35).I16(55).I16(55)});
  }
  TEmfBuilder Prefix(size_t k) const {
    TEmfBuilder b(Rect(0, 0, 600, 600));
    for (size_t i = 0; i < k; ++i)
      b.Add(Records[i].first, Records[i].second);
    return b;
  }
};

TEST(MetafileDamage, EmfCutAnywherePlaysTheWholeRecordsBeforeTheCut) {
  const TEmfFixture f;
  const TEmfBuilder full = f.Prefix(f.Records.size());
  const std::string bytes = full.Bytes();
  const std::vector<size_t> starts = full.RecordStarts();
  std::vector<std::vector<TColor32>> prefixes;
  for (size_t k = 0; k <= f.Records.size(); ++k)
    prefixes.push_back(PlayPixels(f.Prefix(k).Bytes(false)));
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    const std::string part = bytes.substr(0, cut);
    if (cut < 88) {
      TfsMetafile mf;
      EXPECT_THROW(mf.LoadFromBytes(part), EMetafileError);
      continue;
    }
    // starts[0] is the header; records 1..n are the fixture's.
    size_t whole = 0;
    for (size_t r = 1; r + 1 < starts.size(); ++r)
      if (starts[r + 1] <= cut)
        whole = r;
    ASSERT_EQ(PlayPixels(part), prefixes[whole]);
  }
  // The full picture draws all three shapes.
  const std::vector<TColor32> all = PlayPixels(bytes);
  EXPECT_EQ(all[10 * 60 + 10], clRed32);
  EXPECT_EQ(all[15 * 60 + 42], clLime32);
  EXPECT_EQ(all[50 * 60 + 30], clLime32);
}

TEST(MetafileDamage, WmfCutAnywherePlaysTheWholeRecordsBeforeTheCut) {
  std::vector<std::pair<uint16_t, TParams>> records = {
      {meta::CreateBrushIndirect, TParams().U16(0).U32(Ref(0xFF0000)).U16(0)},
      {meta::SelectObject, TParams().U16(0)},
      {meta::Rectangle, TParams().I16(250).I16(250).I16(50).I16(50)},
      {meta::Polygon, TParams().I16(3).I16(300).I16(300).I16(550).I16(300).I16(550).I16(550)},
      {meta::Ellipse, TParams().I16(250).I16(550).I16(50).I16(300)},
  };
  auto prefix = [&](size_t k) {
    TWmfBuilder w(Rect(0, 0, 600, 600), 1000);
    for (size_t i = 0; i < k; ++i)
      w.Add(records[i].first, records[i].second);
    return w;
  };
  const TWmfBuilder full = prefix(records.size());
  const std::string bytes = full.Bytes();
  const std::vector<size_t> starts = full.RecordStarts();
  std::vector<std::vector<TColor32>> prefixes;
  for (size_t k = 0; k <= records.size(); ++k)
    prefixes.push_back(PlayPixels(prefix(k).Bytes(false)));
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    SCOPED_TRACE(cut);
    const std::string part = bytes.substr(0, cut);
    if (cut < 22 + 18) {
      TfsMetafile mf;
      EXPECT_THROW(mf.LoadFromBytes(part), EMetafileError);
      continue;
    }
    size_t whole = 0;
    for (size_t r = 0; r < records.size(); ++r)
      if (starts[r + 1] <= cut)
        whole = r + 1;
    ASSERT_EQ(PlayPixels(part), prefixes[whole]);
  }
}

// One lying record between two good ones: the lie is skipped, both good
// rectangles are drawn, nothing else is.
TEST(MetafileDamage, RecordsWhoseCountsOrOffsetsDoNotFitAreSkipped) {
  auto dibRecord = [](uint32_t offBmi, uint32_t cbBmi, uint32_t offBits, uint32_t cbBits,
                      int32_t width, int32_t height) {
    TParams p;
    p.RectL(0, 0, 0, 0).I32(0).I32(0).I32(0).I32(0).I32(2).I32(2);
    p.U32(offBmi).U32(cbBmi).U32(offBits).U32(cbBits).U32(0).U32(0x00CC0020).I32(50).I32(50);
    p.U32(40).I32(width).I32(height).U16(1).U16(24).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);
    p.Bytes(std::string(16, '\x7F'));
    return p;
  };
  struct TCase {
    const char *Name;
    uint32_t Type;
    TParams Params;
  };
  const TCase cases[] = {
      {"polygon count past the record", emr::Polygon,
       TParams().RectL(0, 0, 0, 0).U32(0x40000000).I32(0).I32(0).I32(50).I32(50)},
      {"polygon count wraps 32 bits", emr::Polygon16,
       TParams().RectL(0, 0, 0, 0).U32(0xFFFFFFFF).I16(0).I16(0)},
      {"poly-polygon count list past the record", emr::PolyPolygon,
       TParams().RectL(0, 0, 0, 0).U32(0x20000000).U32(3).U32(3)},
      {"poly-polygon total past the record", emr::PolyPolygon16,
       TParams().RectL(0, 0, 0, 0).U32(1).U32(0x10000000).U32(0x10000000).I16(0).I16(0)},
      {"text characters past the record", emr::ExtTextOutW,
       TParams()
           .RectL(0, 0, 0, 0)
           .U32(1)
           .F32(1)
           .F32(1)
           .I32(0)
           .I32(0)
           .U32(0x7FFFFFFF)
           .U32(76)
           .U32(0)
           .RectL(0, 0, 0, 0)
           .U32(0)},
      {"text string before the record", emr::ExtTextOutW,
       TParams()
           .RectL(0, 0, 0, 0)
           .U32(1)
           .F32(1)
           .F32(1)
           .I32(0)
           .I32(0)
           .U32(2)
           .U32(2)
           .U32(0)
           .RectL(0, 0, 0, 0)
           .U32(0)},
      {"bitmap header offset past the record", emr::StretchDiBits,
       dibRecord(0x7FFFFFF0, 40, 120, 16, 2, 2)},
      {"bitmap bits shorter than the picture", emr::StretchDiBits,
       dibRecord(80, 40, 120, 16, 20000, 20000)},
      {"bitmap bits size past the record", emr::StretchDiBits,
       dibRecord(80, 40, 120, 0xFFFFFFF0, 2, 2)},
      {"bitmap of no width", emr::StretchDiBits, dibRecord(80, 40, 120, 16, 0, 2)},
      {"region count past the record", emr::ExtSelectClipRgn,
       TParams()
           .U32(48)
           .U32(5)
           .U32(32)
           .U32(1)
           .U32(0x10000000)
           .U32(0)
           .RectL(0, 0, 1, 1)
           .RectL(0, 0, 1, 1)},
      {"region size past the record", emr::ExtSelectClipRgn,
       TParams().U32(0x7FFFFFFF).U32(1).U32(32).U32(1).U32(0).U32(0)},
      {"pen dash list past the record", emr::ExtCreatePen,
       TParams().U32(3).U32(0).U32(0).U32(0).U32(0).U32(0x10007).U32(4).U32(0).U32(0).U32(0).U32(
           0x7FFFFFFF)},
      {"pattern bitmap offsets past the record", emr::CreateDibPatternBrushPt,
       TParams().U32(3).U32(0).U32(0xFFFFFFF0).U32(40).U32(8).U32(4)},
      {"empty rectangle record", emr::Rectangle, TParams()},
      {"world transform not a number", emr::SetWorldTransform,
       TParams().U32(0x7FC00000).F32(0).F32(0).F32(1).F32(0).F32(0)},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TEmfBuilder b(Rect(0, 0, 600, 600));
    b.Add(emr::CreateBrushIndirect, Brush(1, 0xFF0000));
    b.Add(emr::SelectObject, TParams().U32(1));
    b.Add(emr::SelectObject, TParams().U32(0x80000008));
    b.Add(emr::Rectangle, TParams().RectL(5, 5, 15, 15));
    b.Add(c.Type, c.Params);
    b.Add(emr::Rectangle, TParams().RectL(40, 40, 50, 50));
    const std::vector<TColor32> px = PlayPixels(b.Bytes());
    size_t red = 0, other = 0;
    for (TColor32 p : px)
      red += p == clRed32, other += p != clRed32 && p != Paper;
    EXPECT_EQ(red, 200u);
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(px[10 * 60 + 10], clRed32);
    EXPECT_EQ(px[45 * 60 + 45], clRed32);
  }
}

TEST(MetafileDamage, WmfRecordsWhoseCountsDoNotFitAreSkipped) {
  const std::pair<const char *, std::pair<uint16_t, TParams>> cases[] = {
      {"polygon count past the record", {meta::Polygon, TParams().I16(0x7FFF).I16(0).I16(0)}},
      {"negative polygon count", {meta::Polyline, TParams().I16(-3).I16(0).I16(0)}},
      {"poly-polygon counts past the record",
       {meta::PolyPolygon, TParams().U16(2).U16(0xFFFF).U16(0xFFFF).I16(0).I16(0)}},
      {"text longer than the record", {meta::TextOut, TParams().I16(0x7FFF).Bytes("ab")}},
      {"extended text longer than the record",
       {meta::ExtTextOut, TParams().I16(0).I16(0).I16(0x7FFF).U16(0).Bytes("ab")}},
      {"bitmap header cut",
       {meta::StretchDib, TParams()
                              .U32(0x00CC0020)
                              .U16(0)
                              .I16(2)
                              .I16(2)
                              .I16(0)
                              .I16(0)
                              .I16(10)
                              .I16(10)
                              .I16(0)
                              .I16(0)
                              .U32(40)}},
      {"select of a slot past the table", {meta::SelectObject, TParams().U16(0xFFFF)}},
      {"delete of a slot past the table", {meta::DeleteObject, TParams().U16(0xFFFF)}},
  };
  for (const auto &[name, record] : cases) {
    SCOPED_TRACE(name);
    TWmfBuilder w(Rect(0, 0, 600, 600), 1000, 2);
    w.Add(meta::CreateBrushIndirect, TParams().U16(0).U32(Ref(0xFF0000)).U16(0));
    w.Add(meta::SelectObject, TParams().U16(0));
    w.Add(meta::CreatePenIndirect, TParams().U16(5).I16(0).I16(0).U32(0));
    w.Add(meta::SelectObject, TParams().U16(1));
    w.Add(meta::Rectangle, TParams().I16(150).I16(150).I16(50).I16(50));
    w.Add(record.first, record.second);
    w.Add(meta::Rectangle, TParams().I16(500).I16(500).I16(400).I16(400));
    const std::vector<TColor32> px = PlayPixels(w.Bytes());
    size_t red = 0, other = 0;
    for (TColor32 p : px)
      red += p == clRed32, other += p != clRed32 && p != Paper;
    EXPECT_EQ(red, 200u);
    EXPECT_EQ(other, 0u);
  }
}

TEST(MetafileDamage, ExtremeGeometryStaysInsideTheBitmap) {
  TEmfBuilder b(Rect(0, 0, 600, 600));
  b.Add(emr::CreateBrushIndirect, Brush(1, 0xFF0000));
  b.Add(emr::SelectObject, TParams().U32(1));
  b.Add(emr::CreatePen, TParams().U32(2).U32(1).I32(0x7FFFFFFF).I32(0).U32(0));
  b.Add(emr::SelectObject, TParams().U32(2));
  for (int i = 0; i < 5000; ++i) // deeper than any picture saves
    b.Add(emr::SaveDc);
  b.Add(emr::SetWorldTransform, TParams().F32(1e30f).F32(0).F32(0).F32(1e30f).F32(0).F32(0));
  b.Add(emr::Ellipse, TParams().RectL(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX));
  b.Add(emr::RestoreDc, TParams().I32(-1));
  b.Add(emr::MoveToEx, TParams().I32(INT32_MIN).I32(0));
  b.Add(emr::LineTo, TParams().I32(INT32_MAX).I32(30)); // a dashed line of 4e9 units
  b.Add(emr::Arc, TParams().RectL(0, 0, 0, 0).I32(0).I32(0).I32(0).I32(0));
  b.Add(emr::RoundRect, TParams().RectL(10, 10, 50, 50).I32(INT32_MIN).I32(INT32_MAX));
  TfsMetafile mf;
  mf.LoadFromBytes(b.Bytes());
  TBitmap32 bmp;
  bmp.SetSize(80, 80);
  bmp.FillAll(0x5A5A5A5A);
  TfsMetafilePlayer(mf, bmp, Rect(10, 10, 70, 70), Rect(10, 10, 70, 70)).Play();
  bool inkInside = false;
  for (int32_t y = 0; y < 80; ++y)
    for (int32_t x = 0; x < 80; ++x) {
      const bool inside = x >= 10 && x < 70 && y >= 10 && y < 70;
      if (!inside)
        ASSERT_EQ(bmp.GetPixel(x, y), 0x5A5A5A5Au) << x << "," << y;
      else
        inkInside |= bmp.GetPixel(x, y) != 0x5A5A5A5Au;
    }
  EXPECT_TRUE(inkInside);
}

} // namespace

#include "shapes/fsExposedMetafile.h"

#include "engine/MetafileBuilder.h"
#include "persist/fsPlainXml.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

using namespace mftest;

constexpr TColor32 White = 0xFFFFFFFF;
constexpr TColor32 Red = 0xFFFF0000;
constexpr TColor32 Green = 0xFF00FF00;
constexpr TColor32 Blue = 0xFF0000FF;
constexpr TColor32 Lime = 0xFF00FF00;

TParams Pen(uint32_t ih, int32_t width, uint32_t rgb) {
  return TParams().U32(ih).U32(0).I32(width).I32(0).U32(Ref(rgb));
}

// 10 x 10 mm, 100 x 100 logical units: a red line at y 20, a green one at
// y 60, each 4 units wide, and a rectangle filled red with a black edge.
std::string Picture() {
  TEmfBuilder b;
  b.Add(emr::CreatePen, Pen(1, 4, 0xFF0000));
  b.Add(emr::SelectObject, TParams().U32(1));
  b.Add(emr::MoveToEx, TParams().I32(10).I32(20));
  b.Add(emr::LineTo, TParams().I32(90).I32(20));
  b.Add(emr::CreatePen, Pen(2, 4, 0x00FF00));
  b.Add(emr::SelectObject, TParams().U32(2));
  b.Add(emr::MoveToEx, TParams().I32(10).I32(60));
  b.Add(emr::LineTo, TParams().I32(90).I32(60));
  b.Add(emr::CreateBrushIndirect, TParams().U32(3).U32(0).U32(Ref(0xFF0000)).U32(0));
  b.Add(emr::SelectObject, TParams().U32(3));
  b.Add(emr::CreatePen, Pen(4, 1, 0x000000));
  b.Add(emr::SelectObject, TParams().U32(4));
  b.Add(emr::Rectangle, TParams().RectL(20, 75, 80, 95));
  return b.Bytes();
}

std::string WritePicture(const testsupport::TempDir &dir, const std::string &bytes) {
  const std::string file = (dir / "picture.emf").string();
  testsupport::WriteFileBytes(file, bytes);
  return file;
}

std::unique_ptr<TBitmap32> Render(TfsShape &shape) {
  auto page = std::make_unique<TBitmap32>();
  page->SetSize(100, 100);
  page->FillAll(White);
  TDeviceContext context;
  context.DestDpm = context.CacheDpm = 10;
  TfsShape::RenderShape(shape, *page, FloatRect(0, 0, 10, 10), context, false);
  return page;
}

bool SamePixels(const TBitmap32 &a, const TBitmap32 &b) {
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.GetPixel(x, y) != b.GetPixel(x, y))
        return false;
  return true;
}

// How many pixels of column x in rows from..to have colour c.
int ColumnRun(const TBitmap32 &b, int x, int from, int to, TColor32 c) {
  int n = 0;
  for (int y = from; y <= to; ++y)
    n += b.GetPixel(x, y) == c;
  return n;
}

class ExposedMetafile : public ::testing::Test {
protected:
  testsupport::TempDir Dir;
  TfsExposedMetafile Shape;
  void Load() {
    Shape.SetBounds(0, 0, 10, 10);
    Shape.Picture().LoadFromFile(WritePicture(Dir, Picture()));
  }
};

TEST_F(ExposedMetafile, ANewPictureSizesAZeroSizedShapeAt150Dpi) {
  // 20 x 10 mm: 76 x 38 pixels at the screen's 96 dots per inch.
  TEmfBuilder b(Rect(0, 0, 2000, 1000));
  Shape.Picture().LoadFromFile(WritePicture(Dir, b.Bytes()));
  EXPECT_NEAR(Shape.DocWidth(), 76 / 5.9055118, 1e-4);
  EXPECT_NEAR(Shape.DocHeight(), 38 / 5.9055118, 1e-4);
  EXPECT_TRUE(Shape.PreserveAspect());
  EXPECT_NEAR(Shape.AspectRatio(), 2, 1e-6);

  TfsExposedMetafile sized;
  sized.SetBounds(1, 2, 30, 20);
  sized.Picture().LoadFromFile(WritePicture(Dir, b.Bytes()));
  EXPECT_FLOAT_EQ(sized.DocWidth(), 30);
  EXPECT_FLOAT_EQ(sized.DocHeight(), 20);
  EXPECT_FALSE(sized.PreserveAspect());
}

TEST_F(ExposedMetafile, WithoutAPictureNothingIsPainted) {
  Shape.SetBounds(0, 0, 10, 10);
  const auto page = Render(Shape);
  EXPECT_EQ(Shape.Metafile(), nullptr);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
      ASSERT_EQ(page->GetPixel(x, y), White);
}

TEST_F(ExposedMetafile, TheOverridePenDrawsEveryLine) {
  Load();
  const auto own = Render(Shape);
  EXPECT_EQ(own->GetPixel(50, 20), Red);
  EXPECT_EQ(own->GetPixel(50, 60), Green);
  EXPECT_LE(ColumnRun(*own, 50, 10, 30, Red), 4);

  Shape.SetPen(TfsPen{0xFF0000, 4, 0, 7}); // blue, 7 units
  Shape.SetOverridePen(true);
  const auto page = Render(Shape);
  // Above the red rectangle no pixel keeps a pen colour of the picture.
  for (int y = 0; y < 72; ++y)
    for (int x = 0; x < 100; ++x) {
      ASSERT_NE(page->GetPixel(x, y), Red) << x << "," << y;
      ASSERT_NE(page->GetPixel(x, y), Green) << x << "," << y;
    }
  EXPECT_GE(ColumnRun(*page, 50, 10, 30, Blue), 6) << "the shape's width";
  EXPECT_GE(ColumnRun(*page, 50, 50, 70, Blue), 6);
  EXPECT_EQ(page->GetPixel(50, 85), Red) << "the picture's brush still fills";
  EXPECT_EQ(page->GetPixel(50, 75), Blue) << "the rectangle's edge";
}

TEST_F(ExposedMetafile, TheOverrideBrushFillsByItsStyle) {
  Load();
  struct TCase {
    int32_t Style;
    TColor32 Inside;
  };
  const TCase cases[] = {{0, Lime}, {1, White}};
  for (const TCase &c : cases) {
    Shape.SetBrush(TfsBrush{0x00FF00, c.Style});
    Shape.SetOverrideBrush(true);
    const auto page = Render(Shape);
    EXPECT_EQ(page->GetPixel(50, 85), c.Inside) << c.Style;
    EXPECT_EQ(page->GetPixel(50, 20), Red) << "the pens stay the picture's";
  }
}

TEST_F(ExposedMetafile, TurningTheOverridesOffRestoresThePictureExactly) {
  Load();
  const auto before = Render(Shape);
  Shape.SetPen(TfsPen{0xFF0000, 4, 0, 3});
  Shape.SetBrush(TfsBrush{0x00FF00, 0});
  Shape.SetOverridePen(true);
  Shape.SetOverrideBrush(true);
  const auto overridden = Render(Shape);
  EXPECT_FALSE(SamePixels(*before, *overridden));
  Shape.SetOverridePen(false);
  Shape.SetOverrideBrush(false);
  const auto after = Render(Shape);
  EXPECT_TRUE(SamePixels(*before, *after));
}

TEST_F(ExposedMetafile, PenAndBrushAreSavedOnlyWhileTheyOverride) {
  Load();
  Shape.SetBrush(TfsBrush{0x00FF00, 3});
  TPlainXml xml("shape");
  Shape.SaveToXml(*xml.Root());
  const TXmlNode &n = *xml.Root();
  ASSERT_NE(n.FindChild("Image"), nullptr);
  EXPECT_EQ(n.FindChild("Image")->LoadString("ClassName", ""), "TfsResource");
  for (const char *absent : {"Pen", "Brush", "BrushBitmap", "OverridePen", "OverrideBrush"})
    EXPECT_EQ(n.FindChild(absent), nullptr) << absent;

  // Loading such a file leaves the brush as it was.
  TfsExposedMetafile other;
  other.SetBrush(TfsBrush{0x123456, 6});
  other.LoadFromXml(xml.Root());
  EXPECT_EQ(other.Brush(), (TfsBrush{0x123456, 6}));
  EXPECT_EQ(other.Picture().Data().Bytes(), Picture()) << "the bytes travel unchanged";
  const auto page = Render(other);
  EXPECT_EQ(page->GetPixel(50, 20), Red);
}

TEST_F(ExposedMetafile, OverridesRoundTripWithThePatternBitmap) {
  Load();
  TBitmap32 pattern;
  pattern.SetSize(8, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      pattern.SetPixel(x, y, (x + y) % 2 ? Blue : Green);
  Shape.SetPen(TfsPen{0x0000FF, 4, 2, 3});
  Shape.SetBrush(TfsBrush{0x00FFFF, 4});
  Shape.SetBrushBitmap(&pattern);
  Shape.SetOverridePen(true);
  Shape.SetOverrideBrush(true);
  TPlainXml xml("shape");
  Shape.SaveToXml(*xml.Root());
  EXPECT_NE(xml.Root()->FindChild("BrushBitmap"), nullptr);

  TfsExposedMetafile copy;
  copy.LoadFromXml(xml.Root());
  EXPECT_TRUE(copy.OverridePen());
  EXPECT_TRUE(copy.OverrideBrush());
  EXPECT_EQ(copy.Pen(), Shape.Pen());
  EXPECT_EQ(copy.Brush(), Shape.Brush());
  ASSERT_NE(copy.BrushBitmap(), nullptr);
  ASSERT_EQ(copy.BrushBitmap()->Width(), 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(copy.BrushBitmap()->GetPixel(x, y) & 0xFFFFFF, pattern.GetPixel(x, y) & 0xFFFFFF);
  copy.SetBounds(0, 0, 10, 10);
  EXPECT_TRUE(SamePixels(*Render(copy), *Render(Shape)));

  // Without the element the brush has no pattern.
  xml.Root()->DeleteChild(xml.Root()->IndexOfChild("BrushBitmap"));
  copy.LoadFromXml(xml.Root());
  EXPECT_EQ(copy.BrushBitmap(), nullptr);
}

} // namespace

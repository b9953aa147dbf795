#include "shapes/fsBitmapShape.h"

#include "engine/FakeShapeDocument.h"
#include "persist/fsImageFormats.h"
#include "persist/fsPlainXml.h"
#include "shapes/fsPolygonShape.h"
#include "shapes/fsStandardShapes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

using enginetest::FakeShapeDocument;

constexpr float Dpm = 10; // pixels per mm of the test pages
constexpr TColor32 White = 0xFFFFFFFF;
constexpr TColor32 Red = 0xFFFF0000;
constexpr TColor32 Blue = 0xFF0000FF;
constexpr TColor32 Green = 0xFF00FF00;
constexpr TColor32 Yellow = 0xFFFFFF00;

// A picture of four quadrants: red, blue above; green, yellow below.
std::unique_ptr<TBitmap32> Quadrants(int32_t w, int32_t h) {
  auto b = std::make_unique<TBitmap32>();
  b->SetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      b->SetPixel(x, y, y < h / 2 ? (x < w / 2 ? Red : Blue) : (x < w / 2 ? Green : Yellow));
  return b;
}

// A white page of w x h mm with the shape rendered onto it.
std::unique_ptr<TBitmap32> Render(TfsShape &shape, float w, float h,
                                  TStretchFilter filter = sfNearest) {
  auto page = std::make_unique<TBitmap32>();
  page->SetSize(int32_t(w * Dpm), int32_t(h * Dpm));
  page->FillAll(White);
  TDeviceContext context;
  context.DestDpm = context.CacheDpm = Dpm;
  context.StretchFilter = filter;
  TfsShape::RenderShape(shape, *page, FloatRect(0, 0, w, h), context, false);
  return page;
}

std::string WritePicture(const testsupport::TempDir &dir, const std::string &name,
                         const std::unique_ptr<TBitmap32> &bitmap) {
  const std::string file = (dir / name).string();
  SaveBitmapToFile(file, *bitmap);
  return file;
}

// ---- sizing from a new picture ---------------------------------------------------------

TEST(BitmapShape, APictureFromAFileSizesTheBoxAt150DpiWithItsAspectLocked) {
  struct TCase {
    int32_t W, H;
    float MmW, MmH;
  };
  const TCase cases[] = {{1500, 1000, 254.0f, 169.33f}, {59, 118, 9.99f, 19.98f}};
  testsupport::TempDir dir;
  for (const TCase &c : cases) {
    TfsBitmapShape shape;
    shape.SetBounds(5, 6, 40, 30);
    shape.Image().LoadFromFile(WritePicture(dir, "p.bmp", Quadrants(c.W, c.H)));
    EXPECT_NEAR(shape.DocWidth(), c.MmW, 0.01) << c.W;
    EXPECT_NEAR(shape.DocHeight(), c.MmH, 0.01) << c.H;
    EXPECT_FLOAT_EQ(shape.DocLeft(), 5);
    EXPECT_TRUE(shape.PreserveAspect());
    EXPECT_NEAR(shape.AspectRatio(), float(c.W) / float(c.H), 1e-4);
  }
}

TEST(BitmapShape, APictureSetInMemoryLeavesTheBoxAsItIs) {
  TfsBitmapShape shape;
  shape.SetBounds(0, 0, 40, 30);
  const auto picture = Quadrants(300, 100);
  shape.Image().SetBitmap(picture.get());
  EXPECT_FLOAT_EQ(shape.DocWidth(), 40);
  EXPECT_FLOAT_EQ(shape.DocHeight(), 30);
  EXPECT_FALSE(shape.PreserveAspect());
}

// ---- painting ----------------------------------------------------------------------------

TEST(BitmapShape, ThePictureFillsExactlyTheBoxOnThePage) {
  TfsBitmapShape shape;
  shape.SetBounds(2, 1, 4, 2);
  const auto picture = Quadrants(4, 2);
  shape.Image().SetBitmap(picture.get());
  const auto page = Render(shape, 8, 4);
  // The box spans pixels 20..59 by 10..29.
  struct TProbe {
    int X, Y;
    TColor32 Expected;
  };
  const TProbe probes[] = {{19, 15, White}, {20, 10, Red},   {39, 19, Red},   {40, 10, Blue},
                           {59, 19, Blue},  {60, 15, White}, {20, 20, Green}, {59, 29, Yellow},
                           {30, 9, White},  {30, 30, White}};
  for (const TProbe &p : probes)
    EXPECT_EQ(page->GetPixel(p.X, p.Y), p.Expected) << p.X << "," << p.Y;
}

TEST(BitmapShape, WithoutAPictureNothingIsDrawn) {
  TfsBitmapShape shape;
  shape.SetBounds(1, 1, 4, 2);
  const auto page = Render(shape, 8, 4);
  for (int y = 0; y < page->Height(); ++y)
    for (int x = 0; x < page->Width(); ++x)
      ASSERT_EQ(page->GetPixel(x, y), White) << x << "," << y;
}

TEST(BitmapShape, AFarLargerPictureIsReducedOnceAndTheCopyServesLaterPaints) {
  TfsBitmapShape shape;
  shape.SetBounds(0, 0, 4, 4); // 40 x 40 pixels on the page
  const auto picture = Quadrants(800, 800);
  shape.Image().SetBitmap(picture.get());
  const auto first = Render(shape, 4, 4, sfLinear);
  const TBitmap32 *reduced = shape.ReducedCopy();
  ASSERT_NE(reduced, nullptr);
  // Halved while twice the box still fits: 800 -> 100 for 40 pixels.
  EXPECT_EQ(reduced->Width(), 100);
  EXPECT_EQ(reduced->Height(), 100);
  for (auto [x, y, c] : {std::tuple{5, 5, Red}, {34, 5, Blue}, {5, 34, Green}, {34, 34, Yellow}})
    EXPECT_EQ(first->GetPixel(x, y), c) << x << "," << y;

  shape.Refresh();
  const auto second = Render(shape, 4, 4, sfLinear);
  EXPECT_EQ(shape.ReducedCopy(), reduced) << "made again for a paint at the same size";
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ(second->GetPixel(x, y), first->GetPixel(x, y)) << x << "," << y;

  // A new picture drops the copy; the next paint shows the new one.
  TBitmap32 blue;
  blue.SetSize(800, 800);
  blue.FillAll(Blue);
  shape.Image().SetBitmap(&blue);
  EXPECT_EQ(shape.ReducedCopy(), nullptr);
  const auto third = Render(shape, 4, 4, sfLinear);
  EXPECT_EQ(third->GetPixel(5, 5), Blue);
}

TEST(BitmapShape, APictureNotFarLargerThanItsPlaceIsDrawnDirectly) {
  TfsBitmapShape shape;
  shape.SetBounds(0, 0, 4, 4);
  const auto picture = Quadrants(120, 120); // halved it is below 80 pixels
  shape.Image().SetBitmap(picture.get());
  Render(shape, 4, 4, sfLinear);
  EXPECT_EQ(shape.ReducedCopy(), nullptr);
}

// ---- persistence -------------------------------------------------------------------------------

TEST(BitmapShape, ThePictureTravelsInTheImageElement) {
  TfsBitmapShape shape;
  shape.SetBounds(1, 2, 3, 4);
  const auto picture = Quadrants(6, 4);
  shape.Image().SetBitmap(picture.get());
  TPlainXml xml("shape");
  shape.SaveToXml(*xml.Root());
  shape.SaveToXml(*xml.Root()); // into the same node again
  TXmlNodeList images;
  xml.Root()->FindChildren("Image", images);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0]->LoadString("ClassName", ""), "TfsBitmapResource");
  EXPECT_EQ(images[0]->LoadString("Storage", ""), "Embedded");
  EXPECT_EQ(xml.Root()->LoadString("ClassName", ""), "TfsBitmapShape");

  RegisterStandardShapes();
  std::unique_ptr<TfsShape> loaded = TfsShape::CreateFromXml(xml.Root());
  auto *copy = dynamic_cast<TfsBitmapShape *>(loaded.get());
  ASSERT_NE(copy, nullptr) << "not registered: " << loaded->ClassName();
  const TBitmap32 *back = copy->Image().Bitmap();
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->Width(), 6);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(back->GetPixel(x, y), picture->GetPixel(x, y)) << x << "," << y;
  EXPECT_FLOAT_EQ(copy->DocHeight(), 4);

  // The element is optional.
  TPlainXml bare("shape");
  bare.Root()->StoreString("ClassName", "TfsBitmapShape", "");
  TfsBitmapShape empty;
  empty.LoadFromXml(bare.Root());
  EXPECT_EQ(empty.Image().Bitmap(), nullptr);
}

TEST(BitmapShape, StorageKindAndDocumentReachTheResource) {
  FakeShapeDocument doc;
  TfsBitmapShape shape;
  shape.SetDocument(&doc);
  EXPECT_EQ(shape.Image().Document(), &doc);
  EXPECT_EQ(shape.GetStorageKind(), smEmbedded);
  const auto picture = Quadrants(4, 4);
  shape.Image().SetBitmap(picture.get());
  shape.SetStorageKind(smArchive);
  EXPECT_EQ(shape.Image().Storage(), smArchive);
  EXPECT_EQ(shape.GetStorageKind(), smArchive);
  std::vector<std::string> names;
  shape.GetResourceNames(names);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_TRUE(doc.Archive->StreamExists(names[0])) << names[0];
}

// ---- snap bitmap
// ---------------------------------------------------------------------------------

TEST(SnapBitmap, StartsAsAWhiteFrameOf120By80) {
  TfsSnapBitmap snap;
  EXPECT_EQ(snap.ClassName(), "TfsSnapBitmap");
  EXPECT_FLOAT_EQ(snap.DocWidth(), 120);
  EXPECT_FLOAT_EQ(snap.DocHeight(), 80);
  ASSERT_EQ(snap.ShapeCount(), 1);
  auto *frame = dynamic_cast<TfsRectangleShape *>(snap.GetShape(0));
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->IsInternal());
  EXPECT_EQ(frame->FillColor(), TColor(0xFFFFFF));
  EXPECT_EQ(frame->OutlineColor(), TColor(0));
  EXPECT_FLOAT_EQ(frame->OutlineWidth(), 0);
  EXPECT_EQ(frame->Anchors(), 120);
  // The frame is what a new one shows.
  const auto page = Render(snap, 130, 90);
  EXPECT_EQ(page->GetPixel(600, 400), White);
  EXPECT_LT(page->GetPixel(0, 400) & 0xFF, 0x40u) << "the hairline";
}

TEST(SnapBitmap, APictureKeepsTheAreaAndCentreAndTakesItsAspect) {
  struct TCase {
    int32_t W, H;
    float MmW, MmH;
  };
  const TCase cases[] = {
      {1000, 1000, 97.98f, 97.98f}, {300, 200, 120, 80}, {100, 400, 48.99f, 195.96f}};
  testsupport::TempDir dir;
  for (const TCase &c : cases) {
    TfsSnapBitmap snap;
    snap.SetBounds(10, 20, 120, 80);
    snap.Image().LoadFromFile(WritePicture(dir, "p.bmp", Quadrants(c.W, c.H)));
    EXPECT_NEAR(snap.DocWidth(), c.MmW, 0.01) << c.W << "x" << c.H;
    EXPECT_NEAR(snap.DocHeight(), c.MmH, 0.01) << c.W << "x" << c.H;
    EXPECT_NEAR(snap.DocLeft() + snap.DocWidth() / 2, 70, 1e-3);
    EXPECT_NEAR(snap.DocTop() + snap.DocHeight() / 2, 60, 1e-3);
    EXPECT_TRUE(snap.PreserveAspect());
    EXPECT_FALSE(snap.GetShape(0)->Visible()) << "the frame hides behind a picture";
  }
}

TEST(SnapBitmap, AHitOnTheFrameIsAHitOnTheShape) {
  TfsSnapBitmap snap;
  snap.SetBounds(10, 10, 120, 80);
  EXPECT_EQ(snap.ShapeAtPoint(TPoint{70, 50}), &snap);
  EXPECT_EQ(snap.ShapeAtPoint(TPoint{5, 5}), nullptr);
  const auto picture = Quadrants(30, 20);
  snap.Image().SetBitmap(picture.get());
  snap.ImageLoaded();
  EXPECT_EQ(snap.ShapeAtPoint(TPoint{70, 50}), &snap);
}

TEST(SnapBitmap, TheFrameIsReadBackIntoItselfNotAddedTwice) {
  TfsSnapBitmap snap;
  snap.SetBounds(0, 0, 60, 40);
  TPlainXml xml("shape");
  snap.SaveToXml(*xml.Root());
  TfsSnapBitmap copy;
  copy.LoadFromXml(xml.Root());
  ASSERT_EQ(copy.ShapeCount(), 1);
  EXPECT_FLOAT_EQ(copy.GetShape(0)->DocWidth(), 60);
  EXPECT_FLOAT_EQ(copy.DocWidth(), 60);
}

} // namespace

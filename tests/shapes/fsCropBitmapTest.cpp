#include "shapes/fsCropBitmap.h"

#include "engine/FakeDocumentHost.h"
#include "engine/FakeShapeDocument.h"
#include "engine/fsDocument.h"
#include "persist/fsImageFormats.h"
#include "persist/fsPlainXml.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using enginetest::FakeShapeDocument;

constexpr TColor32 White = 0xFFFFFFFF;
constexpr TColor32 Red = 0xFFFF0000;
constexpr TColor32 Green = 0xFF00FF00;
constexpr TColor32 Blue = 0xFF0000FF;

// Red above the middle half of the rows, blue below, green between.
std::string WriteBands(const testsupport::TempDir &dir, int32_t w, int32_t h) {
  TBitmap32 b;
  b.SetSize(w, h);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      b.SetPixel(x, y, y < h / 6 ? Red : y >= h - h / 6 ? Blue : Green);
  const std::string file = (dir / "full.bmp").string();
  SaveBitmapToFile(file, b);
  return file;
}

std::unique_ptr<TBitmap32> Render(TfsShape &shape, float w, float h, float dpm,
                                  TDeviceType type = dtScreen) {
  auto page = std::make_unique<TBitmap32>();
  page->SetSize(int32_t(w * dpm), int32_t(h * dpm));
  page->FillAll(White);
  TDeviceContext context;
  context.DeviceType = type;
  context.DestDpm = context.CacheDpm = dpm;
  TfsShape::RenderShape(shape, *page, FloatRect(0, 0, w, h), context, false);
  return page;
}

bool AllPixels(const TBitmap32 &b, TColor32 c) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.GetPixel(x, y) != c)
        return false;
  return true;
}

// ---- the crop rules -------------------------------------------------------------------

TEST(CropRules, TheLargestCentredCropOfTheBoxAspect) {
  struct TCase {
    int32_t W, H;
    float BoxW, BoxH;
    TRect Crop;
    int32_t Percent;
  };
  const TCase cases[] = {
      {3000, 3000, 60, 40, {0, 500, 3000, 2500}, 847},
      {3000, 2000, 60, 40, {0, 0, 3000, 2000}, 847},
      {1000, 3000, 60, 40, {0, 1166, 1000, 1833}, 282}, // 666.67 rows round to 667
      {354, 236, 60, 40, {0, 0, 354, 236}, 100},
      {800, 600, 0, 40, {0, 0, 800, 600}, 0}, // a box without width
  };
  for (const TCase &c : cases) {
    const TRect crop = FitCropRect(c.W, c.H, c.BoxW, c.BoxH);
    EXPECT_EQ(crop, c.Crop) << c.W << "x" << c.H;
    EXPECT_EQ(CropResolutionPercent(crop, c.BoxW, c.BoxH, Dpm150), c.Percent) << c.W;
  }
}

TEST(CropRules, ResizingKeepsTheAspectTheImageAndTheMinimum) {
  const TCropMinimum m = CropMinimum(3000, 3000, 60, 40, Dpm150);
  EXPECT_TRUE(m.Enforced);
  EXPECT_NEAR(m.Width, 354.33, 0.01);
  EXPECT_NEAR(m.Height, 236.22, 0.01);
  // An image that does not reach the proxy resolution has no minimum.
  const TCropMinimum loose = CropMinimum(200, 200, 60, 40, Dpm150);
  EXPECT_FALSE(loose.Enforced);

  struct TCase {
    TFloatRect From;
    double W, H;
    const TCropMinimum *Minimum;
    TFloatRect To;
    bool Warning;
  };
  const TCase cases[] = {
      // Shrinking: the larger ratio (0.05), then held at the minimum.
      {{0, 500, 3000, 2500}, 100, 100, &m, {0, 500, 354.33f, 736.22f}, true},
      // Growing both ways: the smaller ratio, limited to the image, pushed
      // back inside it.
      {{100, 100, 400, 300}, 6000, 6000, &m, {0, 100, 3000, 2100}, false},
      // One side grows, the other shrinks: the larger ratio.
      {{0, 0, 600, 400}, 1200, 100, &m, {0, 0, 1200, 800}, false},
      {{10, 10, 70, 50}, 6, 4, &loose, {10, 10, 16, 14}, false},
  };
  for (const TCase &c : cases) {
    const TCropResize r = ResizeCrop(c.From, c.W, c.H, 3000, 3000, *c.Minimum);
    EXPECT_NEAR(r.Rect.Left, c.To.Left, 0.01) << c.W;
    EXPECT_NEAR(r.Rect.Top, c.To.Top, 0.01) << c.W;
    EXPECT_NEAR(r.Rect.Right, c.To.Right, 0.01) << c.W;
    EXPECT_NEAR(r.Rect.Bottom, c.To.Bottom, 0.01) << c.W;
    EXPECT_EQ(r.Warning, c.Warning) << c.W;
  }
  EXPECT_EQ(CropResult({-3.2f, 10.5f, 3000.7f, 20.5f}, 3000, 3000), (TRect{0, 10, 3000, 20}));
}

// ---- the proxy -------------------------------------------------------------------------

class CropBitmap : public ::testing::Test {
protected:
  testsupport::TempDir Dir;
  FakeShapeDocument Doc;
  TfsCropBitmap Shape;

  void SetUp() override {
    Shape.SetDocument(&Doc);
    Shape.SetBounds(0, 0, 60, 40);
  }
};

TEST_F(CropBitmap, ANewImageIsCroppedToTheBoxAndOnlyTheProxyStays) {
  EXPECT_EQ(Shape.Image().Storage(), smExternal);
  EXPECT_EQ(Shape.GetStorageKind(), smArchive);
  Shape.Image().LoadFromFile(WriteBands(Dir, 3000, 3000));
  EXPECT_EQ(Shape.CropRect(), (TRect{0, 500, 3000, 2500}));
  EXPECT_FLOAT_EQ(Shape.DocWidth(), 60);
  EXPECT_TRUE(Shape.PreserveAspect());
  EXPECT_FALSE(Shape.GetShape(0)->Visible());
  EXPECT_EQ(Shape.Image().Level(), rlEmpty) << "the full image is let go";
  const TBitmap32 *proxy = Shape.Proxy().Bitmap();
  ASSERT_NE(proxy, nullptr);
  EXPECT_EQ(proxy->Width(), 354);
  EXPECT_EQ(proxy->Height(), 236);
  EXPECT_TRUE(AllPixels(*proxy, Green)) << "only the crop is in the proxy";
  std::vector<std::string> names;
  Shape.GetResourceNames(names);
  ASSERT_EQ(names.size(), 1u) << "the linked image has no entry";
  EXPECT_EQ(names[0], Shape.Proxy().ArchiveName());
  EXPECT_TRUE(Doc.Archive->StreamExists(names[0]));
}

TEST_F(CropBitmap, AdaptingTheAspectReshapesTheFrameAndKeepsTheWholeImage) {
  Shape.SetAdaptAspectToImage(true);
  Shape.Image().LoadFromFile(WriteBands(Dir, 600, 600));
  EXPECT_EQ(Shape.CropRect(), (TRect{0, 0, 600, 600}));
  EXPECT_NEAR(Shape.DocWidth(), 48.99, 0.01);
  EXPECT_NEAR(Shape.DocLeft() + Shape.DocWidth() / 2, 30, 1e-3);
  EXPECT_EQ(Shape.Proxy().Bitmap()->Width(), 289);
  EXPECT_EQ(Shape.Proxy().Bitmap()->Height(), 289);
}

TEST_F(CropBitmap, PrintingFinerThanTheProxyReadsTheFullImage) {
  struct TCase {
    TDeviceType Type;
    float Dpm;
    bool FullRead;
  };
  const TCase cases[] = {{dtPrinter, 600 / 25.4f, true},
                         {dtPrinter, 150 / 25.4f, false},
                         {dtScreen, 600 / 25.4f, false}};
  const std::string file = WriteBands(Dir, 1200, 1200);
  for (const TCase &c : cases) {
    Shape.Image().LoadFromFile(file);
    ASSERT_EQ(Shape.Image().Level(), rlEmpty);
    const auto page = Render(Shape, 60, 40, c.Dpm, c.Type);
    EXPECT_EQ(Shape.Image().Level() == rlDecoded, c.FullRead) << c.Dpm << " " << int(c.Type);
    EXPECT_EQ(page->GetPixel(page->Width() / 2, page->Height() / 2), Green);
  }
}

TEST_F(CropBitmap, AMissingFullImageStillShowsTheProxyFromTheArchive) {
  const std::string file = WriteBands(Dir, 1200, 1200);
  Shape.Image().LoadFromFile(file);
  TPlainXml xml("shape");
  Shape.SaveToXml(*xml.Root());
  const TXmlNode *lowres = xml.Root()->FindChild("LowresImage");
  ASSERT_NE(lowres, nullptr);
  EXPECT_EQ(lowres->LoadString("Storage", ""), "Archive");
  EXPECT_EQ(xml.Root()->LoadInteger("CropRectTop", -1), 200);
  EXPECT_EQ(xml.Root()->FindChild("LowresDPM"), nullptr) << "the default is not written";
  std::filesystem::remove(file);

  TfsCropBitmap copy;
  copy.SetDocument(&Doc);
  copy.LoadFromXml(xml.Root());
  EXPECT_EQ(copy.CropRect(), Shape.CropRect());
  EXPECT_FALSE(copy.EnsureProxy());
  EXPECT_FALSE(copy.GetShape(0)->Visible());
  const auto page = Render(copy, 60, 40, 10);
  EXPECT_EQ(page->GetPixel(300, 200), Green);
  EXPECT_EQ(page->GetPixel(5, 5), Green);
  EXPECT_TRUE(Doc.LoadErrors.empty());
}

TEST_F(CropBitmap, APastedCopyGetsAnEntryOfItsOwn) {
  Shape.Image().LoadFromFile(WriteBands(Dir, 600, 600));
  const std::string before = Shape.Proxy().ArchiveName();
  std::filesystem::remove(Dir / "full.bmp"); // the proxy alone must do
  Shape.Pasted();
  EXPECT_FALSE(Shape.Proxy().ArchiveName().empty());
  EXPECT_NE(Shape.Proxy().ArchiveName(), before);
  EXPECT_TRUE(Doc.Archive->StreamExists(before));
  EXPECT_TRUE(Doc.Archive->StreamExists(Shape.Proxy().ArchiveName()));
}

TEST_F(CropBitmap, TheQualityIndicatorSquareIsMadeOpaqueWhenDrawn) {
  Shape.SetBounds(2, 3, 60, 40);
  Shape.Image().LoadFromFile(WriteBands(Dir, 600, 600));
  for (bool drew : {true, false}) {
    TRect square;
    int32_t percent = -1;
    Doc.QualityIndicator = [&](TfsShape &, TBitmap32 &b, const TRect &r, int32_t p) {
      square = r;
      percent = p;
      b.FillRect(r.Left, r.Top, r.Right + 1, r.Bottom + 1, 0x00123456);
      return drew;
    };
    const auto page = Render(Shape, 70, 50, 10);
    EXPECT_EQ(square, (TRect{20, 30, 52, 62}));
    EXPECT_EQ(percent, Shape.ResolutionPercent());
    EXPECT_EQ(page->GetPixel(20, 30), drew ? 0xFF123456u : 0x00123456u);
    EXPECT_EQ(page->GetPixel(52, 62), drew ? 0xFF123456u : 0x00123456u);
    EXPECT_EQ(page->GetPixel(53, 62), Green);
  }
}

// ---- editing ---------------------------------------------------------------------------------

class TPictureHost : public TFakeDocumentHost {
public:
  bool ChoosePictureFile(const std::string &title, const std::string &filter,
                         std::string &fileName) override {
    Titles.push_back(title);
    Filters.push_back(filter);
    if (Answer.empty())
      return false;
    fileName = Answer;
    return true;
  }
  std::string Answer;
  std::vector<std::string> Titles;
  std::vector<std::string> Filters;
};

class CropEditing : public ::testing::Test {
protected:
  testsupport::TempDir Dir;
  TPictureHost Host;
  TfsDocument Doc{&Host};
  TfsCropBitmap *Shape = nullptr;
  int Dialogs = 0;

  void SetUp() override {
    auto shape = std::make_unique<TfsCropBitmap>();
    Shape = shape.get();
    Doc.AddShape(std::move(shape));
    Shape->SetBounds(0, 0, 60, 40);
  }
};

TEST_F(CropEditing, WithoutAnImageThePictureDialogOfTheHostAsks) {
  Host.Answer = WriteBands(Dir, 900, 900);
  Shape->Edit();
  ASSERT_EQ(Host.Filters.size(), 1u);
  EXPECT_EQ(Host.Filters[0], OpenFilter());
  EXPECT_EQ(Host.Titles[0], "Change to another file (choose)");
  EXPECT_EQ(Shape->CropRect(), (TRect{0, 150, 900, 750}));
  EXPECT_FALSE(Shape->EnsureProxy());
}

TEST_F(CropEditing, TheCropDialogRunsOnlyForACropOfPartOfTheImage) {
  Shape->Image().LoadFromFile(WriteBands(Dir, 900, 900));
  Shape->OnCropDialog = [&](TfsCropBitmap &, const TBitmap32 &image, TRect &crop) {
    ++Dialogs;
    EXPECT_EQ(image.Width(), 900);
    EXPECT_EQ(crop, (TRect{0, 150, 900, 750}));
    crop = TRect{300, 400, 600, 1000}; // beyond the image: clamped
    return true;
  };
  Shape->Edit();
  EXPECT_EQ(Dialogs, 1);
  EXPECT_EQ(Shape->CropRect(), (TRect{300, 400, 600, 900}));
  EXPECT_TRUE(Host.Filters.empty());

  Shape->SetCropRect(TRect{0, 0, 900, 900});
  Shape->Edit();
  EXPECT_EQ(Dialogs, 1) << "the whole image needs no dialog";
  EXPECT_EQ(Shape->CropRect(), (TRect{0, 0, 900, 900}));
}

TEST_F(CropEditing, AnEditHandlerReplacesTheDialogs) {
  Shape->Image().LoadFromFile(WriteBands(Dir, 900, 900));
  int edits = 0;
  Shape->OnEdit = [&](TfsShape &) { ++edits; };
  Shape->OnCropDialog = [&](TfsCropBitmap &, const TBitmap32 &, TRect &) { return ++Dialogs > 0; };
  Shape->Edit();
  EXPECT_EQ(edits, 1);
  EXPECT_EQ(Dialogs, 0);
}

TEST_F(CropEditing, AMissingFileIsLocatedThroughTheDocumentOnce) {
  const std::string file = WriteBands(Dir, 900, 900);
  const std::string gone = (Dir / "moved.bmp").string();
  std::vector<std::string> asked;
  Doc.OnLocateFilename = [&](TfsShape &, std::string &name) { asked.push_back(name); };
  Shape->Image().SetFileName(gone);
  EXPECT_TRUE(Shape->EnsureProxy());
  EXPECT_TRUE(Shape->EnsureProxy());
  EXPECT_EQ(asked, std::vector<std::string>{gone}) << "asked again on a later paint";

  // Found elsewhere: the link follows and the proxy is made.
  auto other = std::make_unique<TfsCropBitmap>();
  TfsCropBitmap &found = *other;
  Doc.AddShape(std::move(other));
  found.SetBounds(0, 0, 60, 40);
  Doc.OnLocateFilename = [&](TfsShape &, std::string &name) { name = file; };
  found.Image().SetFileName(gone);
  EXPECT_FALSE(found.EnsureProxy());
  EXPECT_EQ(found.Image().FileName(), file);
  EXPECT_EQ(found.Image().Level(), rlEmpty);
  const TBitmap32 *proxy = found.Proxy().Bitmap();
  ASSERT_NE(proxy, nullptr);
  // No crop chosen yet: all of the image.
  EXPECT_EQ(proxy->Width(), 354);
  EXPECT_EQ(proxy->GetPixel(0, 0), Red);
  EXPECT_EQ(proxy->GetPixel(177, 118), Green);
  EXPECT_EQ(proxy->GetPixel(353, 235), Blue);
}

TEST_F(CropEditing, TheOlderTempImageFormAsksForAFullRewrite) {
  TPlainXml xml("shape");
  Shape->SaveToXml(*xml.Root());
  xml.Root()->NewChild("TempImage");
  EXPECT_FALSE(Doc.FullRewrite());
  Shape->LoadFromXml(xml.Root());
  EXPECT_TRUE(Doc.FullRewrite());
}

} // namespace

#include "persist/fsImageFormats.h"
#include "persist/fsBmpFormat.h"
#include "persist/fsGifFormat.h"
#include "persist/fsHckImage.h"
#include "persist/fsJpegFormat.h"
#include "persist/fsPngFormat.h"
#include "raster/fsGR32.h"

#include "fsImageTestUtil.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

namespace {

std::string Message(const std::function<void()> &f) {
  try {
    f();
  } catch (const EfsError &e) {
    return e.what();
  }
  return "(no error)";
}

std::string Encode(const std::string &ext, const TBitmap32 &bmp) {
  TMemoryStream s;
  TfsImageFiler filer;
  filer.Stream = &s;
  filer.SetExtension(ext);
  filer.SaveBitmap(&bmp);
  return s.Bytes();
}

} // namespace

TEST(ImageRegistry, FiltersListTheFiveFormatsInOrder) {
  EXPECT_EQ(OpenFilter(),
            "Graphic formats|*.bmp;*.dib;*.jpg;*.jp;*.jpeg;*.hck;*.gif;*.png|"
            "Windows Bitmap (*.bmp;*.dib)|*.bmp;*.dib|"
            "JPEG images (*.jpg;*.jp;*.jpeg)|*.jpg;*.jp;*.jpeg|HCK Image (*.hck)|*.hck|"
            "Compuserve GIF (*.gif)|*.gif|Portable Network Graphics (*.png)|*.png|"
            "All Formats (*.*)|*.*");
  EXPECT_EQ(SaveFilter(), "Windows Bitmap (*.bmp;*.dib)|*.bmp;*.dib|"
                          "JPEG images (*.jpg;*.jp;*.jpeg)|*.jpg;*.jp;*.jpeg|"
                          "HCK Image (*.hck)|*.hck|Compuserve GIF (*.gif)|*.gif|"
                          "Portable Network Graphics (*.png)|*.png");
}

TEST(ImageRegistry, FlagsOfTheRegisteredClasses) {
  EXPECT_EQ(FormatFlags(RasterClassOf<TfsBmpFormat>()), 15);
  EXPECT_EQ(FormatFlags(RasterClassOf<TfsJpgFormat>()), 3615);
  EXPECT_EQ(FormatFlags(RasterClassOf<THckImage>()), 111);
  EXPECT_EQ(FormatFlags(RasterClassOf<TfsGifFormat>()), 4207);
  EXPECT_EQ(FormatFlags(RasterClassOf<TfsPngFormat>()), 79);
  EXPECT_EQ(FormatFlags(RasterClassOf<TfsRaster>()), 0);
  auto jpg = CreateRaster(RasterClassOf<TfsJpgFormat>());
  EXPECT_EQ(jpg->Flags(), 3615);
}

TEST(ImageRegistry, FormatForExtension) {
  struct Case {
    const char *name;
    TRasterClass expected;
  } cases[] = {
      {"a.bmp", RasterClassOf<TfsBmpFormat>()},
      {"/x/A.DIB", RasterClassOf<TfsBmpFormat>()},
      {"photo.jp", RasterClassOf<TfsJpgFormat>()},
      {"photo.JPEG", RasterClassOf<TfsJpgFormat>()},
      {"photo.jpg", RasterClassOf<TfsJpgFormat>()},
      {"pic.hck", RasterClassOf<THckImage>()},
      {"anim.gif", RasterClassOf<TfsGifFormat>()},
      {"a.b.png", RasterClassOf<TfsPngFormat>()},
      {"photo.j", nullptr}, // part of ".jpg;" is no extension of its own
      {"photo.pg", nullptr},
      {"scan.tif", nullptr},
      {"noext", nullptr},
      {"dir.png/noext", nullptr},
  };
  for (const auto &c : cases)
    EXPECT_EQ(FormatForExtension(c.name), c.expected) << c.name;
}

namespace {
class TTestRaster : public TfsRaster {
public:
  static constexpr const char *ClassName = "TTestRaster";
};
} // namespace

TEST(ImageRegistry, RegisteringAgainRefreshesTheRecordInPlace) {
  const auto before = RasterFormats().size();
  RegisterRasterFormat(RasterClassOf<TTestRaster>(), "Test one", ".TST;", 1);
  RegisterRasterFormat(RasterClassOf<TTestRaster>(), "Test two", ".tst;.TS2;", 16);
  auto list = RasterFormats();
  ASSERT_EQ(list.size(), before + 1);
  EXPECT_EQ(list.back().Description, "Test two");
  EXPECT_EQ(list.back().ClassName, "TTestRaster");
  EXPECT_EQ(list.back().Extensions, ".tst;.ts2;");
  EXPECT_EQ(list.back().Flags, 16);
  EXPECT_EQ(FormatForExtension("x.ts2"), RasterClassOf<TTestRaster>());
  // No filter bits: the filters stay as they were.
  EXPECT_EQ(OpenFilter().find("Test"), std::string::npos);
  // The base class reads and writes nothing.
  TBitmap32 bmp;
  TMemoryStream s;
  TTestRaster raster;
  EXPECT_EQ(Message([&] { raster.LoadFromStream(s, bmp, 0, {}); }),
            "Loading from stream is not implemented");
  EXPECT_EQ(Message([&] { raster.SaveToStream(s, bmp); }), "Method not implemented");
  EXPECT_EQ(Message([&] { raster.LoadFromFile("x.tst", bmp, 0, {}); }), "Method not implemented");
  EXPECT_EQ(Message([&] { raster.SaveToFile("x.tst", bmp); }), "Method not implemented");
}

TEST(ImageFiler, ErrorsOfLoadAndSave) {
  TfsImageFiler filer;
  EXPECT_EQ(Message([&] { filer.LoadBitmap(nullptr); }), "Input bitmap not assigned");
  EXPECT_EQ(Message([&] { filer.SaveBitmap(nullptr); }), "Input bitmap not assigned");
  TBitmap32 bmp;
  imagetest::MakePattern(bmp, 4, 4, false);
  filer.SetExtension(".xyz");
  EXPECT_EQ(Message([&] { filer.LoadBitmap(&bmp); }), "Unknown raster format \".xyz\"");
  TempDir dir;
  EXPECT_EQ(Message([&] { SaveBitmapToFile((dir / "scan.tif").string(), bmp); }),
            "Cannot save format \".tif\"");
  EXPECT_FALSE(std::filesystem::exists(dir / "scan.tif"));
}

TEST(ImageFiler, SavingChoosesTheFormatByExtension) {
  struct Case {
    const char *file;
    std::string magic;
  } cases[] = {
      {"a.bmp", "BM"},
      {"a.DIB", "BM"},
      {"a.jp", "\xFF\xD8\xFF"},
      {"a.jpeg", "\xFF\xD8\xFF"},
      {"a.gif", "GIF8"},
      {"a.png", "\x89PNG"},
      {"a.hck", std::string("HCK\0", 4)},
  };
  TempDir dir;
  TBitmap32 bmp;
  imagetest::MakePattern(bmp, 9, 7, false);
  for (const auto &c : cases) {
    auto path = dir / c.file;
    SaveBitmapToFile(path.string(), bmp);
    EXPECT_EQ(ReadFileBytes(path).substr(0, c.magic.size()), c.magic) << c.file;
  }
  // Nothing but the pictures is left in the folder.
  size_t files = 0;
  for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(dir.path()))
    ++files;
  EXPECT_EQ(files, std::size(cases));
}

TEST(ImageFiler, FailedSaveKeepsTheOldFile) {
  TempDir dir;
  auto path = dir / "keep.jpg";
  WriteFileBytes(path, "old bytes");
  TBitmap32 blank;
  EXPECT_THROW(SaveBitmapToFile(path.string(), blank), ERasterError);
  EXPECT_EQ(ReadFileBytes(path), "old bytes");
  size_t files = 0;
  for ([[maybe_unused]] const auto &e : std::filesystem::directory_iterator(dir.path()))
    ++files;
  EXPECT_EQ(files, 1u);
}

TEST(ImageFiler, ReadingChoosesTheFormatByExtensionThenByContent) {
  TempDir dir;
  TBitmap32 src;
  imagetest::MakePattern(src, 6, 5, false);
  const std::string bmpBytes = Encode(".bmp", src);
  const std::string hckBytes = Encode(".hck", src);
  struct Case {
    const char *file;
    const std::string *bytes;
    TRasterClass expected;
  } cases[] = {
      {"pic.dib", &bmpBytes, RasterClassOf<TfsBmpFormat>()},
      {"pic.xyz", &bmpBytes, RasterClassOf<TfsBmpFormat>()},
      {"pic", &bmpBytes, RasterClassOf<TfsBmpFormat>()},
      {"pic2.xyz", &hckBytes, RasterClassOf<THckImage>()},
      {"pic2", &hckBytes, RasterClassOf<THckImage>()},
      {"pic2.hck", &hckBytes, RasterClassOf<THckImage>()},
      // HCK looks before accepting; a bitmap under its name is a bitmap.
      {"pic3.hck", &bmpBytes, RasterClassOf<TfsBmpFormat>()},
  };
  for (const auto &c : cases) {
    WriteFileBytes(dir / c.file, *c.bytes);
    TfsImageFiler filer;
    filer.SetFileName((dir / c.file).string());
    TBitmap32 got;
    filer.LoadBitmap(&got);
    ASSERT_NE(filer.Format(), nullptr) << c.file;
    EXPECT_EQ(filer.Format()->RasterClass(), c.expected) << c.file;
    EXPECT_EQ(imagetest::FirstDifference(got, src), "") << c.file;
    EXPECT_EQ(filer.ByteCount(), static_cast<int64_t>(c.bytes->size())) << c.file;
    EXPECT_EQ(filer.PageCount(), 1) << c.file;
  }
}

TEST(ImageFiler, StreamReadConsumesOnlyThePicture) {
  TBitmap32 src;
  imagetest::MakePattern(src, 5, 3, true);
  for (const char *ext : {".bmp", ".png", ".gif", ".jpg"}) {
    const std::string pic = Encode(ext, src);
    TMemoryStream s("prefix" + pic + "trailing");
    s.SetPosition(6);
    TfsImageFiler filer;
    filer.Stream = &s;
    filer.SetExtension(ext);
    TBitmap32 got;
    filer.LoadBitmap(&got);
    EXPECT_EQ(filer.ByteCount(), static_cast<int64_t>(pic.size())) << ext;
    EXPECT_EQ(s.Position(), static_cast<int64_t>(6 + pic.size())) << ext;
    EXPECT_EQ(got.Width(), 5) << ext;
  }
}

TEST(ImageFiler, PagesOtherThanTheFirstAreRefused) {
  TBitmap32 src;
  imagetest::MakePattern(src, 3, 3, false);
  for (const char *ext : {".bmp", ".png", ".gif", ".jpg"}) {
    TMemoryStream s(Encode(ext, src));
    TBitmap32 got;
    EXPECT_EQ(Message([&] { LoadBitmapFromStream(s, ext, got, 1); }), "Requested non-existing page")
        << ext;
  }
}

TEST(ImageFiler, MaxSizeReplacesTheDefaultOnlyWhenItsProductIsPositive) {
  TBitmap32 src;
  imagetest::MakePattern(src, 64, 64, false);
  const std::string jpg = Encode(".jpg", src);
  struct Case {
    TfsMaxSize max;
    int expected;
  } cases[] = {{{16, 16}, 16}, {{32, 16}, 32}, {{0, 5}, 64}, {{-4, 4}, 64}, {{8, 8}, 8}};
  for (const auto &c : cases) {
    TReadOnlyMemoryStream s(jpg);
    TBitmap32 got;
    LoadBitmapFromStream(s, ".jpg", got, 0, c.max);
    EXPECT_EQ(got.Width(), c.expected) << c.max.Width << "x" << c.max.Height;
  }
}

TEST(ImageFiler, BitmapStreamsOfTBitmap32UseTheBmpForm) {
  InstallBmpStreamHandlers();
  TBitmap32 src, got;
  imagetest::MakePattern(src, 7, 4, true);
  TMemoryStream s;
  src.SaveToStream(s);
  EXPECT_EQ(s.Bytes().substr(0, 2), "BM");
  s.SetPosition(0);
  got.LoadFromStream(s);
  EXPECT_EQ(imagetest::FirstDifference(got, src), "");
}

TEST(ImageFiler, HckAboveTheMaximumIsDrawnReduced) {
  TBitmap32 src;
  src.SetSize(80, 40);
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 80; ++x)
      src.SetPixel(x, y, x < 40 ? 0xFFFF0000 : 0xFF0000FF);
  const std::string hck = Encode(".hck", src);
  struct Case {
    TfsMaxSize max;
    int w, h;
  } cases[] = {
      {{20, 20}, 20, 10}, // scale min(20/40, 20/80) = 1/4
      {{60, 30}, 60, 30}, // 3/4
      {{80, 40}, 80, 40}, // scale 1: full size
      {{1000, 1000}, 80, 40},
  };
  for (const auto &c : cases) {
    TReadOnlyMemoryStream s(hck);
    TBitmap32 got;
    LoadBitmapFromStream(s, ".hck", got, 0, c.max);
    ASSERT_EQ(got.Width(), c.w) << c.max.Width;
    ASSERT_EQ(got.Height(), c.h) << c.max.Width;
    EXPECT_EQ(got.GetPixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(got.GetPixel(c.w - 1, c.h - 1), 0xFF0000FFu);
  }
}

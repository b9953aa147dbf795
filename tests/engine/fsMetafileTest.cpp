// Reading metafiles: kinds, sizes, record views and the errors of bytes
// that are no metafile; damaged record lists end where the damage starts.
#include "engine/fsMetafile.h"

#include "engine/MetafileBuilder.h"

#include <gtest/gtest.h>

#include <string>

using namespace mftest;

namespace {

TfsMetafile Load(const std::string &bytes) {
  TfsMetafile mf;
  mf.LoadFromBytes(bytes);
  return mf;
}

TEST(MetafileRead, KindAndPixelSizeComeFromTheHeader) {
  struct TCase {
    const char *Name;
    std::string Bytes;
    TfsMetafileKind Kind;
    int32_t Width, Height; // at 96 dpi
  };
  const TCase cases[] = {
      // 2540 x 1270 hundredths of a millimetre: one inch by half an inch.
      {"emf", TEmfBuilder(Rect(0, 0, 2540, 1270)).Bytes(), mkEmf, 96, 48},
      {"emf with offset frame", TEmfBuilder(Rect(1000, 500, 3540, 1770)).Bytes(), mkEmf, 96, 48},
      // 1440 twips wide, 720 high.
      {"placeable wmf", TWmfBuilder(Rect(0, 0, 1440, 720), 1440).Bytes(), mkPlaceableWmf, 96, 48},
      {"placeable wmf, 1000 per inch", TWmfBuilder(Rect(-500, -500, 1500, 500), 1000).Bytes(),
       mkPlaceableWmf, 192, 96},
      {"plain wmf sized by its window",
       TWmfBuilder()
           .Add(meta::SetWindowOrg, TParams().I16(0).I16(0))
           .Add(meta::SetWindowExt, TParams().I16(100).I16(200))
           .Bytes(),
       mkWmf, 200, 100},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TfsMetafile mf = Load(c.Bytes);
    EXPECT_EQ(mf.Kind(), c.Kind);
    EXPECT_EQ(mf.PixelWidth(), c.Width);
    EXPECT_EQ(mf.PixelHeight(), c.Height);
    EXPECT_FALSE(mf.Truncated());
  }
}

TEST(MetafileRead, PixelSizeFollowsTheResolution) {
  TfsMetafile mf = Load(TEmfBuilder(Rect(0, 0, 2540, 1270)).Bytes());
  EXPECT_EQ(mf.PixelWidth(150), 150);
  EXPECT_EQ(mf.PixelHeight(150), 75);
}

TEST(MetafileRead, RecordsAreViewsOfTheirParameters) {
  TEmfBuilder b;
  b.Add(emr::SetBkMode, TParams().U32(1));
  b.Add(emr::Rectangle, TParams().RectL(1, 2, 3, 4));
  TfsMetafile mf = Load(b.Bytes());
  ASSERT_EQ(mf.Records().size(), 4u); // header, two records, end of file
  EXPECT_EQ(mf.Records()[1].Type, emr::SetBkMode);
  EXPECT_EQ(mf.Records()[1].Params.size(), 4u);
  EXPECT_EQ(mf.Records()[2].Type, emr::Rectangle);
  EXPECT_EQ(fsmeta::I32(mf.Records()[2].Params, 12), 4);
  EXPECT_EQ(mf.Records()[3].Type, 14u);

  TWmfBuilder w(Rect(0, 0, 100, 100));
  w.Add(meta::Rectangle, TParams().I16(40).I16(30).I16(20).I16(10));
  TfsMetafile wm = Load(w.Bytes());
  ASSERT_EQ(wm.Records().size(), 2u);
  EXPECT_EQ(wm.Records()[0].Type, meta::Rectangle);
  EXPECT_EQ(fsmeta::I16(wm.Records()[0].Params, 6), 10);
  EXPECT_EQ(wm.ObjectCount(), 8u);
}

TEST(MetafileRead, BytesThatAreNoMetafileRaiseInvalidMetafile) {
  std::string emf = TEmfBuilder().Bytes();
  std::string badHeaderSize = emf;
  badHeaderSize[4] = '\x50'; // 80 < the smallest header
  std::string hugeHeader = emf;
  hugeHeader[7] = '\x7F';
  std::string wmf = TWmfBuilder().Bytes();
  std::string wmfBadHeader = wmf;
  wmfBadHeader[2] = 10; // header words must be 9
  const std::string placeable = TWmfBuilder(Rect(0, 0, 10, 10)).Bytes();
  const std::pair<const char *, std::string> cases[] = {
      {"empty", ""},
      {"text", "this is plain text and no picture at all"},
      {"emf header cut", emf.substr(0, 60)},
      {"emf header size too small", badHeaderSize},
      {"emf header larger than the file", hugeHeader},
      {"wmf header cut", wmf.substr(0, 10)},
      {"wmf header size wrong", wmfBadHeader},
      {"placeable header only", placeable.substr(0, 22)},
  };
  for (const auto &[name, bytes] : cases) {
    SCOPED_TRACE(name);
    TfsMetafile mf;
    try {
      mf.LoadFromBytes(bytes);
      ADD_FAILURE() << "loaded";
    } catch (const EMetafileError &e) {
      EXPECT_STREQ(e.what(), "Invalid metafile");
    }
  }
}

TEST(MetafileRead, DamagedRecordSizesEndTheListThere) {
  TEmfBuilder b;
  b.Add(emr::SetBkMode, TParams().U32(1));
  b.Add(emr::Rectangle, TParams().RectL(1, 2, 3, 4));
  b.Add(emr::SetBkMode, TParams().U32(2));
  const std::string good = b.Bytes();
  const std::vector<size_t> starts = b.RecordStarts();
  auto withSize = [&](size_t record, uint32_t size) {
    std::string s = good;
    for (int i = 0; i < 4; ++i)
      s[starts[record] + 4 + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
    return s;
  };
  struct TCase {
    const char *Name;
    std::string Bytes;
    size_t Records;
  };
  const TCase cases[] = {
      {"size past the end", withSize(2, 0xFFFFFFF0u), 2},
      {"size below a record header", withSize(2, 4), 2},
      {"size zero", withSize(1, 0), 1},
      {"cut inside the rectangle", good.substr(0, starts[2] + 12), 2},
      {"cut before the end record", good.substr(0, starts[4]), 4},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TfsMetafile mf = Load(c.Bytes);
    EXPECT_TRUE(mf.Truncated());
    EXPECT_EQ(mf.Records().size(), c.Records);
  }

  TWmfBuilder w(Rect(0, 0, 100, 100));
  w.Add(meta::Rectangle, TParams().I16(40).I16(30).I16(20).I16(10));
  w.Add(meta::Ellipse, TParams().I16(40).I16(30).I16(20).I16(10));
  const std::string wgood = w.Bytes();
  const std::vector<size_t> ws = w.RecordStarts();
  TfsMetafile cut = Load(wgood.substr(0, ws[1] + 7));
  EXPECT_TRUE(cut.Truncated());
  EXPECT_EQ(cut.Records().size(), 1u);
  // A file that stops after a whole record keeps every record before it.
  TfsMetafile noEof = Load(wgood.substr(0, ws[2]));
  EXPECT_TRUE(noEof.Truncated());
  EXPECT_EQ(noEof.Records().size(), 2u);
}

} // namespace

#include "persist/fsResource.h"
#include "persist/fsBitmapResource.h"
#include "persist/fsImageFormats.h"
#include "persist/fsPlainXml.h"
#include "persist/fsRasterError.h"
#include "persist/fsXmlCodec.h"
#include "persist/fsXmlValues.h"
#include "persist/nvStorage.h"
#include "raster/fsGR32.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// The document side of a resource: just an archive.
class TFakeDocument : public TfsResourceDocument {
public:
  TnvStorage *Storage() override { return &Archive; }
  TnvStorage Archive;
};

class TNoArchiveDocument : public TfsResourceDocument {
public:
  TnvStorage *Storage() override { return nullptr; }
};

std::unique_ptr<TBitmap32> TestPicture(int w = 5, int h = 3) {
  auto b = std::make_unique<TBitmap32>();
  b->SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b->SetPixel(x, y,
                  0xFF000000u | static_cast<TColor32>(x * 40) << 16 |
                      static_cast<TColor32>(y * 70) << 8 | static_cast<TColor32>(x + y));
  return b;
}

std::string Encoded(const TBitmap32 &b, const std::string &ext) {
  TMemoryStream s;
  CreateRaster(FormatForExtension(ext))->SaveToStream(s, b);
  return s.Bytes();
}

bool SamePixels(const TBitmap32 &a, const TBitmap32 &b) {
  if (a.Width() != b.Width() || a.Height() != b.Height())
    return false;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.GetPixel(x, y) != b.GetPixel(x, y))
        return false;
  return true;
}

std::string FullPath(const std::filesystem::path &p) {
  return std::filesystem::absolute(p).lexically_normal().string();
}

// Writes the resource into a fresh page-like document and parses the text
// back, so that the form survives the real writer and reader.
std::unique_ptr<TPlainXml> ThroughXml(TfsResource &r) {
  TPlainXml out("Image");
  r.WriteToXml(*out.Root());
  auto in = std::make_unique<TPlainXml>();
  in->ReadFromString(out.WriteToString());
  return in;
}

std::unique_ptr<TPlainXml> ParseXml(const std::string &text) {
  auto xml = std::make_unique<TPlainXml>();
  xml->ReadFromString(text);
  return xml;
}

template <class F> std::string ErrorOf(F &&f) {
  try {
    f();
  } catch (const std::exception &e) {
    return e.what();
  }
  return "no error";
}

// ---------------------------------------------------------------------------

class ResourceFiles : public ::testing::Test {
protected:
  std::string PictureFile(const std::string &ext, const TBitmap32 &bm) {
    auto path = Dir / ("picture" + ext);
    WriteFileBytes(path, Encoded(bm, ext));
    return path.string();
  }
  TempDir Dir;
};

// Embedded pictures are the file's own bytes in Base64: nothing is decoded
// and re-encoded on the way, so a JPEG stays the same JPEG.
TEST_F(ResourceFiles, EmbeddedKeepsTheFileBytesThroughXml) {
  auto picture = TestPicture();
  for (std::string ext : {".jpg", ".png", ".bmp", ".gif", ".hck"}) {
    SCOPED_TRACE(ext);
    std::string file = PictureFile(ext, *picture);
    std::string bytes = ReadFileBytes(file);
    TfsBitmapResource r;
    r.LoadFromFile(file);
    EXPECT_EQ(r.Level(), rlEncoded);
    EXPECT_EQ(r.FileName(), FullPath(file));
    EXPECT_EQ(r.Data().Bytes(), bytes);

    auto xml = ThroughXml(r);
    TXmlNode &node = *xml->Root();
    EXPECT_EQ(node.LoadString("ClassName", ""), "TfsBitmapResource");
    EXPECT_EQ(node.LoadString("Storage", ""), "Embedded");
    EXPECT_EQ(node.LoadString("FileName", ""), FullPath(file));
    TXmlNode *data = node.FindChild("Data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->LoadInteger("Size", 0), static_cast<int32_t>(bytes.size()));
    EXPECT_EQ(data->LoadString("Filter", ""), "Base64");
    ASSERT_NE(data->FindChild("Buffer"), nullptr);
    EXPECT_EQ(data->FindChild("Buffer")->BinaryString(), bytes);

    // The file is gone: the copy in the XML is all there is.
    std::filesystem::remove(file);
    TfsBitmapResource back;
    back.ReadFromXml(node);
    EXPECT_EQ(back.Storage(), smEmbedded);
    EXPECT_EQ(back.Data().Bytes(), bytes);
    TBitmap32 *decoded = back.Bitmap();
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->Width(), picture->Width());
    EXPECT_EQ(decoded->Height(), picture->Height());
    if (ext != ".jpg" && ext != ".gif") {
      EXPECT_TRUE(SamePixels(*decoded, *picture));
    }
  }
}

TEST_F(ResourceFiles, ExternalReadsTheFileAndDropsItsBytesWhenCompacted) {
  std::string file = PictureFile(".png", *TestPicture());
  std::string bytes = ReadFileBytes(file);
  TfsBitmapResource r;
  r.LoadFromFile(file);
  r.SetStorage(smExternal);
  EXPECT_EQ(ReadFileBytes(file), bytes); // an existing file is never overwritten

  auto xml = ThroughXml(r);
  EXPECT_EQ(xml->Root()->FindChild("Data"), nullptr);
  EXPECT_EQ(xml->Root()->LoadString("Storage", ""), "External");

  TfsBitmapResource back;
  back.ReadFromXml(*xml->Root());
  EXPECT_EQ(back.Storage(), smExternal);
  EXPECT_EQ(back.Data().Bytes(), bytes);
  EXPECT_FALSE(back.IsDataChanged());
  ASSERT_NE(back.Bitmap(), nullptr);
  back.Compact();
  EXPECT_EQ(back.Level(), rlEmpty);
  EXPECT_EQ(back.DataSize(), 0);
  // ...and fetches them again when shown.
  ASSERT_NE(back.Bitmap(), nullptr);
  EXPECT_TRUE(SamePixels(*back.Bitmap(), *TestPicture()));
}

TEST_F(ResourceFiles, MissingExternalFileGivesAnEmptyPicture) {
  auto xml = ParseXml("<Image><FileName>" + (Dir / "gone.png").string() +
                      "</FileName><Storage>External</Storage></Image>");
  TfsBitmapResource r;
  r.ReadFromXml(*xml->Root());
  EXPECT_EQ(r.Storage(), smExternal);
  EXPECT_EQ(r.Level(), rlEmpty);
  EXPECT_EQ(r.Bitmap(), nullptr);
}

TEST_F(ResourceFiles, ExternalPictureMadeInMemoryIsWrittenOnce) {
  auto target = Dir / "made.png";
  TfsBitmapResource r;
  auto picture = TestPicture();
  r.SetFileName(target.string());
  r.SetStorage(smExternal);
  r.SetBitmap(picture.get());
  std::string written = ReadFileBytes(target);
  EXPECT_EQ(written.substr(1, 3), "PNG");
  EXPECT_FALSE(r.IsDataChanged());

  // A second picture under the same name does not replace the user's file.
  auto other = TestPicture(2, 2);
  r.SetBitmap(other.get());
  EXPECT_EQ(ReadFileBytes(target), written);
  EXPECT_TRUE(r.IsDataChanged());
}

TEST_F(ResourceFiles, ArchiveModeStoresTheBytesAsAnEntry) {
  std::string file = PictureFile(".jpg", *TestPicture());
  std::string bytes = ReadFileBytes(file);
  TFakeDocument doc;
  TfsBitmapResource r;
  r.SetDocument(&doc);
  r.SetStorage(smArchive);
  r.LoadFromFile(file);
  // Stored at once, under the file's full path.
  EXPECT_EQ(r.ArchiveName(), FullPath(file));
  ASSERT_TRUE(doc.Archive.StreamExists(FullPath(file)));
  TMemoryStream entry;
  doc.Archive.ReadStream(FullPath(file), entry);
  EXPECT_EQ(entry.Bytes(), bytes);

  auto xml = ThroughXml(r);
  EXPECT_EQ(xml->Root()->FindChild("Data"), nullptr);
  EXPECT_EQ(xml->Root()->LoadString("ArchiveName", ""), FullPath(file));
  EXPECT_EQ(xml->Root()->LoadString("Storage", ""), "Archive");

  // The archive goes through its file form into another document.
  TMemoryStream saved;
  doc.Archive.SaveToStream(saved);
  std::filesystem::remove(file);
  TFakeDocument reopened;
  saved.SetPosition(0);
  reopened.Archive.LoadFromStream(saved);
  TfsBitmapResource back;
  back.SetDocument(&reopened);
  back.ReadFromXml(*xml->Root());
  EXPECT_EQ(back.Data().Bytes(), bytes);
  EXPECT_EQ(back.ArchiveName(), FullPath(file));
  ASSERT_NE(back.Bitmap(), nullptr);
  EXPECT_EQ(back.Bitmap()->Width(), 5);
}

TEST(Resource, MissingArchiveEntryEmptiesTheName) {
  TFakeDocument doc;
  auto xml = ParseXml("<Image><ArchiveName>TMP0000001.png</ArchiveName>"
                      "<Storage>Archive</Storage></Image>");
  TfsBitmapResource r;
  r.SetDocument(&doc);
  r.ReadFromXml(*xml->Root());
  EXPECT_EQ(r.ArchiveName(), "");
  EXPECT_EQ(r.Level(), rlEmpty);
  EXPECT_EQ(r.Bitmap(), nullptr);
}

TEST(Resource, ArchiveNameOutlivesAMissingArchive) {
  auto xml = ParseXml("<Image><ArchiveName>TMP0000001.png</ArchiveName>"
                      "<Storage>Archive</Storage></Image>");
  for (bool withDocument : {false, true}) {
    TNoArchiveDocument doc;
    TfsBitmapResource r;
    if (withDocument)
      r.SetDocument(&doc);
    r.ReadFromXml(*xml->Root());
    EXPECT_EQ(r.ArchiveName(), "TMP0000001.png");
    TPlainXml again("Image");
    r.WriteToXml(*again.Root());
    EXPECT_EQ(again.Root()->LoadString("ArchiveName", ""), "TMP0000001.png");
  }
}

TEST_F(ResourceFiles, SetStorageArchiveNamesTheEntry) {
  TFakeDocument doc;
  auto picture = TestPicture();
  std::string file = PictureFile(".png", *picture);

  TfsBitmapResource fromFile;
  fromFile.SetDocument(&doc);
  fromFile.LoadFromFile(file);
  fromFile.SetStorage(smArchive);
  EXPECT_EQ(fromFile.ArchiveName(), FullPath(file));
  EXPECT_TRUE(doc.Archive.StreamExists(FullPath(file)));

  // A picture made in memory has only an extension for a name.
  TfsBitmapResource inMemory;
  inMemory.SetDocument(&doc);
  inMemory.SetBitmap(picture.get());
  EXPECT_EQ(inMemory.FileName(), ".hck");
  inMemory.SetStorage(smArchive);
  const std::string &name = inMemory.ArchiveName();
  ASSERT_EQ(name.size(), 14u) << name;
  EXPECT_EQ(name.substr(0, 3), "TMP");
  EXPECT_EQ(name.find_first_not_of("0123456789", 3), 10u);
  EXPECT_EQ(name.substr(10), ".hck");
  ASSERT_TRUE(doc.Archive.StreamExists(name));

  std::vector<std::string> names;
  fromFile.CollectArchiveNames(names);
  inMemory.CollectArchiveNames(names);
  EXPECT_EQ(names, (std::vector<std::string>{FullPath(file), name}));

  // The entry is HCK and decodes to the picture.
  TfsBitmapResource back;
  back.SetDocument(&doc);
  auto xml = ThroughXml(inMemory);
  back.ReadFromXml(*xml->Root());
  EXPECT_EQ(back.Data().Bytes().substr(0, 3), "HCK");
  ASSERT_NE(back.Bitmap(), nullptr);
  EXPECT_TRUE(SamePixels(*back.Bitmap(), *picture));
}

TEST(Resource, ClearedArchivePictureDropsOnlyItsOwnEntry) {
  struct Case {
    std::string entry;
    bool kept;
  } cases[] = {{"TMP1234567.hck", false}, {"/home/u/pics/a.png", true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.entry);
    TFakeDocument doc;
    TMemoryStream bytes(Encoded(*TestPicture(), ".hck"));
    doc.Archive.WriteStream(c.entry, bytes);
    auto xml =
        ParseXml("<Image><ArchiveName>" + c.entry +
                 "</ArchiveName><FileName>.hck</FileName><Storage>Archive</Storage></Image>");
    TfsBitmapResource r;
    r.SetDocument(&doc);
    r.ReadFromXml(*xml->Root());
    ASSERT_GT(r.DataSize(), 0);
    r.ReplaceBitmap(nullptr);
    EXPECT_EQ(r.ArchiveName(), "");
    EXPECT_EQ(doc.Archive.StreamExists(c.entry), c.kept);
  }
}

// ---------------------------------------------------------------------------
// XML reading details

TEST(Resource, EmbeddedDataInEitherCoding) {
  const std::string bytes = "\x01\x02hello\xFF";
  struct Case {
    std::string filter;
    std::string text;
    std::string error;
  } cases[] = {
      {"Base64", Base64Encode(bytes.data(), bytes.size()), ""},
      {"BinHex", BinHexEncode(bytes.data(), bytes.size()), ""},
      {"BinHex", "\r\n  " + BinHexEncode(bytes.data(), bytes.size()) + "\r\n", ""},
      {"base64", Base64Encode(bytes.data(), bytes.size()), "Unsupported binary encoding"},
      {"", Base64Encode(bytes.data(), bytes.size()), "Unsupported binary encoding"},
      {"Base64", Base64Encode(bytes.data(), 4), "Missing data in binary stream"},
      {"BinHex", BinHexEncode(bytes.data(), 4), "Missing data in binary stream"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.filter + " " + c.text);
    auto xml = ParseXml("<Image><Data><Size>" + std::to_string(bytes.size()) + "</Size><Filter>" +
                        c.filter + "</Filter><Buffer>" + c.text +
                        "</Buffer></Data><Storage>Embedded</Storage></Image>");
    TfsBitmapResource r;
    if (c.error.empty()) {
      r.ReadFromXml(*xml->Root());
      EXPECT_EQ(r.Data().Bytes(), bytes);
    } else {
      EXPECT_EQ(ErrorOf([&] { r.ReadFromXml(*xml->Root()); }), c.error);
    }
  }
}

TEST(Resource, EmbeddedSizesThatGiveNoData) {
  struct Case {
    std::string data;
    std::string error;
  } cases[] = {
      {"<Data><Size>0</Size><Filter>nonsense</Filter><Buffer>AAAA</Buffer></Data>", ""},
      {"<Data><Filter>Base64</Filter><Buffer>AAAA</Buffer></Data>", ""},
      {"<Data><Size>3</Size><Filter>Base64</Filter></Data>", ""},
      {"", ""},
      {"<Data><Size>-3</Size><Filter>Base64</Filter><Buffer>AAAA</Buffer></Data>",
       "Missing data in binary stream"},
      {"<Data><Size>2147483647</Size><Filter>Base64</Filter><Buffer>AAAA</Buffer></Data>",
       "Missing data in binary stream"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.data);
    auto xml = ParseXml("<Image>" + c.data + "<Storage>Embedded</Storage></Image>");
    TfsBitmapResource r;
    EXPECT_EQ(ErrorOf([&] { r.ReadFromXml(*xml->Root()); }),
              c.error.empty() ? "no error" : c.error);
    EXPECT_EQ(r.DataSize(), 0);
  }
}

TEST(Resource, MissingOrUnknownStorageKeepsTheMode) {
  struct Case {
    TfsStorageMode before;
    std::string storage; // empty: no element
    TfsStorageMode after;
  } cases[] = {
      {smEmbedded, "", smEmbedded},       {smNone, "", smNone},
      {smArchive, "embedded", smArchive}, {smNone, "Embedded ", smNone},
      {smEmbedded, "None", smNone},       {smNone, "External", smExternal},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.storage);
    TfsBitmapResource r;
    r.SetStorage(c.before);
    auto xml =
        ParseXml("<Image><FileName>.png</FileName>" +
                 (c.storage.empty() ? "" : "<Storage>" + c.storage + "</Storage>") + "</Image>");
    r.ReadFromXml(*xml->Root());
    EXPECT_EQ(r.Storage(), c.after);
    EXPECT_EQ(r.FileName(), ".png");
  }
}

TEST(Resource, EmptyResourceWritesOnlyItsNames) {
  struct Case {
    TfsStorageMode mode;
    std::string fileName, archiveName;
    std::string expected;
  } cases[] = {
      {smEmbedded, "", "", "<ClassName>TfsBitmapResource</ClassName><Storage>Embedded</Storage>"},
      {smNone, ".hck", "",
       "<ClassName>TfsBitmapResource</ClassName><FileName>.hck</FileName><Storage>None</Storage>"},
      {smArchive, "", "TMP0000001.hck",
       "<ClassName>TfsBitmapResource</ClassName><ArchiveName>TMP0000001.hck</ArchiveName>"
       "<Storage>Archive</Storage>"},
  };
  for (const Case &c : cases) {
    TfsBitmapResource r;
    r.SetStorage(c.mode);
    r.SetFileName(c.fileName);
    r.SetArchiveName(c.archiveName);
    TPlainXml xml("Image");
    r.WriteToXml(*xml.Root());
    std::string text = xml.WriteToString();
    EXPECT_NE(text.find("<Image>" + c.expected + "</Image>"), std::string::npos) << text;

    TfsBitmapResource back;
    back.ReadFromXml(*xml.Root());
    EXPECT_EQ(back.Storage(), c.mode);
    EXPECT_EQ(back.Bitmap(), nullptr);
  }
}

TEST(Resource, ReadingReplacesWhatWasThere) {
  TfsBitmapResource r;
  auto picture = TestPicture();
  r.SetBitmap(picture.get());
  r.SetArchiveName("old");
  int changes = 0;
  r.OnBitmapChange = [&](TfsResource &) { ++changes; };
  auto xml = ParseXml("<Image><Storage>Embedded</Storage></Image>");
  r.ReadFromXml(*xml->Root());
  EXPECT_EQ(r.Level(), rlEmpty);
  EXPECT_EQ(r.ArchiveName(), "");
  EXPECT_EQ(r.FileName(), "");
  EXPECT_EQ(changes, 1); // the old picture is gone
}

// ---------------------------------------------------------------------------
// Levels, bitmaps and errors

TEST_F(ResourceFiles, LevelsFollowTheStorageMode) {
  std::string file = PictureFile(".png", *TestPicture());
  TfsBitmapResource r;
  r.LoadFromFile(file);
  EXPECT_EQ(r.Level(), rlEncoded);
  r.EnsureLevel(rlDecoded);
  EXPECT_EQ(r.Level(), rlDecoded);
  r.EnsureLevel(rlEncoded);
  EXPECT_EQ(r.Level(), rlEncoded);
  EXPECT_EQ(r.BitmapMemory(), 0);
  // Embedded bytes not yet written anywhere are the only copy: they stay.
  r.EnsureLevel(rlEmpty);
  EXPECT_EQ(r.Level(), rlEncoded);
  TPlainXml xml("Image");
  r.WriteToXml(*xml.Root());
  EXPECT_EQ(r.BitmapMemory(), 0);
  r.EnsureLevel(rlDecoded);
  ASSERT_NE(r.Bitmap(), nullptr);
  EXPECT_EQ(r.BitmapMemory(), 5 * 3 * 4);
  // Once written, they live in the XML; asked to, the resource lets them go
  // and has no place to fetch them from.
  r.EnsureLevel(rlEmpty);
  EXPECT_EQ(r.Level(), rlEmpty);
  EXPECT_EQ(r.Bitmap(), nullptr);
}

TEST(Resource, WrittenBitmapIsEncodedByItsExtension) {
  struct Case {
    std::string fileName;
    std::string expectedFileName;
    std::string magic; // bytes 1..3 of the data, empty: no data
  } cases[] = {
      {"", ".hck", "CK"},
      {"/pics/photo", "/pics/photo.hck", "CK"},
      {"/pics/photo.PNG", "/pics/photo.PNG", "PN"},
      {"/pics/photo.xyz", "/pics/photo.xyz", ""},
  };
  auto picture = TestPicture();
  for (const Case &c : cases) {
    SCOPED_TRACE(c.fileName);
    TfsBitmapResource r;
    r.SetFileName(c.fileName);
    r.SetBitmap(picture.get());
    EXPECT_EQ(r.FileName(), c.expectedFileName);
    EXPECT_EQ(r.Level(), rlDecoded);
    EXPECT_TRUE(r.IsDataChanged());
    std::string data = r.Data().Bytes();
    EXPECT_EQ(data.size() < 3 ? data : data.substr(1, 2), c.magic);
    ASSERT_NE(r.Bitmap(), nullptr);
    EXPECT_TRUE(SamePixels(*r.Bitmap(), *picture));
  }
}

TEST(Resource, DrawnChangesReachTheBytes) {
  TfsBitmapResource r;
  auto picture = TestPicture();
  r.SetBitmap(picture.get());
  int changes = 0;
  r.OnBitmapChange = [&](TfsResource &) { ++changes; };
  r.Bitmap()->SetPixel(0, 0, 0xFF123456);
  r.BitmapChanged();
  EXPECT_EQ(changes, 1);
  TfsBitmapResource back;
  auto xml = ThroughXml(r);
  back.ReadFromXml(*xml->Root());
  ASSERT_NE(back.Bitmap(), nullptr);
  EXPECT_EQ(back.Bitmap()->GetPixel(0, 0), 0xFF123456u);

  r.SetBitmap(nullptr);
  EXPECT_EQ(r.Level(), rlEmpty);
  EXPECT_EQ(r.FileName(), "");
}

TEST(Resource, DecodingFailureLeavesNoBitmap) {
  TfsBitmapResource r;
  r.SetFileName("broken.png");
  std::string junk = "\x89PNG\r\n\x1a\n and then nothing useful";
  auto xml =
      ParseXml("<Image><Data><Size>" + std::to_string(junk.size()) +
               "</Size><Filter>Base64</Filter><Buffer>" + Base64Encode(junk.data(), junk.size()) +
               "</Buffer></Data><FileName>broken.png</FileName></Image>");
  r.ReadFromXml(*xml->Root());
  EXPECT_THROW(r.Bitmap(), EfsError);
  EXPECT_EQ(r.Level(), rlEncoded);
  EXPECT_EQ(r.AccessCount(), 0);
}

std::string WithLe32(std::string bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
  return bytes;
}

// Decoders follow offsets the picture gives. Seeking past the end of the
// resource's map stream would make it longer, and the document would then
// be written with those bytes (a damaged offset of 900 MB once made it so).
TEST(Resource, DecodingNeverChangesTheBytes) {
  const std::string bmp = Encoded(*TestPicture(6, 6), ".bmp");
  struct Case {
    const char *name;
    std::string bytes;
  } cases[] = {
      {"pixels beyond the end", WithLe32(bmp, 10, 1u << 20)},
      {"no pixels, offset beyond the end", WithLe32(WithLe32(bmp, 10, 1u << 20), 18, 0)},
      {"header longer than the file", WithLe32(bmp, 14, 0x10000)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TfsBitmapResource r;
    r.SetFileName("picture.bmp");
    r.Data().WriteBytes(c.bytes);
    try {
      r.Bitmap();
    } catch (const EfsError &) {
    }
    EXPECT_EQ(r.Data().Bytes(), c.bytes);
    auto xml = ThroughXml(r);
    ASSERT_NE(xml->Root()->FindChild("Data"), nullptr);
    EXPECT_EQ(xml->Root()->FindChild("Data")->LoadInteger("Size", 0),
              static_cast<int32_t>(c.bytes.size()));
  }

  // Handlers decode from the data itself; what their seeks add goes again.
  for (bool fails : {false, true}) {
    SCOPED_TRACE(fails ? "failing handler" : "handler");
    TfsResource r;
    r.OnDecode = [fails](TfsResource &sender, std::unique_ptr<TBitmap32> &b) {
      sender.Data().Seek(1 << 20, soBeginning);
      if (fails)
        throw EResourceError("damaged");
      b = std::make_unique<TBitmap32>();
    };
    r.Data().WriteBytes("bytes");
    if (fails)
      EXPECT_THROW(r.Bitmap(), EResourceError);
    else
      EXPECT_NE(r.Bitmap(), nullptr);
    EXPECT_EQ(r.Data().Bytes(), "bytes");
  }
}

TEST(Resource, BaseClassCannotConvert) {
  TfsResource r;
  r.Data().WriteBytes("bytes");
  EXPECT_EQ(ErrorOf([&] { r.Bitmap(); }), "No method for object loading defined");
  EXPECT_EQ(ErrorOf([&] { r.ReplaceBitmap(std::make_unique<TBitmap32>()); }),
            "No method for object storing defined");
  EXPECT_EQ(r.AccessCount(), 0);
}

TEST(Resource, ConversionCanBeReplaced) {
  TfsResource r;
  r.OnEncode = [](TfsResource &sender, const TBitmap32 &b) {
    sender.Data().WriteBytes(std::to_string(b.Width()) + "x" + std::to_string(b.Height()));
  };
  r.OnDecode = [](TfsResource &sender, std::unique_ptr<TBitmap32> &b) {
    std::string text = sender.Data().ReadRemaining();
    b = std::make_unique<TBitmap32>();
    b->SetSize(std::stoi(text), std::stoi(text.substr(text.find('x') + 1)));
  };
  auto b = std::make_unique<TBitmap32>();
  b->SetSize(7, 2);
  r.ReplaceBitmap(std::move(b));
  EXPECT_EQ(r.Data().Bytes(), "7x2");
  r.EnsureLevel(rlEncoded);
  EXPECT_EQ(r.Level(), rlEncoded);
  ASSERT_NE(r.Bitmap(), nullptr);
  EXPECT_EQ(r.Bitmap()->Width(), 7);
  EXPECT_EQ(r.Bitmap()->Height(), 2);
}

TEST(Resource, AccessCountMismatch) {
  TfsBitmapResource r;
  r.Lock();
  r.Lock();
  EXPECT_EQ(r.AccessCount(), 2);
  r.Unlock();
  r.Unlock();
  EXPECT_EQ(ErrorOf([&] { r.Unlock(); }), "Access count mismatch");
  EXPECT_EQ(r.AccessCount(), 0);
}

TEST_F(ResourceFiles, LoadFromFileOfAMissingFile) {
  TfsBitmapResource r;
  auto picture = TestPicture();
  r.SetBitmap(picture.get());
  std::string missing = (Dir / "nothing.png").string();
  EXPECT_EQ(ErrorOf([&] { r.LoadFromFile(missing); }), "File does not exist: " + missing);
  EXPECT_EQ(ErrorOf([&] { r.LoadFromFile(Dir.path().string()); }),
            "File does not exist: " + Dir.path().string());
  EXPECT_EQ(r.Level(), rlEmpty);
  EXPECT_EQ(r.FileName(), "");
}

TEST_F(ResourceFiles, LoadFromFileTellsTheOwner) {
  std::string file = PictureFile(".bmp", *TestPicture());
  TfsBitmapResource r;
  std::string calls;
  r.OnChange = [&](TfsResource &) { calls += "change "; };
  r.OnBitmapChange = [&](TfsResource &) { calls += "bitmap "; };
  r.LoadFromFile(file);
  EXPECT_EQ(calls, "change bitmap ");
}

TEST_F(ResourceFiles, UnknownExtensionIsKeptAsHck) {
  auto picture = TestPicture();
  auto path = Dir / "picture.dat";
  WriteFileBytes(path, Encoded(*picture, ".bmp"));
  TfsBitmapResource r;
  r.LoadFromFile(path.string());
  EXPECT_EQ(r.FileName(), FullPath(Dir / "picture.hck"));
  EXPECT_EQ(r.Data().Bytes().substr(0, 3), "HCK");
  ASSERT_NE(r.Bitmap(), nullptr);
  EXPECT_TRUE(SamePixels(*r.Bitmap(), *picture));
}

TEST(Resource, FileExtension) {
  struct Case {
    std::string fileName, ext, renamed;
  } cases[] = {
      {"", "", ".hck"},
      {".HCK", ".hck", ".hck"},
      {"/a/b.Photo.JPG", ".jpg", "/a/b.Photo.hck"},
      {"/a.dir/file", "", "/a.dir/file.hck"},
      {"C:\\a.dir\\file", "", "C:\\a.dir\\file.hck"},
  };
  for (const Case &c : cases) {
    TfsResource r;
    r.SetFileName(c.fileName);
    EXPECT_EQ(r.FileExtension(), c.ext) << c.fileName;
    r.SetFileExtension(".hck");
    EXPECT_EQ(r.FileName(), c.renamed);
  }
}

// ---------------------------------------------------------------------------
// Copying

TEST_F(ResourceFiles, AssignCopiesThePicture) {
  struct Case {
    TfsStorageMode mode;
    bool sameDocument;
  } cases[] = {{smEmbedded, true},  {smEmbedded, false}, {smExternal, true},
               {smExternal, false}, {smArchive, true},   {smArchive, false}};
  std::string file = PictureFile(".png", *TestPicture());
  std::string bytes = ReadFileBytes(file);
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(StorageModeName(c.mode)) + (c.sameDocument ? " same" : " other"));
    TFakeDocument docA, docB;
    TfsBitmapResource source;
    source.SetDocument(&docA);
    source.SetStorage(c.mode);
    source.LoadFromFile(file);
    TfsBitmapResource copy;
    copy.SetDocument(c.sameDocument ? &docA : &docB);
    copy.Assign(source);
    EXPECT_EQ(copy.Storage(), c.mode);
    EXPECT_EQ(copy.FileName(), FullPath(file));
    EXPECT_EQ(copy.Data().Bytes(), bytes);

    // Saved and read back, the copy still has its picture, and in an
    // archive it has an entry of its own.
    auto xml = ThroughXml(copy);
    if (c.mode == smArchive) {
      std::string entry = xml->Root()->LoadString("ArchiveName", "");
      EXPECT_NE(entry, "");
      EXPECT_NE(entry, source.ArchiveName());
    }
    TfsBitmapResource back;
    back.SetDocument(copy.Document());
    back.ReadFromXml(*xml->Root());
    EXPECT_EQ(back.Data().Bytes(), bytes);
  }
}

// ---------------------------------------------------------------------------
// Class registry

class TTestResource : public TfsResource {
public:
  std::string ClassName() const override { return "TTestResource"; }
};

TEST(ResourceClasses, CreateByStoredName) {
  struct Case {
    std::string name, created;
  } cases[] = {{"TfsResource", "TfsResource"},
               {"TfsBitmapResource", "TfsBitmapResource"},
               {"tfsbitmapresource", "TfsResource"},
               {"", "TfsResource"},
               {"TTestResource", "TfsResource"}};
  for (const Case &c : cases)
    EXPECT_EQ(CreateResource(c.name)->ClassName(), c.created) << c.name;

  ResourceClasses().RegisterClass<TTestResource>("TTestResource");
  EXPECT_EQ(CreateResource("TTestResource")->ClassName(), "TTestResource");
  EXPECT_FALSE(ResourceClasses().Find("Nothing"));
  std::vector<std::string> order;
  for (const auto &r : ResourceClasses().Records())
    order.push_back(r.ClassName);
  EXPECT_EQ(order, (std::vector<std::string>{"TfsResource", "TfsBitmapResource", "TTestResource"}))
      << "the program's own classes first, then others in the order they came";
}

// ---------------------------------------------------------------------------
// Compressed bitmap element

TEST(CompressedBitmap, BytesRoundTripInPlanes) {
  for (int planes : {3, 4}) {
    for (size_t n : {size_t(1), size_t(2), size_t(3), size_t(100), size_t(1001)}) {
      std::string bytes(n, '\0');
      for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(i % 7 == 0 ? 0 : i * 13);
      TPlainXml xml("Page");
      WriteCompressedBitmapData(*xml.Root(), "BackgroundImage", bytes, planes);
      auto back = ParseXml(xml.WriteToString());
      TXmlNode *element = back->Root()->FindChild("BackgroundImage");
      ASSERT_NE(element, nullptr);
      EXPECT_TRUE(IsCompressedBitmap(*element));
      EXPECT_EQ(element->LoadInteger("SourceSize", 0), static_cast<int32_t>(n));
      EXPECT_EQ(ReadCompressedBitmapData(*element, planes), bytes) << planes << " " << n;
    }
  }
}

TEST(CompressedBitmap, PictureRoundTrip) {
  auto picture = TestPicture(9, 4);
  TPlainXml xml("Document");
  WriteCompressedBitmap(*xml.Root(), "DefaultBgrImage", *picture);
  auto back = ParseXml(xml.WriteToString());
  TBitmap32 read;
  ReadCompressedBitmap(*back->Root()->FindChild("DefaultBgrImage"), read);
  EXPECT_TRUE(SamePixels(read, *picture));

  // An element without "SourceSize" is a resource instead.
  TPlainXml resource("Document");
  TfsBitmapResource r;
  r.WriteToXml(*resource.Root());
  EXPECT_FALSE(IsCompressedBitmap(*resource.Root()));
}

TEST(CompressedBitmap, DamagedElements) {
  std::string good = Base64Encode("abcdef", 6);
  struct Case {
    std::string xml;
    std::string error; // empty: no data, no error
  } cases[] = {
      {"<E><SourceSize>0</SourceSize><CompressedSize>4</CompressedSize></E>", ""},
      {"<E><SourceSize>10</SourceSize></E>", ""},
      {"<E><SourceSize>10</SourceSize><CompressedSize>40</CompressedSize><Buffer>" + good +
           "</Buffer></E>",
       "Missing data in binary stream"},
      {"<E><SourceSize>10</SourceSize><CompressedSize>4</CompressedSize></E>",
       "Missing data in binary stream"},
      {"<E><SourceSize>2000000000</SourceSize><CompressedSize>4</CompressedSize><Buffer>" + good +
           "</Buffer></E>",
       "Unable to decompress"},
      {"<E><SourceSize>-5</SourceSize><CompressedSize>4</CompressedSize><Buffer>" + good +
           "</Buffer></E>",
       "Unable to decompress"},
      {"<E><SourceSize>10</SourceSize><CompressedSize>4</CompressedSize><Buffer>" + good +
           "</Buffer></E>",
       "Unable to decompress"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.xml);
    auto xml = ParseXml(c.xml);
    if (c.error.empty())
      EXPECT_EQ(ReadCompressedBitmapData(*xml->Root()), "");
    else
      EXPECT_EQ(ErrorOf([&] { ReadCompressedBitmapData(*xml->Root()); }), c.error);
  }
}

} // namespace

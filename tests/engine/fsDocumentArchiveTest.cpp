#include "FakeDocumentHost.h"
#include "engine/fsDocument.h"
#include "persist/fsBmpFormat.h"
#include "persist/fsPlainXml.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string ErrorOf(const std::function<void()> &f) {
  try {
    f();
  } catch (const EfsError &e) {
    return e.what();
  }
  return "";
}

std::string PageXml(TfsPage &page) {
  TPlainXml xml("Page");
  page.SaveToXml(*xml.Root());
  return xml.WriteToString();
}

std::string Entry(TnvStorage &archive, const std::string &name) {
  TMemoryStream data;
  archive.ReadStream(name, data);
  return data.Bytes();
}

void PutEntry(TnvStorage &archive, const std::string &name, const std::string &bytes) {
  TMemoryStream data(bytes);
  archive.WriteStream(name, data);
}

std::string Saved(TfsDocument &doc) {
  TMemoryStream out;
  doc.SaveToStream(out);
  return out.Bytes();
}

void Load(TfsDocument &doc, const std::string &bytes) {
  TMemoryStream in(bytes);
  doc.LoadFromStream(in);
}

// An archive put together by hand, as another program may have written it.
std::string ArchiveOf(const std::vector<std::pair<std::string, std::string>> &entries) {
  TnvStorage archive;
  for (const auto &[name, bytes] : entries)
    PutEntry(archive, name, bytes);
  TMemoryStream out;
  archive.SaveToStream(out);
  return out.Bytes();
}

const std::string EmptyIndex = "<?xml version=\"1.0\"?><Document/>";

class DocumentArchive : public ::testing::Test {
protected:
  DocumentArchive() {
    Doc.SetPageCount(3);
    for (int p = 0; p < 3; ++p) {
      Doc.SetCurrentPageIndex(p);
      for (int s = 0; s <= p; ++s) {
        auto shape = std::make_unique<TfsShape>();
        shape->SetName("p" + std::to_string(p + 1) + "s" + std::to_string(s));
        shape->SetBounds(10.0f + s, 20.5f, 30, 40.25f);
        Doc.AddShape(std::move(shape));
      }
    }
    Doc.SetCurrentPageIndex(0);
  }

  TFakeDocumentHost Host;
  TfsDocument Doc{&Host};
};

TEST_F(DocumentArchive, WrittenAndReadBackGivesTheSamePagesAndTheSameBytes) {
  const std::string first = Saved(Doc);
  EXPECT_FALSE(Doc.Modified());
  EXPECT_EQ(Saved(Doc), first) << "a second save without changes";

  TfsDocument loaded;
  Load(loaded, first);
  ASSERT_EQ(loaded.PageCount(), 3);
  EXPECT_FALSE(loaded.Modified());
  EXPECT_EQ(loaded.CurrentPageIndex(), 0);
  EXPECT_TRUE(loaded.GetPage(0)->ContentLoaded());
  EXPECT_FALSE(loaded.GetPage(1)->ContentLoaded()) << "pages are read when first needed";
  EXPECT_FALSE(loaded.GetPage(2)->ContentLoaded());
  for (int p = 0; p < 3; ++p) {
    SCOPED_TRACE(p);
    EXPECT_EQ(PageXml(*loaded.GetPage(p)), PageXml(*Doc.GetPage(p)));
  }
  EXPECT_EQ(loaded.GetPage(2)->ShapeCount(), 3);
  EXPECT_EQ(Saved(loaded), first) << "a loaded document saves the bytes it came from";

  TnvStorage archive;
  TMemoryStream in(first);
  archive.LoadFromStream(in);
  const std::string index = Entry(archive, "Index.xml");
  EXPECT_NE(index.find("\r\n"), std::string::npos) << "the index is in the readable layout";
  EXPECT_NE(Entry(archive, "Page0002.xml").find("Index=\"2\""), std::string::npos);
  TMemoryStream thumb(Entry(archive, "Thumb0001.bmp"));
  TBitmap32 picture;
  ReadBmpFromStream(thumb, picture);
  EXPECT_EQ(picture.Width(), 80);
  EXPECT_EQ(picture.Height(), 60);
  EXPECT_EQ(Entry(archive, "Thumb0001.bmp").substr(28, 2), std::string("\x18\x00", 2))
      << "24 bits per pixel";
}

TEST_F(DocumentArchive, OnlyTheEditedPageIsWrittenAgain) {
  TfsDocument doc;
  Load(doc, Saved(Doc));
  // Marks that a rewrite of pages 1 and 3 would replace.
  for (const char *name : {"Page0001.xml", "Thumb0001.bmp", "Page0003.xml", "Thumb0003.bmp"})
    PutEntry(doc.Archive(), name, std::string("kept ") + name);
  PutEntry(doc.Archive(), "Thumb0002.bmp", "old thumbnail");
  doc.SetCurrentPageIndex(1);
  doc.GetShape(0)->SetBounds(99, 98, 30, 40);
  const std::string saved = Saved(doc);

  TnvStorage archive;
  TMemoryStream in(saved);
  archive.LoadFromStream(in);
  for (const char *name : {"Page0001.xml", "Thumb0001.bmp", "Page0003.xml", "Thumb0003.bmp"})
    EXPECT_EQ(Entry(archive, name), std::string("kept ") + name);
  EXPECT_NE(Entry(archive, "Page0002.xml").find("99"), std::string::npos);
  EXPECT_TRUE(archive.StreamExists("Index.xml"));
  EXPECT_FALSE(doc.GetPage(2)->ContentLoaded()) << "saving needs no unmodified page";

  EXPECT_EQ(Entry(archive, "Thumb0002.bmp").substr(0, 2), "BM") << "its thumbnail is new";

  // After a full-rewrite request every page is written, read or not.
  TfsDocument full;
  Load(full, Saved(Doc));
  PutEntry(full.Archive(), "Page0001.xml", "kept");
  full.RequestFullRewrite();
  TnvStorage rewritten;
  TMemoryStream again(Saved(full));
  rewritten.LoadFromStream(again);
  EXPECT_NE(Entry(rewritten, "Page0001.xml"), "kept");
  EXPECT_TRUE(full.GetPage(2)->ContentLoaded());
}

TEST_F(DocumentArchive, AMissingPageEntryFailsWhenThePageIsFirstNeeded) {
  const std::string page = "<?xml version=\"1.0\"?><Page Index=\"1\"><Name>x</Name></Page>";
  TfsDocument doc;
  Load(doc, ArchiveOf({{"Index.xml", EmptyIndex},
                       {"Page0001.xml", page},
                       {"Page0003.xml", page},
                       {"Pagexx01.xml", page},
                       {"Other", "x"}}));
  ASSERT_EQ(doc.PageCount(), 3);
  EXPECT_EQ(ErrorOf([&] { doc.SetCurrentPageIndex(1); }),
            "Stream \"Page0002.xml\" not found in the storage");
  EXPECT_EQ(ErrorOf([&] { doc.SetCurrentPageIndex(2); }), "");
  EXPECT_EQ(doc.CurrentPage()->Name(), "x");
  EXPECT_FALSE(doc.IsLoading());
  EXPECT_EQ(ErrorOf([&] { doc.SetCurrentPageIndex(1); }), "") << "it fails once";
}

TEST_F(DocumentArchive, IndexKeysAndTheirFileDefaults) {
  TfsDocument doc;
  ASSERT_TRUE(doc.ShowMargins());
  Load(doc, ArchiveOf({{"Index.xml", EmptyIndex}}));
  EXPECT_EQ(doc.PageCount(), 0);
  EXPECT_FALSE(doc.ShowMargins()) << "a missing ShowMargins reads false";
  EXPECT_EQ(doc.Quality(), sfNearest);
  EXPECT_EQ(doc.HandleColor(), 0);
  EXPECT_TRUE(doc.StoreThumbnails());
  EXPECT_EQ(doc.PageDefaults().PageColor, 0xFFFFFF);
  EXPECT_EQ(doc.PageDefaults().PageWidth, 210);
  EXPECT_EQ(doc.ThumbnailWidth(), 80);

  struct Case {
    const char *key;
    std::function<void(TfsDocument &)> set;
    std::function<bool(TfsDocument &)> check;
  };
  const Case cases[] = {
      {"DefaultPageColor", [](TfsDocument &d) { d.SetDefaultPageColor(0); },
       [](TfsDocument &d) { return d.PageDefaults().PageColor == 0; }},
      {"ScreenDpm",
       [](TfsDocument &d) {
         d.SetViewMapping({0, 0, 2 * 150 / 25.4f});
       },
       // Floats are written with six significant digits.
       [](TfsDocument &d) { return std::fabs(d.ViewScale() - 2 * 150 / 25.4f) < 1e-4f; }},
      {"HandleColor", [](TfsDocument &d) { d.SetHandleColor(0x80FF0000); },
       [](TfsDocument &d) { return d.HandleColor() == TColor(0x80FF0000); }},
      {"StretchFilter", [](TfsDocument &d) { d.SetQuality(sfLanczos); },
       [](TfsDocument &d) { return d.Quality() == sfLanczos; }},
      {"DefaultMarginTop", [](TfsDocument &d) { d.SetDefaultMarginTop(2.5f); },
       [](TfsDocument &d) { return d.PageDefaults().MarginTop == 2.5f; }},
      {"ThumbnailHeight", [](TfsDocument &d) { d.SetThumbnailHeight(33); },
       [](TfsDocument &d) { return d.ThumbnailHeight() == 33; }},
      {"FontEmbedding", [](TfsDocument &d) { d.SetFontEmbedding(true); },
       [](TfsDocument &d) { return d.FontEmbedding(); }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.key);
    TfsDocument source;
    c.set(source);
    const std::string saved = Saved(source);
    TnvStorage archive;
    TMemoryStream in(saved);
    archive.LoadFromStream(in);
    EXPECT_NE(Entry(archive, "Index.xml").find(std::string("<") + c.key + ">"), std::string::npos);
    TfsDocument back;
    Load(back, saved);
    EXPECT_TRUE(c.check(back)) << Entry(archive, "Index.xml");
  }

  // Values at their file default are not written.
  TfsDocument plain;
  plain.SetShowMargins(false);
  plain.SetQuality(sfNearest);
  TnvStorage archive;
  TMemoryStream in(Saved(plain));
  archive.LoadFromStream(in);
  const std::string index = Entry(archive, "Index.xml");
  for (const char *key : {"DefaultPageColor", "ShowMargins", "ScreenDpm", "StretchFilter"})
    EXPECT_EQ(index.find(key), std::string::npos) << key;
}

TEST_F(DocumentArchive, ThumbnailsOnlyWithStoreThumbnails) {
  TBitmap32 red;
  red.SetSize(80, 60);
  red.Clear(0xFFFF0000);
  TMemoryStream bmp;
  WriteBmpToStream(red, bmp);
  const std::string page = "<?xml version=\"1.0\"?><Page Index=\"1\"/>";
  const std::string off =
      "<?xml version=\"1.0\"?><Document><StoreThumbnails>False</StoreThumbnails>"
      "</Document>";
  for (bool store : {true, false}) {
    SCOPED_TRACE(store);
    TfsDocument doc;
    Load(doc, ArchiveOf({{"Index.xml", store ? EmptyIndex : off},
                         {"Page0001.xml", page},
                         {"Page0002.xml", page},
                         {"Thumb0002.bmp", bmp.Bytes()}}));
    ASSERT_EQ(doc.PageCount(), 2);
    const TBitmap32 *thumb = doc.GetPage(1)->GetThumbnail();
    ASSERT_NE(thumb, nullptr);
    EXPECT_EQ(thumb->GetPixel(40, 30) == 0xFFFF0000, store) << "the stored thumbnail is shown";

    doc.GetPage(0)->SetName("changed");
    doc.GetPage(1)->SetName("changed");
    TnvStorage archive;
    TMemoryStream in(Saved(doc));
    archive.LoadFromStream(in);
    EXPECT_EQ(archive.StreamExists("Thumb0001.bmp"), store);
    EXPECT_TRUE(archive.StreamExists("Thumb0002.bmp"));
    if (!store) {
      EXPECT_EQ(Entry(archive, "Thumb0002.bmp"), bmp.Bytes()) << "kept untouched";
    }
  }
}

TEST_F(DocumentArchive, TheDefaultBackgroundTravelsInTheIndex) {
  TBitmap32 picture;
  picture.SetSize(6, 4);
  picture.Clear(0xFF204060);
  Doc.DefaultBackground().SetBitmap(&picture);
  Doc.SetDefaultBackgroundTiled(true);
  const std::string saved = Saved(Doc);
  TnvStorage archive;
  TMemoryStream in(saved);
  archive.LoadFromStream(in);
  EXPECT_NE(Entry(archive, "Index.xml").find("<DefaultBgrImage>"), std::string::npos);

  TfsDocument back;
  Load(back, saved);
  EXPECT_TRUE(back.PageDefaults().BackgroundTiled);
  TBitmap32 *loaded = back.DefaultBackground().Bitmap();
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Width(), 6);
  EXPECT_EQ(loaded->Height(), 4);
  EXPECT_EQ(loaded->GetPixel(3, 2), picture.GetPixel(3, 2));

  TfsDocument none;
  Load(none, Saved(none));
  EXPECT_EQ(none.DefaultBackground().Level(), rlEmpty);
}

TEST_F(DocumentArchive, FontsGoWithFontEmbedding) {
  for (bool embed : {false, true}) {
    TfsDocument doc;
    doc.SetFontEmbedding(embed);
    TnvStorage archive;
    TMemoryStream in(Saved(doc));
    archive.LoadFromStream(in);
    EXPECT_EQ(archive.StreamExists("Fonts.dat"), embed);
  }
  // Unreadable fonts do not stop the document.
  TfsDocument doc;
  Load(doc, ArchiveOf({{"Index.xml", "<Document><FontEmbedding>True</FontEmbedding></Document>"},
                       {"Fonts.dat", "garbage that is no font data"},
                       {"Page0001.xml", "<Page/>"}}));
  EXPECT_EQ(doc.PageCount(), 1);
  EXPECT_TRUE(doc.FontEmbedding());
}

TEST_F(DocumentArchive, FailuresGiveTheirMessages) {
  testsupport::TempDir dir;
  const std::string missing = (dir / "missing.fbd").string();
  TfsDocument doc;
  EXPECT_EQ(ErrorOf([&] { doc.LoadFromFile(missing); }), "Cannot find file \"" + missing + "\"");
  EXPECT_EQ(ErrorOf([&] {
              Load(doc, ArchiveOf({{"Page0001.xml", "<Page/>"}}));
            }),
            "Stream \"Index.xml\" not found in the storage");
  EXPECT_EQ(ErrorOf([&] {
              Load(doc, ArchiveOf({{"Index.xml", ""}}));
            }),
            "No index found in archive");
  EXPECT_FALSE(doc.IsLoading());
  EXPECT_FALSE(doc.IsWorking());

  // A handler that starts another operation is refused.
  std::string inner;
  Doc.OnProgress = [&](TfsDocument &d, TfsProgressType, int64_t, int64_t, int) {
    if (inner.empty())
      inner = ErrorOf([&] { Saved(d); });
  };
  Saved(Doc);
  EXPECT_EQ(inner, "Threading error (working already)");
  EXPECT_FALSE(Doc.IsWorking());
}

TEST_F(DocumentArchive, SavingReportsProgressAndLeavesACleanDocument) {
  std::vector<std::string> events;
  Doc.OnProgress = [&](TfsDocument &, TfsProgressType type, int64_t count, int64_t total,
                       int percent) {
    events.push_back(std::to_string(type) + " " + std::to_string(count) + "/" +
                     std::to_string(total) + " " + std::to_string(percent));
  };
  Doc.SetPageCount(2);
  Doc.GetShape(0)->SetName("again");
  Doc.SetUndoPastSave(true);
  ASSERT_GT(Doc.UndoCount(), 0);
  const std::string saved = Saved(Doc);
  EXPECT_EQ(events, (std::vector<std::string>{"1 1/2 10", "1 1/2 30", "1 1/2 35", "1 2/2 60",
                                              "1 2/2 80", "1 2/2 85", "1 2/2 100"}));
  EXPECT_FALSE(Doc.Modified());
  EXPECT_FALSE(Doc.GetPage(0)->Modified());
  EXPECT_GT(Doc.UndoCount(), 0) << "UndoPastSave keeps the history";
  EXPECT_EQ(Host.LastCursor(), crDefault);
  EXPECT_NE(std::find(Host.Cursors.begin(), Host.Cursors.end(), crHourGlass), Host.Cursors.end());

  Doc.SetUndoPastSave(false);
  Doc.GetShape(0)->SetName("once more");
  Saved(Doc);
  EXPECT_EQ(Doc.UndoCount(), 0);

  events.clear();
  TfsDocument loaded;
  loaded.OnProgress = Doc.OnProgress;
  Load(loaded, saved);
  EXPECT_EQ(events, (std::vector<std::string>{"0 1/2 0", "0 2/2 50", "0 2/2 100"}));
}

TEST_F(DocumentArchive, FilesRoundTripAndLinkedFilesAreAskedFor) {
  testsupport::TempDir dir;
  const std::string file = (dir / "doc.fbd").string();
  Doc.SaveToFile(file);
  TfsDocument loaded;
  loaded.LoadFromFile(file);
  EXPECT_EQ(loaded.PageCount(), 3);
  EXPECT_EQ(PageXml(*loaded.GetPage(1)), PageXml(*Doc.GetPage(1)));

  TfsShape shape;
  std::string name = "/some/folder/lost.png";
  Host.ConfirmAnswer = false;
  Doc.LocateFile(shape, name);
  ASSERT_EQ(Host.Questions.size(), 1u);
  EXPECT_EQ(Host.Questions[0], "The original file lost.png could not be located on disk. Do you "
                               "want to try and find it yourself?");
  EXPECT_EQ(name, "/some/folder/lost.png");
  Doc.OnLocateFilename = [](TfsShape &, std::string &n) { n = "found.png"; };
  Doc.LocateFile(shape, name);
  EXPECT_EQ(name, "found.png");
  EXPECT_EQ(Host.Questions.size(), 1u);
}

} // namespace

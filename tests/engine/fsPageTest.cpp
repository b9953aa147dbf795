#include "engine/fsPage.h"

#include "engine/fsDocument.h"
#include "persist/fsImageFormats.h"
#include "persist/fsPlainXml.h"
#include "raster/fsGR32.h"

#include "engine/FakeDocumentHost.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr TColor Red = 0x0000FF; // the platform's $00BBGGRR
constexpr TColor32 Red32 = 0xFFFF0000;
constexpr TColor32 Blue32 = 0xFF0000FF;
constexpr TColor32 Green32 = 0xFF00FF00;
constexpr TColor32 Grey32 = 0xFF808080;
constexpr TColor32 GridColor32 = 0xFFC0FFFF; // the default grid colour $FFFFC0

TDeviceContext Context(TDeviceType type, float dpm) {
  TDeviceContext c;
  c.DeviceType = type;
  c.DestDpm = dpm;
  c.CacheDpm = dpm;
  return c;
}

// The page rendered on its own frame at dpm into a width x height bitmap
// that starts grey.
std::unique_ptr<TBitmap32> Render(TfsPage &page, TDeviceType type, float dpm, int32_t width,
                                  int32_t height) {
  auto b = std::make_unique<TBitmap32>();
  b->SetSize(width, height);
  b->FillAll(Grey32);
  TfsShape::RenderShape(page, *b, FloatRect(0, 0, width / dpm, height / dpm), Context(type, dpm),
                        true);
  return b;
}

std::unique_ptr<TBitmap32> Picture(int32_t w, int32_t h, TColor32 fill) {
  auto b = std::make_unique<TBitmap32>();
  b->SetSize(w, h);
  b->FillAll(fill);
  return b;
}

class PageTest : public ::testing::Test {
protected:
  PageTest() { Doc.SetModified(false); }
  TfsPage &Page() { return *Doc.CurrentPage(); }
  // A small page of its own on which one pixel is one millimetre.
  TfsPage &SmallPage() {
    Page().SetBounds(0, 0, 20, 20);
    return Page();
  }

  TfsDocument Doc;
};

TEST_F(PageTest, NewPageShowsTheDocumentDefaults) {
  TfsPage &page = Page();
  EXPECT_TRUE(page.IsDefaultPage());
  EXPECT_EQ(page.MarginLeft(), 10);
  EXPECT_EQ(page.MarginTop(), 10);
  EXPECT_EQ(page.MarginRight(), 10);
  EXPECT_EQ(page.MarginBottom(), 10);
  EXPECT_EQ(page.GridSize(), 5);
  EXPECT_EQ(page.GridColor(), 0xFFFFC0);
  EXPECT_EQ(page.PageColor(), 0xFFFFFF);
  EXPECT_EQ(page.DocWidth(), 210);
  EXPECT_EQ(page.DocHeight(), 297);
  EXPECT_EQ(page.CurbRight(), 1);
  EXPECT_EQ(page.CurbBottom(), 1);
  EXPECT_EQ(page.GetDisplayName(), "Page 1");
  Doc.AddPage();
  EXPECT_EQ(Doc.GetPage(1)->GetDisplayName(), "Page 2");
  Doc.GetPage(1)->SetName("Cover");
  EXPECT_EQ(Doc.GetPage(1)->GetDisplayName(), "Cover");

  TfsPage alone;
  EXPECT_EQ(alone.GetDisplayName(), "Page 0");
  EXPECT_EQ(alone.HelperMethod(), hmNone);
  EXPECT_FALSE(alone.ShowMargins());
  EXPECT_EQ(alone.ViewStyle(), vsNormal);
}

TEST_F(PageTest, ChangingAMarginCopiesTheDefaultsOnce) {
  auto picture = Picture(4, 3, Blue32);
  Doc.DefaultBackground().SetBitmap(picture.get());
  Doc.SetDefaultGridSize(4);
  Doc.SetDefaultPageColor(Red);
  TfsPage &page = Page();

  page.SetMarginLeft(10); // the value it shows already
  EXPECT_TRUE(page.IsDefaultPage());

  Doc.SetModified(false);
  page.SetMarginLeft(12);
  EXPECT_FALSE(page.IsDefaultPage());
  EXPECT_TRUE(Doc.Modified());
  EXPECT_EQ(page.MarginLeft(), 12);
  EXPECT_EQ(page.MarginTop(), 10);
  EXPECT_EQ(page.GridSize(), 4);
  EXPECT_EQ(page.PageColor(), Red);
  ASSERT_NE(page.OwnBackground().Bitmap(), nullptr);
  EXPECT_EQ(page.OwnBackground().Bitmap()->Width(), 4);
  EXPECT_EQ(&page.Background(), &page.OwnBackground());

  Doc.SetDefaultMarginTop(20);
  Doc.SetDefaultGridSize(8);
  Doc.SetDefaultPageColor(0xFFFFFF);
  Doc.DefaultBackground().SetBitmap(nullptr);
  EXPECT_EQ(page.MarginTop(), 10);
  EXPECT_EQ(page.GridSize(), 4);
  EXPECT_EQ(page.PageColor(), Red);
  EXPECT_NE(page.Background().Bitmap(), nullptr);
}

TEST_F(PageTest, BecomingDefaultAgainTakesTheDefaultSize) {
  Doc.AddPage();
  TfsPage &second = *Doc.GetPage(1);
  second.SetMarginTop(3);
  second.SetBounds(0, 0, 100, 50);
  ASSERT_EQ(Doc.CurrentPageIndex(), 0);
  second.SetIsDefaultPage(true);
  EXPECT_TRUE(second.IsDefaultPage());
  EXPECT_EQ(second.MarginTop(), 10);
  // The page itself, not whichever page is current.
  EXPECT_EQ(second.DocWidth(), 210);
  EXPECT_EQ(second.DocHeight(), 297);
}

TEST_F(PageTest, APictureFileOfItsOwnEndsTheDefaults) {
  testsupport::TempDir dir;
  const std::string file = (dir / "own.bmp").string();
  SaveBitmapToFile(file, *Picture(6, 2, Green32));
  auto defaultPicture = Picture(4, 3, Blue32);
  Doc.DefaultBackground().SetBitmap(defaultPicture.get());
  Doc.SetDefaultMarginLeft(7);
  TfsPage &page = Page();

  page.OwnBackground().LoadFromFile(file);
  EXPECT_FALSE(page.IsDefaultPage());
  EXPECT_EQ(page.MarginLeft(), 7);
  TBitmap32 *shown = page.Background().Bitmap();
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(shown->Width(), 6);
  EXPECT_EQ(shown->GetPixel(0, 0), Green32);

  // Any later change of the picture is a change of the page.
  int changes = 0;
  Doc.OnShapeChanged = [&](TfsDocument &, TfsShape *s) { changes += s == &page; };
  Doc.SetModified(false);
  page.OwnBackground().SetBitmap(defaultPicture.get());
  EXPECT_GT(changes, 0);
  EXPECT_TRUE(Doc.Modified());
  EXPECT_TRUE(page.ThumbnailStale());
}

TEST_F(PageTest, SnapPointRoundsHalvesToEven) {
  struct Case {
    float grid;
    TFloatPoint in, out;
  };
  const Case cases[] = {
      {5, {12.4f, 7.5f}, {10, 10}},  // 7.5 / 5 = 1.5 goes to 2
      {5, {12.5f, 17.5f}, {10, 20}}, // 2.5 goes to 2, 3.5 to 4
      {5, {-2.6f, 2.4f}, {-5, 0}},       {2.5f, {3.75f, 1.2f}, {5, 0}},
      {0, {12.4f, 7.5f}, {12.4f, 7.5f}}, // no grid: unchanged
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.grid);
    Page().SetGridSize(c.grid);
    TFloatPoint p = c.in;
    Page().SnapPoint(p);
    EXPECT_FLOAT_EQ(p.X, c.out.X);
    EXPECT_FLOAT_EQ(p.Y, c.out.Y);
  }
}

TEST_F(PageTest, ThePageKeysComeFirstAndOnlyAwayFromTheirFileDefaults) {
  TPlainXml xml("Page");
  Page().SaveToXml(*xml.Root());
  EXPECT_EQ(xml.Root()->FindChild("IsDefaultPage"), nullptr);
  EXPECT_EQ(xml.Root()->FindChild("MarginLeft"), nullptr);
  ASSERT_GT(xml.Root()->ChildCount(), 0);
  EXPECT_EQ(xml.Root()->Child(0)->Name(), "ClassName");

  Page().SetMarginLeft(12);
  TPlainXml own("Page");
  Page().SaveToXml(*own.Root());
  std::vector<std::string> names;
  for (int i = 0; i < own.Root()->ChildCount(); ++i)
    names.push_back(own.Root()->Child(i)->Name());
  const std::vector<std::string> first = {"IsDefaultPage", "MarginLeft", "MarginTop", "MarginRight",
                                          "MarginBottom",  "GridSize",   "GridColor", "PageWidth",
                                          "PageHeight",    "ClassName"};
  ASSERT_GE(names.size(), first.size());
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + first.size()), first);
  EXPECT_EQ(own.Root()->LoadString("IsDefaultPage", ""), "False");
}

TEST_F(PageTest, PageColourIsWrittenOnlyWhenNotWhite) {
  struct Case {
    TColor color;
    bool written;
  };
  for (const Case &c : {Case{0x000000, true}, Case{0xFFFFFF, false}, Case{Red, true}}) {
    SCOPED_TRACE(c.color);
    Page().SetMarginLeft(1); // an own page, whose colour is written
    Page().SetPageColor(c.color);
    TPlainXml xml("Page");
    Page().SaveToXml(*xml.Root());
    EXPECT_EQ(xml.Root()->FindChild("PageColor") != nullptr, c.written);

    TfsDocument other;
    TfsPage &read = *other.CurrentPage();
    read.LoadFromXml(xml.Root());
    EXPECT_FALSE(read.IsDefaultPage());
    EXPECT_EQ(read.PageColor(), c.color);
    EXPECT_EQ(read.MarginLeft(), 1);
    EXPECT_EQ(read.DocWidth(), 210);
    EXPECT_FALSE(read.ThumbnailStale());
  }
}

TEST_F(PageTest, BackgroundImageReadsBothStoredForms) {
  auto picture = Picture(5, 4, Blue32);
  picture->SetPixel(1, 2, Red32);

  // The older compressed element.
  TPlainXml compressed("Page");
  compressed.Root()->StoreBool("IsDefaultPage", false, true);
  compressed.Root()->StoreFloat("PageWidth", 100.0f, 0.0f);
  compressed.Root()->StoreFloat("PageHeight", 80.0f, 0.0f);
  WriteCompressedBitmap(*compressed.Root(), "BackgroundImage", *picture);
  const int undoBefore = Doc.UndoCount();
  Page().LoadFromXml(compressed.Root());
  EXPECT_EQ(Page().DocWidth(), 100);
  EXPECT_EQ(Page().DocHeight(), 80);
  EXPECT_EQ(Doc.UndoCount(), undoBefore); // reading a page is no step to undo
  TBitmap32 *read = Page().Background().Bitmap();
  ASSERT_NE(read, nullptr);
  ASSERT_EQ(read->Width(), 5);
  EXPECT_EQ(read->GetPixel(1, 2), Red32);
  EXPECT_EQ(read->GetPixel(0, 0), Blue32);

  // The resource form, as the page writes it.
  Page().SetBackgroundTiled(true);
  TPlainXml xml("Page");
  Page().SaveToXml(*xml.Root());
  ASSERT_NE(xml.Root()->FindChild("BackgroundImage"), nullptr);
  EXPECT_FALSE(IsCompressedBitmap(*xml.Root()->FindChild("BackgroundImage")));
  TfsDocument other;
  TfsPage &copy = *other.CurrentPage();
  copy.LoadFromXml(xml.Root());
  EXPECT_TRUE(copy.BackgroundTiled());
  TBitmap32 *again = copy.Background().Bitmap();
  ASSERT_NE(again, nullptr);
  ASSERT_EQ(again->Width(), 5);
  EXPECT_EQ(again->GetPixel(1, 2), Red32);

  // A page without a picture writes none and drops an old one on reading.
  copy.OwnBackground().SetBitmap(nullptr);
  TPlainXml none("Page");
  copy.SaveToXml(*none.Root());
  EXPECT_EQ(none.Root()->FindChild("BackgroundImage"), nullptr);
  Page().LoadFromXml(none.Root());
  EXPECT_EQ(Page().Background().Bitmap(), nullptr);
}

// A 300 x 150 pixel picture is 50.8 x 25.4 mm at 150 dpi: at 150 dpi its
// tiles are 300 x 150 pixels from the page's top-left corner, the last
// column and row cut off by the page edge.
TEST_F(PageTest, TiledBackgroundIsLaidOutInPictureSizedTiles) {
  auto picture = Picture(300, 150, Blue32);
  picture->SetPixel(0, 0, Red32);
  picture->SetPixel(299, 149, Green32);
  Page().SetBackgroundTiled(true);
  Page().OwnBackground().SetBitmap(picture.get());
  auto b = Render(Page(), dtPrinter, Dpm150, 1240, 1754);
  for (int r = 0; r < 12; ++r)
    for (int c = 0; c < 5; ++c) {
      SCOPED_TRACE(testing::Message() << "tile " << c << "," << r);
      const int x = c * 300;
      const int y = r * 150;
      EXPECT_EQ(b->GetPixel(x, y), Red32);
      EXPECT_EQ(b->GetPixel(x + 1, y), Blue32);
      if (c < 4 && r < 11) {
        EXPECT_EQ(b->GetPixel(x + 299, y + 149), Green32);
      }
    }
  // The cut-off tiles show the picture's top-left part, not a squeezed one.
  EXPECT_EQ(b->GetPixel(1239, 1753), Blue32);

  // At 1 pixel per mm a tile is round(50.8) x round(25.4) = 51 x 25 pixels.
  auto halves = Picture(300, 150, Blue32);
  halves->FillRect(0, 0, 150, 150, Red32);
  Page().OwnBackground().SetBitmap(halves.get());
  auto small = Render(Page(), dtPrinter, 1, 210, 297);
  for (int c = 1; c < 5; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(small->GetPixel(51 * c, 10), Red32);
    EXPECT_EQ(small->GetPixel(51 * c - 1, 10), Blue32);
  }
}

TEST_F(PageTest, StretchedBackgroundCoversThePage) {
  auto picture = Picture(2, 2, Blue32);
  picture->FillRect(0, 0, 1, 2, Red32);
  // A picture put into the page's own background shows once the page has
  // left the defaults.
  Page().OwnBackground().SetBitmap(picture.get());
  SmallPage();
  EXPECT_EQ(Render(Page(), dtPrinter, 1, 20, 20)->GetPixel(0, 10), clWhite32);
  Page().SetIsDefaultPage(false);
  EXPECT_EQ(Page().Background().Bitmap(), nullptr); // the defaults' empty one
  Page().OwnBackground().SetBitmap(picture.get());
  auto b = Render(Page(), dtPrinter, 1, 20, 20);
  EXPECT_EQ(b->GetPixel(0, 10), Red32);
  EXPECT_EQ(b->GetPixel(19, 10), Blue32);
}

TEST_F(PageTest, PatternHelperShowsTheCheckerboardOnScreenOnly) {
  Doc.SetHelperMethod(hmPattern);
  Doc.SetDefaultPageColor(Red);
  SmallPage();
  auto screen = Render(Page(), dtScreen, 1, 24, 24);
  EXPECT_EQ(screen->GetPixel(1, 1), 0xFFB0B0B0);
  EXPECT_EQ(screen->GetPixel(9, 1), 0xFFFFFFFF);
  EXPECT_EQ(screen->GetPixel(1, 9), 0xFFFFFFFF);
  EXPECT_EQ(screen->GetPixel(9, 9), 0xFFB0B0B0);
  EXPECT_EQ(screen->GetPixel(17, 2), 0xFFB0B0B0);
  EXPECT_EQ(screen->GetPixel(22, 22), Grey32); // outside the page

  for (TDeviceType type : {dtPrinter, dtTransparent}) {
    auto printed = Render(Page(), type, 1, 24, 24);
    EXPECT_EQ(printed->GetPixel(1, 1), type == dtPrinter ? Red32 : Grey32);
    EXPECT_EQ(printed->GetPixel(9, 1), type == dtPrinter ? Red32 : Grey32);
  }

  Page().SetBounds(0, 0, 210, 297);
  const TBitmap32 *thumb = Page().GetThumbnail();
  ASSERT_NE(thumb, nullptr);
  EXPECT_EQ(thumb->GetPixel(40, 30), Red32);
}

TEST_F(PageTest, GridLinesAndDotsOnScreen) {
  Doc.SetViewStyle(vsNormal);
  Doc.SetShowMargins(false);
  SmallPage(); // grid 5 mm: lines at 5, 10 and 15
  Doc.SetHelperMethod(hmGrid);
  auto grid = Render(Page(), dtScreen, 1, 22, 22);
  for (int at : {5, 10, 15}) {
    SCOPED_TRACE(at);
    EXPECT_EQ(grid->GetPixel(at, 0), clWhite32);
    EXPECT_EQ(grid->GetPixel(at, 1), GridColor32);
    EXPECT_EQ(grid->GetPixel(at, 18), GridColor32);
    EXPECT_EQ(grid->GetPixel(at, 19), clWhite32);
    EXPECT_EQ(grid->GetPixel(0, at), clWhite32);
    EXPECT_EQ(grid->GetPixel(1, at), GridColor32);
    EXPECT_EQ(grid->GetPixel(18, at), GridColor32);
    EXPECT_EQ(grid->GetPixel(19, at), clWhite32);
  }
  EXPECT_EQ(grid->GetPixel(4, 3), clWhite32);
  EXPECT_EQ(Render(Page(), dtPrinter, 1, 22, 22)->GetPixel(5, 3), clWhite32);

  Doc.SetHelperMethod(hmDots);
  auto dots = Render(Page(), dtScreen, 1, 22, 22);
  EXPECT_EQ(dots->GetPixel(5, 5), GridColor32);
  EXPECT_EQ(dots->GetPixel(15, 10), GridColor32);
  EXPECT_EQ(dots->GetPixel(20, 20), GridColor32); // i and j run up to 20 / 5
  EXPECT_EQ(dots->GetPixel(5, 6), clWhite32);
  EXPECT_EQ(dots->GetPixel(6, 5), clWhite32);

  // A grid far finer than a pixel stays bounded by the bitmap.
  Page().SetGridSize(1e-6f);
  auto fine = Render(Page(), dtScreen, 1, 22, 22);
  EXPECT_EQ(fine->GetPixel(3, 3), GridColor32);
}

TEST_F(PageTest, MarginsAreAStippledFrameOnScreen) {
  Doc.SetViewStyle(vsNormal);
  SmallPage();
  for (auto set : {&TfsPage::SetMarginLeft, &TfsPage::SetMarginTop, &TfsPage::SetMarginRight,
                   &TfsPage::SetMarginBottom})
    (Page().*set)(2);
  Page().SetPageColor(Red);
  auto b = Render(Page(), dtScreen, 1, 22, 22);
  // The frame runs from (2, 2) to (18, 18) inclusive.
  for (int i = 2; i <= 18; ++i) {
    SCOPED_TRACE(i);
    EXPECT_NE(b->GetPixel(i, 2), Red32);
    EXPECT_NE(b->GetPixel(i, 18), Red32);
    EXPECT_NE(b->GetPixel(2, i), Red32);
    EXPECT_NE(b->GetPixel(18, i), Red32);
  }
  EXPECT_EQ(b->GetPixel(3, 3), Red32);
  EXPECT_EQ(b->GetPixel(1, 2), Red32);
  EXPECT_EQ(b->GetPixel(19, 2), Red32);
  EXPECT_EQ(b->GetPixel(2, 19), Red32);
  EXPECT_EQ(Render(Page(), dtPrinter, 1, 22, 22)->GetPixel(2, 2), Red32);
}

TEST_F(PageTest, PrintLayoutFrameAndShadow) {
  Doc.SetShowMargins(false);
  SmallPage();
  auto b = Render(Page(), dtScreen, 1, 24, 24);
  EXPECT_EQ(b->GetPixel(0, 0), clBlack32);
  EXPECT_EQ(b->GetPixel(19, 10), clBlack32);
  EXPECT_EQ(b->GetPixel(10, 19), clBlack32);
  EXPECT_EQ(b->GetPixel(1, 1), clWhite32);
  // The 1 mm shadow right and below, offset by its own width.
  EXPECT_EQ(b->GetPixel(1, 20), clBlack32);
  EXPECT_EQ(b->GetPixel(20, 20), clBlack32);
  EXPECT_EQ(b->GetPixel(20, 1), clBlack32);
  EXPECT_EQ(b->GetPixel(0, 20), Grey32);
  EXPECT_EQ(b->GetPixel(20, 0), Grey32);
  EXPECT_EQ(b->GetPixel(21, 21), Grey32);

  Doc.SetViewStyle(vsNormal);
  auto normal = Render(Page(), dtScreen, 1, 24, 24);
  EXPECT_EQ(normal->GetPixel(0, 0), clWhite32);
  EXPECT_EQ(normal->GetPixel(20, 20), Grey32);
}

TEST_F(PageTest, PaintEventsGetThePageRectangle) {
  SmallPage();
  std::vector<std::string> calls;
  TRect background, foreground;
  Doc.OnPaintBackground = [&](TfsDocument &, TBitmap32 &, const TDeviceContext &c, const TRect &r) {
    calls.push_back(c.DeviceType == dtPrinter ? "back printer" : "back");
    background = r;
  };
  Doc.OnPaintForeground = [&](TfsDocument &, TBitmap32 &, const TDeviceContext &, const TRect &r) {
    calls.push_back("fore");
    foreground = r;
  };
  Render(Page(), dtPrinter, 2, 50, 50);
  EXPECT_EQ(calls, (std::vector<std::string>{"back printer", "fore"}));
  EXPECT_EQ(background, Rect(0, 0, 40, 40));
  EXPECT_EQ(foreground, Rect(0, 0, 40, 40));
}

TEST_F(PageTest, ThumbnailIsFramedAndRenewedWhenStale) {
  Doc.SetColor(0x808080);
  Doc.SetDefaultPageColor(Red);
  TfsPage &page = Page();
  const TBitmap32 *thumb = page.GetThumbnail();
  ASSERT_NE(thumb, nullptr);
  ASSERT_EQ(thumb->Width(), 80);
  ASSERT_EQ(thumb->Height(), 60);
  // 210 x 297 mm fitted into 80 x 60: 42 x 60 pixels at x (80 - 42) div 2.
  for (int y = 0; y < 60; ++y) {
    EXPECT_EQ(thumb->GetPixel(19, y), clBlack32);
    EXPECT_EQ(thumb->GetPixel(60, y), clBlack32);
  }
  EXPECT_EQ(thumb->GetPixel(30, 0), clBlack32);
  EXPECT_EQ(thumb->GetPixel(30, 59), clBlack32);
  EXPECT_EQ(thumb->GetPixel(40, 30), Red32);
  EXPECT_EQ(thumb->GetPixel(5, 30), Grey32);
  EXPECT_EQ(thumb->GetPixel(70, 30), Grey32);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x)
      ASSERT_EQ(AlphaComponent(thumb->GetPixel(x, y)), 255);
  EXPECT_FALSE(page.ThumbnailStale());
  EXPECT_EQ(page.GetThumbnail(), thumb);

  Doc.SetDefaultPageColor(0x00FF00);
  EXPECT_TRUE(page.ThumbnailStale());
  EXPECT_EQ(page.GetThumbnail()->GetPixel(40, 30), Green32);

  int announced = 0;
  Doc.OnPageChanged = [&](TfsDocument &, TfsPage *p) { announced += p == &page; };
  page.UpdateThumbnail();
  EXPECT_EQ(announced, 1);

  auto stored = Picture(8, 6, Blue32);
  page.SetModified(true);
  page.SetThumbnail(stored.get());
  EXPECT_FALSE(page.ThumbnailStale());
  EXPECT_EQ(page.GetThumbnail()->Width(), 8);

  TfsPage alone;
  EXPECT_EQ(alone.GetThumbnail(), nullptr);
}

TEST_F(PageTest, ThePageIsReadTheFirstTimeItIsNeeded) {
  int reads = 0;
  Doc.OnReadPage = [&](TfsDocument &, TfsPage &p) {
    ++reads;
    EXPECT_TRUE(p.ContentLoaded());
    EXPECT_TRUE(Doc.IsLoading());
    p.SetMarginLeft(3); // reading asks for the page's settings again
  };
  TfsPage &page = Page();
  page.SetContentLoaded(false);
  EXPECT_EQ(page.MarginLeft(), 3);
  EXPECT_EQ(reads, 1);
  EXPECT_FALSE(Doc.IsLoading());
  page.MarginTop();
  EXPECT_EQ(reads, 1);
}

TEST_F(PageTest, PlacingThePageIsNoUndoStep) {
  TfsPage &page = Page();
  page.SetPagePosition(3, 4);
  EXPECT_EQ(page.DocLeft(), 3);
  EXPECT_EQ(page.DocTop(), 4);
  EXPECT_EQ(Doc.UndoCount(), 0);
  page.SetDocLeft(5);
  EXPECT_EQ(Doc.UndoCount(), 1);
}

} // namespace

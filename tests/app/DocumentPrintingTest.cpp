#include "app/TfsDocumentPrinting.h"
#include "engine/fsDocument.h"
#include "qtprint/fsQtPrinter.h"
#include "shapes/fsPolygonShape.h"
#include "shapes/fsStandardShapes.h"
#include "support/TempDir.h"

#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrinter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// Two pages of sizes that are no whole number of points: 100.3 x 50.7 mm
// with a rectangle, and 60 x 80 mm with an ellipse in its top half.
void MakeDocument(TfsDocument &doc) {
  RegisterStandardShapes();
  doc.CurrentPage()->SetIsDefaultPage(false);
  doc.CurrentPage()->SetBounds(0, 0, 100.3f, 50.7f);
  auto box = std::make_unique<TfsRectangleShape>();
  box->SetBounds(10, 10, 30, 20);
  box->SetFillColor(0x2040C0);
  box->SetUseOutline(false);
  doc.AddShape(std::move(box));
  doc.AddPage();
  doc.SetCurrentPageIndex(1);
  doc.CurrentPage()->SetIsDefaultPage(false);
  doc.CurrentPage()->SetBounds(0, 0, 60, 80);
  auto ellipse = std::make_unique<TfsEllipseShape>();
  ellipse->SetBounds(0, 0, 60, 40);
  ellipse->SetFillColor(0x2040C0);
  doc.AddShape(std::move(ellipse));
  doc.SetCurrentPageIndex(0);
}

// The media boxes of a PDF, in points.
std::vector<std::pair<double, double>> MediaBoxes(const std::string &pdf) {
  std::vector<std::pair<double, double>> boxes;
  const std::string key = "/MediaBox [";
  for (size_t at = pdf.find(key); at != std::string::npos; at = pdf.find(key, at + 1)) {
    double x = 0, y = 0, w = 0, h = 0;
    if (std::sscanf(pdf.c_str() + at + key.size(), "%lf %lf %lf %lf", &x, &y, &w, &h) == 4)
      boxes.emplace_back(w - x, h - y);
  }
  return boxes;
}

class DocumentPrinting : public testing::Test {
protected:
  DocumentPrinting() {
    MakeDocument(Doc);
    Printer.setOutputFormat(QPrinter::PdfFormat);
    Printer.setOutputFileName(QString::fromStdString(Pdf.string()));
    Printer.setResolution(150);
  }
  testsupport::TempDir Dir;
  std::filesystem::path Pdf = Dir / "out.pdf";
  TfsDocument Doc;
  QPrinter Printer{QPrinter::HighResolution};
};

TEST_F(DocumentPrinting, PdfHasAPagePerPageAtItsExactSize) {
  PrintDocument(Doc, Printer, {0, 1});
  const auto boxes = MediaBoxes(testsupport::ReadFileBytes(Pdf));
  ASSERT_EQ(boxes.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    const TfsPage &page = *Doc.GetPage(static_cast<int>(i));
    // Within 0.1 mm.
    EXPECT_NEAR(boxes[i].first / 72 * 25.4, page.DocWidth(), 0.1) << i;
    EXPECT_NEAR(boxes[i].second / 72 * 25.4, page.DocHeight(), 0.1) << i;
  }
  EXPECT_FALSE(std::filesystem::exists(Dir / "out.pdf.render-tmp"));
}

// The system printers' path: the sheet and its printable area come from the
// device's layout, and every page goes onto a sheet of the device's size.
TEST_F(DocumentPrinting, SheetsOfTheDeviceWithItsMargins) {
  {
    QPdfWriter writer(QString::fromStdString(Pdf.string()));
    writer.setResolution(150);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
    TfsQtPrinter printer(writer);
    EXPECT_NEAR(printer.PhysicalSize().cx, 210 / 25.4 * 150, 1);
    EXPECT_NEAR(printer.PhysicalSize().cy, 297 / 25.4 * 150, 1);
    // Qt keeps margins in whole points.
    EXPECT_NEAR(printer.PhysicalOffset().X, 10 / 25.4 * 150, 150 / 72.0);
    EXPECT_NEAR(printer.PhysicalOffset().Y, 10 / 25.4 * 150, 150 / 72.0);
    EXPECT_FLOAT_EQ(printer.DeviceDpm(), static_cast<float>(150 / 25.4));
    Doc.PrintPages({0, 1}, printer);
  }
  const auto boxes = MediaBoxes(testsupport::ReadFileBytes(Pdf));
  ASSERT_EQ(boxes.size(), 2u);
  for (const auto &[w, h] : boxes) {
    EXPECT_NEAR(w / 72 * 25.4, 210, 0.5);
    EXPECT_NEAR(h / 72 * 25.4, 297, 0.5);
  }
}

TEST_F(DocumentPrinting, PdfRasterMatchesTheCommandLineRendering) {
  if (std::system("command -v pdftoppm >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "pdftoppm is not installed";
  Doc.SaveToFile((Dir / "doc.stor").string());
  PrintDocument(Doc, Printer, {1});
  const std::string d = Dir.path().string();
  ASSERT_EQ(std::system(("pdftoppm -r 150 -png '" + Pdf.string() + "' '" + d + "/pp'").c_str()), 0);
  ASSERT_EQ(std::system(("'" TALLISYN_CLI "' render '" + d + "/doc.stor' --page 2 --dpi 150 -o '" +
                         d + "/ref.png' >/dev/null")
                            .c_str()),
            0);
  QImage pdf(QString::fromStdString(d + "/pp-1.png"));
  if (pdf.isNull())
    pdf.load(QString::fromStdString(d + "/pp-01.png"));
  const QImage ref(QString::fromStdString(d + "/ref.png"));
  ASSERT_FALSE(pdf.isNull());
  ASSERT_FALSE(ref.isNull());
  // 60 x 80 mm at 150 dpi.
  EXPECT_EQ(ref.size(), QSize(354, 472));
  ASSERT_LE(std::abs(pdf.width() - ref.width()), 1);
  ASSERT_LE(std::abs(pdf.height() - ref.height()), 1);
  // The rasteriser resamples the picture, so edges may blend with their
  // neighbours: a pixel matches when each channel lies within what the
  // reference shows around it.
  const int w = std::min(pdf.width(), ref.width()), h = std::min(pdf.height(), ref.height());
  int64_t total = 0, off = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const QRgb a = pdf.pixel(x, y);
      bool within = true;
      for (const int shift : {16, 8, 0}) {
        const auto channel = [shift](QRgb c) { return static_cast<int>((c >> shift) & 0xFF); };
        int lo = 255, hi = 0;
        for (int yy = std::max(y - 1, 0); yy <= std::min(y + 1, h - 1); ++yy)
          for (int xx = std::max(x - 1, 0); xx <= std::min(x + 1, w - 1); ++xx) {
            lo = std::min(lo, channel(ref.pixel(xx, yy)));
            hi = std::max(hi, channel(ref.pixel(xx, yy)));
          }
        within = within && channel(a) >= lo - 8 && channel(a) <= hi + 8;
        total += std::abs(channel(a) - channel(ref.pixel(x, y)));
      }
      off += !within;
    }
  EXPECT_LT(static_cast<double>(total) / (3.0 * w * h), 2.0) << "mean difference per channel";
  EXPECT_LT(off, w * h / 200) << "pixels unlike anything around them in the reference";
}

} // namespace

#include "cli/CliRender.h"

#include "base/fsAtomicFile.h"
#include "base/fsConvert.h"
#include "base/fsError.h"
#include "cli/CliDoc.h"
#include "designer/uFileUtils.h"
#include "engine/fsDocument.h"
#include "engine/fsPrinting.h"
#include "persist/fsImageFormats.h"

#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

namespace {

struct TRenderOptions {
  std::string File;
  std::string Out;
  char Side = 0;
  int Page = 0; // 0: every page (PDF) or the first (PNG)
  double Dpi = 300;
  bool Pdf = false;
};

std::string Lower(std::string s) {
  for (char &c : s)
    c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

TRenderOptions ParseOptions(const TCliArgs &args) {
  if (args.empty())
    throw ECliUsage{RenderUsage};
  TRenderOptions o;
  o.File = args[0];
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string &a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--side" && hasValue && (args[i + 1] == "A" || args[i + 1] == "B")) {
      o.Side = args[++i][0];
    } else if (a == "--page" && hasValue) {
      int32_t n = 0;
      if (!TryStrToInt(args[++i], n) || n < 1)
        throw ECliUsage{RenderUsage};
      o.Page = n;
    } else if (a == "--dpi" && hasValue) {
      int32_t n = 0;
      // Up to 2400 dpi: an A4 page is then 20000 x 28000 pixels.
      if (!TryStrToInt(args[++i], n) || n < 1 || n > 2400)
        throw ECliUsage{RenderUsage};
      o.Dpi = n;
    } else if (a == "-o" && hasValue) {
      o.Out = args[++i];
    } else {
      throw ECliUsage{RenderUsage};
    }
  }
  const std::string ext = Lower(std::filesystem::path(o.Out).extension().string());
  if (ext != ".png" && ext != ".pdf")
    throw ECliUsage{RenderUsage};
  o.Pdf = ext == ".pdf";
  return o;
}

// Collects the bands of one page into a bitmap of the sheet's size.
class TBitmapPrinter : public TfsPrinter {
public:
  TBitmapPrinter(int32_t width, int32_t height, float dpm, TColor32 paper) : FDpm(dpm) {
    Sheet.SetSize(width, height);
    Sheet.Clear(paper);
  }
  TBitmap32 Sheet;

  TSize PhysicalSize() const override { return {Sheet.Width(), Sheet.Height()}; }
  TPoint PhysicalOffset() const override { return {0, 0}; }
  float DeviceDpm() const override { return FDpm; }
  void BeginDoc(const std::string &) override {}
  void NewPage() override {}
  void EndDoc() override {}
  void DrawBand(const TBitmap32 &band, const TRect &rect) override {
    // DrawOnto stretches only when the sizes differ.
    TBitmap32 &source = const_cast<TBitmap32 &>(band);
    source.SetDrawMode(dmOpaque);
    source.SetStretchFilter(sfLinear);
    source.DrawOnto(Sheet, rect);
  }

private:
  float FDpm;
};

// Draws bands into a PDF through Qt's PDF writer: losslessly (Qt would
// store pictures as JPEG otherwise) and at their exact device rectangles
// (floating point, so that neighbouring bands meet without seams).
class TPdfPrinter : public TfsPrinter {
public:
  TPdfPrinter(QPdfWriter &writer, double dpi) : FWriter(writer), FDpi(dpi) {}

  // The next page: its size in mm. Qt keeps page sizes in whole points;
  // the drawing is moved so that it stands where the exact page size puts
  // it once the media box is corrected (see FixMediaBoxes).
  void StartPage(double widthMm, double heightMm) {
    QPageLayout layout(QPageSize(QSizeF(widthMm, heightMm), QPageSize::Millimeter, QString(),
                                 QPageSize::ExactMatch),
                       QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter,
                       QMarginsF(0, 0, 0, 0));
    layout.setMode(QPageLayout::FullPageMode);
    FWriter.setPageLayout(layout);
    if (!FPainter) {
      FPainter = std::make_unique<QPainter>();
      if (!FPainter->begin(&FWriter))
        throw EfsError("Cannot create the PDF file");
    } else {
      FWriter.newPage();
    }
    FPainter->setRenderHint(QPainter::LosslessImageRendering);
    FPainter->setRenderHint(QPainter::SmoothPixmapTransform);
    const double exactPt = heightMm / 25.4 * 72;
    const double qtPt = layout.fullRectPoints().height();
    FPainter->resetTransform();
    FPainter->translate(0, (qtPt - exactPt) * FDpi / 72);
    FWidth = static_cast<int32_t>(std::lrint(widthMm / 25.4 * FDpi));
    FHeight = static_cast<int32_t>(std::lrint(heightMm / 25.4 * FDpi));
  }
  void Finish() {
    if (FPainter)
      FPainter->end();
  }

  TSize PhysicalSize() const override { return {FWidth, FHeight}; }
  TPoint PhysicalOffset() const override { return {0, 0}; }
  float DeviceDpm() const override { return static_cast<float>(FDpi / 25.4); }
  void BeginDoc(const std::string &) override {}
  void NewPage() override {}
  void EndDoc() override {}
  void DrawBand(const TBitmap32 &band, const TRect &rect) override {
    // The rendered page is opaque: RGB32 over the bitmap's own memory.
    const QImage image(reinterpret_cast<const uchar *>(band.Bits()), band.Width(), band.Height(),
                       band.Width() * 4, QImage::Format_RGB32);
    FPainter->drawImage(QRectF(rect.Left, rect.Top, rect.Width(), rect.Height()), image);
  }

private:
  QPdfWriter &FWriter;
  double FDpi;
  std::unique_ptr<QPainter> FPainter;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
};

// Qt writes each media box in whole points as "/MediaBox [0 0 W.000000
// H.000000]"; the exact sizes go in their place at the same width, so no
// offset of the file changes.
void FixMediaBoxes(std::string &pdf, const std::vector<std::pair<double, double>> &sizesMm) {
  const std::string key = "/MediaBox [0 0 ";
  size_t at = 0;
  for (const auto &[w, h] : sizesMm) {
    at = pdf.find(key, at);
    if (at == std::string::npos)
      return;
    at += key.size();
    for (const double mm : {w, h}) {
      const size_t end = pdf.find_first_of(" ]", at);
      if (end == std::string::npos)
        return;
      const size_t width = end - at;
      const double points = mm / 25.4 * 72;
      char text[64];
      int decimals = 6;
      int n = std::snprintf(text, sizeof text, "%*.*f", static_cast<int>(width), decimals, points);
      while (n > static_cast<int>(width) && decimals > 0)
        n = std::snprintf(text, sizeof text, "%*.*f", static_cast<int>(width), --decimals, points);
      if (n == static_cast<int>(width))
        pdf.replace(at, width, text);
      at = end + 1;
    }
  }
}

void RenderPng(TfsDocument &doc, const TRenderOptions &o, std::ostream &out) {
  TfsPage *page = doc.GetPage(std::max(o.Page, 1) - 1);
  if (!page)
    throw EfsError("The document has no page " + std::to_string(std::max(o.Page, 1)));
  page->EnsureLoaded();
  const double dpm = o.Dpi / 25.4;
  const int32_t w = static_cast<int32_t>(std::lrint(dpm * page->DocWidth()));
  const int32_t h = static_cast<int32_t>(std::lrint(dpm * page->DocHeight()));
  if (w <= 0 || h <= 0)
    throw EfsError("The page has no size");
  TBitmapPrinter printer(w, h, static_cast<float>(dpm), ToColor32(page->PageColor()));
  // At the device's own density the bands are copied 1:1.
  PrintPage(*page, printer, Rect(0, 0, w, h), false, false, 0, 0);
  // Saved beside OUT and renamed over it.
  SaveBitmapToFile(o.Out, printer.Sheet);
  out << o.Out << ' ' << w << 'x' << h << '\n';
}

void RenderPdf(TfsDocument &doc, const TRenderOptions &o, std::ostream &out) {
  std::vector<int> pages;
  if (o.Page > 0) {
    if (!doc.GetPage(o.Page - 1))
      throw EfsError("The document has no page " + std::to_string(o.Page));
    pages.push_back(o.Page - 1);
  } else {
    for (int i = 0; i < doc.PageCount(); ++i)
      pages.push_back(i);
  }
  if (pages.empty())
    throw EfsError("The document has no page");
  const std::filesystem::path target(o.Out);
  const std::filesystem::path temp = target.string() + ".render-tmp";
  std::vector<std::pair<double, double>> sizes;
  {
    QPdfWriter writer(QString::fromStdString(temp.string()));
    writer.setResolution(static_cast<int>(o.Dpi));
    writer.setCreator(QStringLiteral("tallisyn-cli"));
    TPdfPrinter printer(writer, o.Dpi);
    for (int index : pages) {
      TfsPage &page = *doc.GetPage(index);
      page.EnsureLoaded();
      if (!(page.DocWidth() > 0) || !(page.DocHeight() > 0))
        throw EfsError("Page " + std::to_string(index + 1) + " has no size");
      printer.StartPage(page.DocWidth(), page.DocHeight());
      sizes.emplace_back(page.DocWidth(), page.DocHeight());
      const TSize sheet = printer.PhysicalSize();
      PrintPage(page, printer, Rect(0, 0, sheet.cx, sheet.cy), false, false, 0,
                static_cast<float>(o.Dpi / 25.4));
    }
    printer.Finish();
  }
  std::string bytes;
  try {
    bytes = ReadWholeFile(temp.string());
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    throw;
  }
  std::error_code ignored;
  std::filesystem::remove(temp, ignored);
  FixMediaBoxes(bytes, sizes);
  SaveFileAtomically(target, bytes);
  out << o.Out << ' ' << pages.size() << (pages.size() == 1 ? " page" : " pages") << '\n';
}

} // namespace

void RunRender(const TCliArgs &args, std::ostream &out) {
  const TRenderOptions o = ParseOptions(args);
  TfsDocument doc;
  LoadCliDocument(doc, o.File, o.Side);
  if (o.Pdf)
    RenderPdf(doc, o, out);
  else
    RenderPng(doc, o, out);
}

static TCliRegistrar RenderRegistrar({"render", RenderUsage, RunRender});

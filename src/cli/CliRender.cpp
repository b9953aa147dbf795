#include "cli/CliRender.h"

#include "base/fsConvert.h"
#include "base/fsError.h"
#include "cli/CliDoc.h"
#include "engine/fsDocument.h"
#include "engine/fsPrinting.h"
#include "persist/fsImageFormats.h"
#include "qtprint/fsQtPrinter.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
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
  WriteDocumentPdf(doc, pages, o.Out, o.Dpi, "tallisyn-cli");
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

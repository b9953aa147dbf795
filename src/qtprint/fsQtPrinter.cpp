#include "qtprint/fsQtPrinter.h"

#include "base/fsAtomicFile.h"
#include "base/fsError.h"
#include "base/fsStream.h"
#include "engine/fsDocument.h"
#include "engine/fsPage.h"

#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

#include <cmath>
#include <cstdio>
#include <filesystem>

TfsQtPrinter::TfsQtPrinter(QPagedPaintDevice &device) : FDevice(device) {}

TfsQtPrinter::~TfsQtPrinter() {
  if (FPainter && FPainter->isActive())
    FPainter->end();
}

void TfsQtPrinter::Begin() {
  FPainter = std::make_unique<QPainter>();
  if (!FPainter->begin(&FDevice))
    throw EfsError("Cannot start printing");
  FPainter->setRenderHint(QPainter::LosslessImageRendering);
  FPainter->setRenderHint(QPainter::SmoothPixmapTransform);
}

void TfsQtPrinter::StartPage(double widthMm, double heightMm) {
  QPageLayout layout(
      QPageSize(QSizeF(widthMm, heightMm), QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
      QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter, QMarginsF(0, 0, 0, 0));
  layout.setMode(QPageLayout::FullPageMode);
  FDevice.setPageLayout(layout);
  if (!FPainter || !FPainter->isActive())
    Begin();
  else
    FDevice.newPage();
  FPainter->setRenderHint(QPainter::LosslessImageRendering);
  FPainter->setRenderHint(QPainter::SmoothPixmapTransform);
  const double dpi = FDevice.logicalDpiY();
  const double exactPt = heightMm / 25.4 * 72;
  const double qtPt = layout.fullRectPoints().height();
  FPainter->resetTransform();
  FPainter->translate(0, (qtPt - exactPt) * dpi / 72);
  FWidth = static_cast<int32_t>(std::lrint(widthMm / 25.4 * FDevice.logicalDpiX()));
  FHeight = static_cast<int32_t>(std::lrint(heightMm / 25.4 * dpi));
  FSizes.emplace_back(widthMm, heightMm);
}

TSize TfsQtPrinter::PhysicalSize() const {
  if (!FSizes.empty())
    return {FWidth, FHeight};
  const QRect full = FDevice.pageLayout().fullRectPixels(FDevice.logicalDpiX());
  return {full.width(), full.height()};
}

TPoint TfsQtPrinter::PhysicalOffset() const {
  if (!FSizes.empty())
    return {0, 0};
  const QRect paint = FDevice.pageLayout().paintRectPixels(FDevice.logicalDpiX());
  return {paint.left(), paint.top()};
}

float TfsQtPrinter::DeviceDpm() const {
  return static_cast<float>(FDevice.logicalDpiX() / 25.4);
}

void TfsQtPrinter::BeginDoc(const std::string &) {
  if (!FPainter || !FPainter->isActive())
    Begin();
}

void TfsQtPrinter::NewPage() {
  if (!FDevice.newPage())
    throw EfsError("Cannot start a new printed page");
}

void TfsQtPrinter::EndDoc() {
  if (FPainter && FPainter->isActive())
    FPainter->end();
}

void TfsQtPrinter::DrawBand(const TBitmap32 &band, const TRect &rect) {
  if (!FPainter || !FPainter->isActive())
    Begin();
  // The rendered page is opaque: RGB32 over the bitmap's own memory.
  const QImage image(reinterpret_cast<const uchar *>(band.Bits()), band.Width(), band.Height(),
                     band.Width() * 4, QImage::Format_RGB32);
  FPainter->drawImage(QRectF(rect.Left, rect.Top, rect.Width(), rect.Height()), image);
}

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

void WriteDocumentPdf(TfsDocument &doc, const std::vector<int> &pages, const std::string &fileName,
                      double dpi, const std::string &creator) {
  if (pages.empty())
    throw EfsError("The document has no page");
  const std::filesystem::path target(fileName);
  const std::filesystem::path temp = target.string() + ".render-tmp";
  std::vector<std::pair<double, double>> sizes;
  {
    QPdfWriter writer(QString::fromStdString(temp.string()));
    writer.setResolution(static_cast<int>(std::lrint(dpi)));
    writer.setCreator(QString::fromStdString(creator));
    TfsQtPrinter printer(writer);
    for (const int index : pages) {
      TfsPage *page = doc.GetPage(index);
      if (!page)
        throw EfsError("The document has no page " + std::to_string(index + 1));
      page->EnsureLoaded();
      if (!(page->DocWidth() > 0) || !(page->DocHeight() > 0))
        throw EfsError("Page " + std::to_string(index + 1) + " has no size");
      printer.StartPage(page->DocWidth(), page->DocHeight());
      const TSize sheet = printer.PhysicalSize();
      PrintPage(*page, printer, Rect(0, 0, sheet.cx, sheet.cy), false, false, 0,
                static_cast<float>(writer.resolution() / 25.4));
    }
    printer.EndDoc();
    sizes = printer.PageSizes();
  }
  std::string bytes;
  try {
    TFileStream file(temp, fmOpenRead);
    bytes = file.ReadRemaining();
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    throw;
  }
  std::error_code ignored;
  std::filesystem::remove(temp, ignored);
  FixMediaBoxes(bytes, sizes);
  SaveFileAtomically(target, bytes);
}

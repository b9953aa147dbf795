#pragma once

#include "engine/fsPrinting.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class QPagedPaintDevice;
class QPainter;
class TfsDocument;

// A printer on a Qt paged device: a QPrinter (the system's printers) or a
// QPdfWriter. Bands go in at their exact device rectangles (floating
// point, so that neighbouring bands meet without seams) and losslessly (Qt's
// PDF engine would store pictures as JPEG otherwise).
class TfsQtPrinter : public TfsPrinter {
public:
  explicit TfsQtPrinter(QPagedPaintDevice &device);
  ~TfsQtPrinter() override;

  // For a PDF: the next page gets exactly this size (mm), full page without
  // margins, starting the document on the first call. Qt keeps page sizes
  // in whole points; the drawing is moved so that it stands where the exact
  // size puts it once FixMediaBoxes has corrected the file.
  void StartPage(double widthMm, double heightMm);
  // The exact sizes given to StartPage, in order.
  const std::vector<std::pair<double, double>> &PageSizes() const { return FSizes; }

  TSize PhysicalSize() const override;
  TPoint PhysicalOffset() const override;
  float DeviceDpm() const override;
  void BeginDoc(const std::string &title) override;
  void NewPage() override;
  void EndDoc() override;
  void DrawBand(const TBitmap32 &band, const TRect &deviceRect) override;

private:
  void Begin();

  QPagedPaintDevice &FDevice;
  std::unique_ptr<QPainter> FPainter;
  std::vector<std::pair<double, double>> FSizes;
  // The exact page size in device pixels after StartPage.
  int32_t FWidth = 0;
  int32_t FHeight = 0;
};

// Qt writes each media box in whole points as "/MediaBox [0 0 W.000000
// H.000000]"; the exact sizes (mm) go in their place at the same width, so
// no offset of the file changes.
void FixMediaBoxes(std::string &pdf, const std::vector<std::pair<double, double>> &sizesMm);

// Writes the pages (indexes) of the document into a PDF file, one PDF page
// per page at the page's own size, rendered at dpi. The file is written
// beside and renamed over its target.
void WriteDocumentPdf(TfsDocument &doc, const std::vector<int> &pages, const std::string &fileName,
                      double dpi, const std::string &creator);

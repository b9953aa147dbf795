#include "app/TfsDocumentPrinting.h"

#include "engine/fsDocument.h"
#include "qtprint/fsQtPrinter.h"

#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>
#include <cmath>

void PrintDocument(TfsDocument &doc, QPrinter &printer, const std::vector<int> &pages) {
  if (printer.outputFormat() == QPrinter::PdfFormat) {
    // At the print quality's resolution; the device's own only for pqDevice.
    const double dpi =
        doc.PrinterDpm() > 0 ? std::nearbyint(doc.PrinterDpm() * 25.4) : printer.resolution();
    WriteDocumentPdf(doc, pages, printer.outputFileName().toStdString(), dpi, "Tallisyn");
    return;
  }
  TfsQtPrinter device(printer);
  doc.PrintPages(pages, device);
}

bool PrintDocumentWithDialog(TfsDocument &doc, QWidget *parent) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setFromTo(1, std::max(doc.PageCount(), 1));
  QPrintDialog dialog(&printer, parent);
  dialog.setMinMax(1, std::max(doc.PageCount(), 1));
  dialog.setOption(QAbstractPrintDialog::PrintPageRange);
  if (dialog.exec() != QDialog::Accepted)
    return false;
  int first = 1, last = doc.PageCount();
  if (printer.printRange() == QPrinter::PageRange) {
    first = std::max(printer.fromPage(), 1);
    last = std::min(printer.toPage(), doc.PageCount());
  } else if (printer.printRange() == QPrinter::CurrentPage) {
    first = last = doc.CurrentPageIndex() + 1;
  }
  std::vector<int> pages;
  for (int i = first; i <= last; ++i)
    pages.push_back(i - 1);
  PrintDocument(doc, printer, pages);
  return true;
}

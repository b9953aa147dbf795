#pragma once

#include <vector>

class QPrinter;
class QWidget;
class TfsDocument;

// Prints pages (indexes) of the document onto a Qt printer: a system
// printer gets the document's own printing (each page turned to fit the
// sheet, at the print quality's resolution); a printer set to PDF output
// gets one PDF page per page at the page's exact size, at the print
// quality's resolution.
void PrintDocument(TfsDocument &doc, QPrinter &printer, const std::vector<int> &pages);

// The system print dialog (CUPS printers, or a PDF file) for the whole
// document or a range of its pages; false when it was cancelled.
bool PrintDocumentWithDialog(TfsDocument &doc, QWidget *parent);

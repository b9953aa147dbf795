#include "app/TFDialogTexts.h"

namespace {

QStringList Named(QStringList lines) {
  for (QString &line : lines) {
    line.replace("PRODUCT_NAME", "Tallisyn 2");
    line.replace("PRODUCT_TXT", "Keyring");
  }
  return lines;
}

} // namespace

QStringList DialogTexts::NoTemplates() {
  return Named({"Your templates folder is currently empty.", "",
                "Please download templates from the ", "PRODUCT_NAME web site before continuing."});
}

QStringList DialogTexts::PaperType() {
  return Named({"Do you intend to use our special pre-cut paper ", "or uncut paper for printing?",
                "", "If you select uncut paper an outline will be ",
                "printed around each PRODUCT_TXT shape to ", "show you where to cut.", "",
                "If you select pre-cut paper, the shape will be ",
                "printed with a slightly larger outline to ensure ",
                "that your design fills the pre-cut shape.", "",
                "You can change your selection at any time."});
}

QStringList DialogTexts::PrintingTips() {
  return Named({"Here are some tips to help you get the best results.",
                "",
                "1. To avoid wasting your pre-cut paper, try printing a",
                "test page first using cheap plain paper.",
                "",
                "2. Please make sure that the paper size option of your ",
                "printer is set to A4.    To get best results you should ",
                "also select a 'high' print quality setting.",
                "",
                "3. Use the margin controls on the print tab to adjust ",
                "alignment for your specific printer, if necessary.",
                "",
                "While PRODUCT_NAME allows precise adjustment of ",
                "alignment, results will vary from printer to printer so ",
                "exact alignment cannot be guaranteed.",
                "",
                "*IMPORTANT* ",
                "Pre-cut paper is designed to be passed through your ",
                "printer ONCE only.   The printing process can loosen ",
                "the pre-cut inserts which might then be dislodged ",
                "during subsequent print operations, possibly causing ",
                "damage to the printer.   If you choose to ignore this ",
                "advice, you do so at your own risk."});
}

QStringList DialogTexts::Terms() {
  return Named({"PRODUCT_NAME is provided as it is, without warranty of any kind.", "",
                "Templates and pictures you download or place in your designs remain the",
                "property of their owners; make sure you may print what you use.", "",
                "Printing on pre-cut paper is at your own risk: follow the printing tips",
                "and pass each sheet through your printer once only.", "",
                "By choosing \"I Accept\" you agree to these terms."});
}

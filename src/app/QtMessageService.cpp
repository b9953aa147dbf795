#include "app/QtMessageService.h"

#include <QApplication>
#include <QMessageBox>

namespace {

// Messages end their lines with CR or CR LF; a label wants LF.
QString Shown(const std::string &text) {
  QString s = QString::fromStdString(text);
  s.replace("\r\n", "\n");
  s.replace('\r', '\n');
  return s;
}

} // namespace

bool TQtMessageService::Confirm(const std::string &text) {
  return QMessageBox::question(QApplication::activeWindow(), "Confirm", Shown(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TQtMessageService::Inform(const std::string &text) {
  QMessageBox::information(QApplication::activeWindow(), "Information", Shown(text));
}

void TQtMessageService::Warn(const std::string &text) {
  QMessageBox::warning(QApplication::activeWindow(), "Warning", Shown(text));
}

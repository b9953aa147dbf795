#include "app/QtMessageService.h"

#include <QApplication>
#include <QMessageBox>

bool TQtMessageService::Confirm(const std::string &text) {
  return QMessageBox::question(QApplication::activeWindow(), "Confirm",
                               QString::fromStdString(text),
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TQtMessageService::Inform(const std::string &text) {
  QMessageBox::information(QApplication::activeWindow(), "Information",
                           QString::fromStdString(text));
}

void TQtMessageService::Warn(const std::string &text) {
  QMessageBox::warning(QApplication::activeWindow(), "Warning", QString::fromStdString(text));
}

#include "app/FMain.h"

#include <QLabel>

TFMain::TFMain(QWidget *parent) : QMainWindow(parent) {
  setWindowTitle("Tallisyn 2");
  auto *startup = new QLabel("Tallisyn 2", this);
  startup->setObjectName("PStartup");
  startup->setAlignment(Qt::AlignCenter);
  setCentralWidget(startup);
  resize(1024, 720);
}

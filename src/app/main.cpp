#include "app/AppStartup.h"
#include "app/FMain.h"
#include "tallisyn_version.h"

#include <QApplication>
#include <QMessageBox>

#include <cstring>
#include <exception>
#include <iostream>

int main(int argc, char **argv) {
  // Answered before Qt starts, so it works without a display.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::cout << "tallisyn " << TALLISYN_VERSION << '\n';
      return 0;
    }
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("Tallisyn 2");
  QApplication::setApplicationVersion(TALLISYN_VERSION);

  std::unique_ptr<TAppStartup> startup;
  try {
    startup = std::make_unique<TAppStartup>();
  } catch (const std::exception &e) {
    QMessageBox::critical(nullptr, "Tallisyn 2", QString::fromStdString(e.what()));
    return 1;
  }
  auto mainWindow = startup->CreateMainWindow();
  mainWindow->show();
  int rc = QApplication::exec();
  mainWindow.reset();
  startup.reset();
  return rc;
}

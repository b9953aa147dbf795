#include "app/AppStartup.h"
#include "app/MainWindow.h"
#include "app/TFConfig.h"
#include "tallisyn_version.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

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
    // The icon theme for installing: drawn, so it needs no display.
    if (std::strcmp(argv[i], "--write-icons") == 0 && i + 1 < argc)
      return TFConfig::WriteIconTheme(argv[i + 1]) ? 0 : 1;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName("Tallisyn 2");
  QApplication::setApplicationVersion(TALLISYN_VERSION);
  QApplication::setOrganizationName("Orvane");
  QApplication::setDesktopFileName("tallisyn");
  QApplication::setWindowIcon(TFConfig::ProgramIcon());

  std::unique_ptr<TAppStartup> startup;
  try {
    startup = std::make_unique<TAppStartup>();
  } catch (const std::exception &e) {
    QMessageBox::critical(nullptr, "Tallisyn 2", QString::fromStdString(e.what()));
    return 1;
  }
  // --screenshot FILE: a picture of the whole screen once the window has
  // settled, then the program ends (for looking at the window under Xvfb).
  std::vector<std::string> args;
  QString screenshot;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
      screenshot = QString::fromLocal8Bit(argv[++i]);
    else
      args.emplace_back(argv[i]);
  }
  auto mainWindow = startup->CreateMainWindow(std::move(args));
  mainWindow->show();
  if (!screenshot.isEmpty()) {
    QTimer::singleShot(2500, [&screenshot] {
      const bool saved = QGuiApplication::primaryScreen()->grabWindow(0).save(screenshot, "PNG");
      if (!saved)
        std::cerr << "tallisyn: cannot write " << screenshot.toStdString() << '\n';
      // Every event loop ends, a modal dialog's too; the window closes
      // without asking.
      QApplication::exit(saved ? 0 : 1);
    });
  }
  int rc = QApplication::exec();
  mainWindow.reset();
  startup.reset();
  return rc;
}

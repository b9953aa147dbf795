#include "app/AppStartup.h"

#include "app/MainWindow.h"
#include "app/QtMessageService.h"
#include "app/QtSettingsStore.h"
#include "designer/uMessages.h"
#include "designer/uOptions.h"
#include "designer/uRegistry.h"
#include "persist/fsBmpFormat.h"
#include "persist/fsResourceThread.h"
#include "shapes/fsStandardShapes.h"
#include "text/fsTextLayer.h"

TAppStartup::TAppStartup()
    : FTrimmer(std::make_unique<TResourceThreadHolder>()),
      FStore(std::make_unique<TQtSettingsStore>()),
      FMessages(std::make_unique<TQtMessageService>()) {
  SetSettingsStore(FStore.get());
  SetMessageService(FMessages.get());
  try {
    CreateOptions(DefaultAppFolders(RunningExecutable()));
    InstallTextLayer();
    InstallBmpStreamHandlers();
    RegisterStandardShapes();
  } catch (...) {
    SetMessageService(nullptr);
    SetSettingsStore(nullptr);
    throw;
  }
}

TAppStartup::~TAppStartup() {
  FreeOptions();
  SetMessageService(nullptr);
  SetSettingsStore(nullptr);
  // The trimmer stops last (FTrimmer is destroyed after this body), once no
  // window can use a picture any more.
}

std::unique_ptr<TMainWindow> TAppStartup::CreateMainWindow(std::vector<std::string> args) {
  // The options store must exist before any window reads it.
  if (!Options)
    return nullptr;
  return std::make_unique<TMainWindow>(std::move(args), Options->ProgramFolder());
}

#include "app/AppStartup.h"

#include "app/FMain.h"
#include "app/QtMessageService.h"
#include "app/QtSettingsStore.h"
#include "designer/uMessages.h"
#include "designer/uOptions.h"
#include "designer/uRegistry.h"

TAppStartup::TAppStartup()
    : FStore(std::make_unique<TQtSettingsStore>()),
      FMessages(std::make_unique<TQtMessageService>()) {
  SetSettingsStore(FStore.get());
  SetMessageService(FMessages.get());
  try {
    CreateOptions(DefaultAppFolders(RunningExecutable()));
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
}

std::unique_ptr<TFMain> TAppStartup::CreateMainWindow() {
  // The options store must exist before any window reads it.
  if (!Options)
    return nullptr;
  return std::make_unique<TFMain>();
}

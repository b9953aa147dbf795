#pragma once

#include <memory>

class TFMain;
class TSettingsStore;
class TMessageService;
class TResourceThreadHolder;

// What the program sets up before its first window and tears down after
// the last: the settings store, the message boxes, the options store, the
// text layer and the resource trimmer.
class TAppStartup {
public:
  // Creates and loads the options store; raises when its settings cannot be
  // read. Needs a QApplication for the message boxes.
  TAppStartup();
  ~TAppStartup();

  // The windows, in the order the program creates them.
  std::unique_ptr<TFMain> CreateMainWindow();

private:
  std::unique_ptr<TResourceThreadHolder> FTrimmer;
  std::unique_ptr<TSettingsStore> FStore;
  std::unique_ptr<TMessageService> FMessages;
};

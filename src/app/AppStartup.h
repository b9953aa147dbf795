#pragma once

#include <memory>
#include <string>
#include <vector>

class TMainWindow;
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

  // The main window, for the command-line words after the program name;
  // the other windows are made when they are shown.
  std::unique_ptr<TMainWindow> CreateMainWindow(std::vector<std::string> args = {});

private:
  std::unique_ptr<TResourceThreadHolder> FTrimmer;
  std::unique_ptr<TSettingsStore> FStore;
  std::unique_ptr<TMessageService> FMessages;
};

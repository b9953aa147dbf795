#pragma once

#include <filesystem>
#include <string>

// Where the program keeps its folders. ProgramFolder ends with "/";
// LocalAppDataFolder is empty when the platform gives none.
struct TAppFolders {
  std::string ProgramFolder;
  std::string LocalAppDataFolder;
};

// TALLISYN_HOME, when set, is the program folder. Otherwise the folder of
// the executable when it is writable (portable use), else the user's data
// folder for the application. The local application-data folder is
// $XDG_DATA_HOME (or ~/.local/share).
TAppFolders DefaultAppFolders(const std::filesystem::path &executable);

// The folder of the running executable (/proc/self/exe).
std::filesystem::path RunningExecutable();

// Folder name of the program inside the local application-data folder.
inline constexpr const char *AppDataSubFolder = "Orvane/Tallisyn 2";

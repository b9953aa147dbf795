#include "designer/AppFolders.h"

#include <cstdlib>
#include <unistd.h>

namespace {

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/')
    folder += '/';
  return folder;
}

std::string XdgDataHome() {
  const char *xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg == '/')
    return xdg;
  const char *home = std::getenv("HOME");
  if (home && *home)
    return std::string(home) + "/.local/share";
  return {};
}

} // namespace

std::filesystem::path RunningExecutable() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : p;
}

TAppFolders DefaultAppFolders(const std::filesystem::path &executable) {
  TAppFolders folders;
  folders.LocalAppDataFolder = XdgDataHome();
  if (const char *home = std::getenv("TALLISYN_HOME"); home && *home) {
    folders.ProgramFolder = WithSlash(home);
    return folders;
  }
  auto dir = executable.parent_path();
  if (!dir.empty() && ::access(dir.c_str(), W_OK) == 0) {
    folders.ProgramFolder = WithSlash(dir.string());
  } else if (!folders.LocalAppDataFolder.empty()) {
    folders.ProgramFolder = WithSlash(folders.LocalAppDataFolder + "/" + AppDataSubFolder);
  } else {
    folders.ProgramFolder = WithSlash(std::filesystem::temp_directory_path().string());
  }
  return folders;
}

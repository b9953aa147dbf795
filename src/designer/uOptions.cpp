#include "designer/uOptions.h"

#include "designer/uRegistry.h"

#include <filesystem>

std::unique_ptr<TOptions> Options;

namespace {

// The settings key every option lives under.
constexpr char OptionsKey[] = "Tallisyn2";

constexpr int MaxListedFolders = 100;

bool ForceFolder(const std::string &folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return std::filesystem::is_directory(folder, ec);
}

} // namespace

TOptions::TOptions(TAppFolders folders) : FFolders(std::move(folders)) {}

TOptions::~TOptions() {
  // A failing write at program end must not throw out of a destructor; the
  // store skips failed writes by itself.
  // A store that never finished loading would overwrite the user's folders
  // with what it did not read.
  if (!FLoaded)
    return;
  try {
    SaveFolders();
  } catch (...) {
  }
}

void TOptions::Load() {
  SetRegistryKey(OptionsKey);
  FShowAddClickHelpDialog = ReadBool("ShowAddClickHelpDialog", true);
  FShowAddDragHelpDialog = ReadBool("ShowAddDragHelpDialog", true);
  FShowAddFreehandHelpDialog = ReadBool("ShowAddFreehandHelpDialog", true);
  // Deliberately not read: the outline shapes go to the front at every start.
  FMoveOLShapesToFrontInDesignMode = true;
  FAcceptTermsAndConditions = ReadBool("AcceptTermsAndConditions", false);
  FShowTemplateDesignThumbnails = ReadBool("ShowTemplateDesignThumbnails", true);
  FThumbnailPreview = ReadBool("ThumbnailPreview", true);
  FThumbnailPreviewThreaded = ReadBool("ThumbnailPreviewThreaded", true);
  CurrentTemplateFolder = ReadString("CurrentTemplateFolder", "");
  CurrentDesignFolder = ReadString("CurrentDesignFolder", "");
  ReadFolderList("TemplateFolder", FTemplateFolders);
  ReadFolderList("DesignFolder", FDesignFolders);

  const std::string designs = FFolders.ProgramFolder + "designs";
  FSaveDesignFolder = ReadString("SaveDesignFolder", designs);
  if (FSaveDesignFolder == designs)
    ForceFolder(designs);
  const std::string images = FFolders.ProgramFolder + "images";
  FImageFolder = ReadString("ImageFolder", images);
  if (FImageFolder == images)
    ForceFolder(images);

  FAppDataFolder.clear();
  if (!FFolders.LocalAppDataFolder.empty()) {
    std::string folder = FFolders.LocalAppDataFolder;
    if (folder.back() != '/')
      folder += '/';
    folder += AppDataSubFolder;
    if (ForceFolder(folder))
      FAppDataFolder = folder;
  }
  if (FAppDataFolder.empty())
    FAppDataFolder = FFolders.ProgramFolder;
  FFreehandEnabled = true;
  FLoaded = true;
}

void TOptions::ReadFolderList(const std::string &prefix, TFolderList &list) {
  list.Clear();
  for (int i = 1; i <= MaxListedFolders; ++i) {
    std::string folder = ReadString(prefix + std::to_string(i), "");
    if (folder.empty())
      break;
    list.Add(folder);
  }
}

void TOptions::WriteFolderList(const std::string &prefix, const TFolderList &list) {
  for (size_t i = 0; i < list.Count(); ++i)
    WriteString(prefix + std::to_string(i + 1), list[i]);
}

void TOptions::SaveFolders() {
  SetRegistryKey(OptionsKey);
  WriteString("CurrentTemplateFolder", CurrentTemplateFolder);
  WriteString("CurrentDesignFolder", CurrentDesignFolder);
  WriteFolderList("TemplateFolder", FTemplateFolders);
  WriteFolderList("DesignFolder", FDesignFolders);
}

void TOptions::EnableHelpDialogs() {
  SetShowAddClickHelpDialog(true);
  SetShowAddDragHelpDialog(true);
  SetShowAddFreehandHelpDialog(true);
}

#define TALLISYN_BOOL_SETTER(Name)                                                                 \
  void TOptions::Set##Name(bool value) {                                                           \
    F##Name = value;                                                                               \
    SetRegistryKey(OptionsKey);                                                                    \
    WriteBool(#Name, value);                                                                       \
  }

TALLISYN_BOOL_SETTER(ShowAddClickHelpDialog)
TALLISYN_BOOL_SETTER(ShowAddDragHelpDialog)
TALLISYN_BOOL_SETTER(ShowAddFreehandHelpDialog)
TALLISYN_BOOL_SETTER(MoveOLShapesToFrontInDesignMode)
TALLISYN_BOOL_SETTER(AcceptTermsAndConditions)
TALLISYN_BOOL_SETTER(ShowTemplateDesignThumbnails)
TALLISYN_BOOL_SETTER(ThumbnailPreview)
TALLISYN_BOOL_SETTER(ThumbnailPreviewThreaded)
#undef TALLISYN_BOOL_SETTER

void TOptions::SetSaveDesignFolder(const std::string &value) {
  FSaveDesignFolder = value;
  SetRegistryKey(OptionsKey);
  WriteString("SaveDesignFolder", value);
}

void TOptions::SetImageFolder(const std::string &value) {
  FImageFolder = value;
  SetRegistryKey(OptionsKey);
  WriteString("ImageFolder", value);
}

void CreateOptions(TAppFolders folders) {
  auto options = std::make_unique<TOptions>(std::move(folders));
  options->Load();
  Options = std::move(options);
}

void FreeOptions() {
  Options.reset();
}

#pragma once

#include "designer/AppFolders.h"
#include "designer/TFolderList.h"

#include <memory>
#include <string>

// The per-user settings of the program. One instance lives for the whole
// run (the global Options); most settings are written back the moment they
// change, the folders when the store goes.
class TOptions {
public:
  explicit TOptions(TAppFolders folders);
  // Writes the folders back (SaveFolders).
  ~TOptions();
  TOptions(const TOptions &) = delete;
  TOptions &operator=(const TOptions &) = delete;

  // Reads every setting, applying the defaults and creating the default
  // folders. Raises when a stored value has the wrong type.
  void Load();
  void SaveFolders();
  void EnableHelpDialogs();

  bool ShowAddClickHelpDialog() const { return FShowAddClickHelpDialog; }
  bool ShowAddDragHelpDialog() const { return FShowAddDragHelpDialog; }
  bool ShowAddFreehandHelpDialog() const { return FShowAddFreehandHelpDialog; }
  bool MoveOLShapesToFrontInDesignMode() const { return FMoveOLShapesToFrontInDesignMode; }
  bool AcceptTermsAndConditions() const { return FAcceptTermsAndConditions; }
  bool ShowTemplateDesignThumbnails() const { return FShowTemplateDesignThumbnails; }
  bool ThumbnailPreview() const { return FThumbnailPreview; }
  bool ThumbnailPreviewThreaded() const { return FThumbnailPreviewThreaded; }
  const std::string &SaveDesignFolder() const { return FSaveDesignFolder; }
  const std::string &ImageFolder() const { return FImageFolder; }

  void SetShowAddClickHelpDialog(bool value);
  void SetShowAddDragHelpDialog(bool value);
  void SetShowAddFreehandHelpDialog(bool value);
  void SetMoveOLShapesToFrontInDesignMode(bool value);
  void SetAcceptTermsAndConditions(bool value);
  void SetShowTemplateDesignThumbnails(bool value);
  void SetThumbnailPreview(bool value);
  void SetThumbnailPreviewThreaded(bool value);
  void SetSaveDesignFolder(const std::string &value);
  void SetImageFolder(const std::string &value);

  // Changed in memory by the browser; written by SaveFolders.
  std::string CurrentTemplateFolder;
  std::string CurrentDesignFolder;
  TFolderList &TemplateFolders() { return FTemplateFolders; }
  TFolderList &DesignFolders() { return FDesignFolders; }

  const std::string &AppDataFolder() const { return FAppDataFolder; }
  bool FreehandEnabled() const { return FFreehandEnabled; }
  const std::string &ProgramFolder() const { return FFolders.ProgramFolder; }

private:
  void ReadFolderList(const std::string &prefix, TFolderList &list);
  void WriteFolderList(const std::string &prefix, const TFolderList &list);

  TAppFolders FFolders;
  bool FShowAddClickHelpDialog = true;
  bool FShowAddDragHelpDialog = true;
  bool FShowAddFreehandHelpDialog = true;
  bool FMoveOLShapesToFrontInDesignMode = true;
  bool FAcceptTermsAndConditions = false;
  bool FShowTemplateDesignThumbnails = true;
  bool FThumbnailPreview = true;
  bool FThumbnailPreviewThreaded = true;
  TFolderList FTemplateFolders;
  TFolderList FDesignFolders;
  std::string FSaveDesignFolder;
  std::string FImageFolder;
  std::string FAppDataFolder;
  bool FFreehandEnabled = true;
  bool FLoaded = false;
};

// The one store of the run; null before CreateOptions and after FreeOptions.
extern std::unique_ptr<TOptions> Options;

// Creates and loads the store under the global reference. On failure the
// reference stays null and the error propagates.
void CreateOptions(TAppFolders folders);
// Saves the folders and destroys the store.
void FreeOptions();

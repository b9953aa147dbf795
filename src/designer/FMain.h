#pragma once

#include "base/fsGeometry.h"
#include "designer/DesignerWindow.h"
#include "designer/TParamList.h"

#include <optional>
#include <string>
#include <vector>

class TBrowserLauncher;
class TfsDocument;
class TfsShape;
class TStream;
class TXmlNode;
class TfsPage;

// The designer for a family of printed-insert products: the state of the
// main window and the flows around its documents, free of any window
// system. A derived product supplies what is abstract here; only that one
// is ever made, and its Create runs the start-up steps.
class TFMain {
public:
  struct TStartup {
    // The command-line words after the program name.
    std::vector<std::string> Args;
    // Folder of the program, with a trailing separator.
    std::string AppFolder;
    std::string SiteAddress;
  };

  TFMain(TDesignerWindow &window, TBrowserLauncher &browser, TStartup startup);
  virtual ~TFMain();
  TFMain(const TFMain &) = delete;
  TFMain &operator=(const TFMain &) = delete;

  // The creation of the window: folders, documents, tabs, reset design.
  virtual void Create();
  // The window is shown: the empty-templates question, the caption, the
  // terms timer and the file named on the command line.
  virtual void Shown();

  // ---- the fifteen operations a product refines, in their order ----------
  virtual void BindTemplate(bool resetPrint);
  virtual void EnableDesign(bool enabled);
  virtual void EnableControls(const std::string &container, bool enabled);
  virtual void BuildPrintSource(TXmlNode &node) = 0;
  virtual void LoadPrintCell(TXmlNode &node, TfsPage &cellPage);
  virtual void LoadCutoutMask();
  virtual void ApplyTemplateAlphas() = 0;
  virtual void ChoosePicture(TfsShape &bitmapShape);
  virtual void StoreTemplateParams();
  virtual bool SaveTemplateAs();
  virtual void OpenDocumentFile(const std::string &fileName);
  virtual void SaveDocumentFile(const std::string &fileName);
  virtual void BeginPrintGrid(int rows, int cols);
  virtual void BeginPrintCell(int col, int row);
  virtual float CellMidMargin();

  // ---- other operations ---------------------------------------------------
  void ResetDesign();
  void RecreateDocument();
  void UpdateCaption();
  // Whether unsaved changes may go; Yes saves first.
  bool ConfirmDiscard();
  void ShowStatusMessage(const std::string &text);
  void UpdateShapeStatus();
  // "Couldn't launch default browser" when no browser starts.
  void OpenProductPage(const std::string &path, bool addReference);

  enum TOpenKind { okTemplates, okDesigns };
  // Open Template (editingTemplate false), Load Template (true), Open Design
  // (the flag unchanged).
  void OpenFile(TOpenKind kind, std::optional<bool> editingTemplate);
  void OpenTemplate(const std::string &fileName);
  void OpenDesign(const std::string &fileName);
  bool SaveDesign();

  // ---- events from the window -----------------------------------------------
  virtual void LeftTabChanged(TLeftTab tab);
  // The File menu opens: its items follow the buttons.
  void FileMenuOpening();
  void WindowResized();
  void StartupPictureClicked();
  // A mouse move over the design document, in its client pixels.
  void DocumentMouseMove(const TPoint &screenPoint);
  // A press on the status bar; with Shift the diagnostic message.
  void StatusBarPressed(bool shift);
  // The text of that message.
  std::string DiagnosticText() const;
  void TimerFired(TDesignerTimer timer);
  void ShowTerms();
  // True when the window may close.
  bool CloseQuery() { return ConfirmDiscard(); }
  void ShowOptions();
  void ShowAbout();
  void ShowPrintingTips() { FWindow.ShowPrintingTipsDialog(); }
  void Exit();
  void HelpFaqs() { OpenProductPage("help.php", true); }
  void HelpTutorials() { OpenProductPage("tutorials.html", true); }

  // ---- state ----------------------------------------------------------------
  TfsDocument &Document() const { return *FDocument; }
  TfsDocument &PrintPreview() const { return *FPrintPreview; }
  TfsDocument &MultiprintPreview() const { return *FMultiprintPreview; }
  const std::string &AppFolder() const { return FAppFolder; }
  const std::string &TemplateFolder() const { return FTemplateFolder; }
  const std::string &TemplateFileName() const { return FTemplateFileName; }
  const std::string &DesignFileName() const { return FDesignFileName; }
  const std::string &StartFile() const { return FStartFile; }
  bool ExtraMode() const { return FExtraMode; }
  bool SpecialMode() const { return FSpecialMode; }
  bool HasTemplates() const { return FHasTemplates; }
  bool TemplateLoaded() const { return FTemplateLoaded; }
  bool EditingTemplate() const { return FEditingTemplate; }
  void SetEditingTemplate(bool value) { FEditingTemplate = value; }
  bool ClearPrintGrid() const { return FClearPrintGrid; }
  bool OLShapesFront() const { return FOLShapesFront; }
  bool UserImageVisible() const { return FUserImageVisible; }
  // The "Template Name" edit and the "Current Template" panel.
  const std::string &TemplateName() const { return FTemplateName; }
  const std::string &CurrentTemplate() const { return FCurrentTemplate; }
  const TParamList &PageParams() const { return FPageParams; }
  // The print grid's cells, row by row: empty prints, "*" does not.
  const std::vector<std::vector<std::string>> &PrintGrid() const { return FPrintGrid; }
  void SetPrintGrid(int rows, int cols);
  const std::string &MultiPrintCaption() const { return FMultiPrintCaption; }

  // The template name a template file gives: its name without the first
  // ".fbt" (any case), "_" read as blanks.
  static std::string TemplateNameOfFile(const std::string &fileName);

protected:
  // Any of the resetting, binding or opening brackets is open: shape
  // notifications are ignored.
  bool Busy() const { return FResetting || FBinding || FOpening; }
  void SetCurrentTemplate(const std::string &name);
  void SetTemplateName(const std::string &name) { FTemplateName = name; }
  void OpenBracket(const std::string &fileName);
  // The template object references point at nothing.
  void ForgetObjects();
  // The save dialog, then the parameters and the file written; the name
  // written, or nothing when the dialog was cancelled.
  std::optional<std::string> SaveThroughDialog(const TFileDialogSpec &spec);
  void ShapeListChanged();

  TDesignerWindow &FWindow;
  TBrowserLauncher &FBrowser;
  TStartup FStartup;
  // Owned by their window controls.
  TfsDocument *FDocument = nullptr;
  TfsDocument *FPrintPreview = nullptr;
  TfsDocument *FMultiprintPreview = nullptr;

  std::string FAppFolder;
  std::string FTemplateFolder;
  std::string FTemplateFileName;
  std::string FDesignFileName;
  std::string FStartFile;
  bool FExtraMode = false;
  bool FSpecialMode = false;
  bool FHasTemplates = false;
  bool FTemplateLoaded = false;
  bool FEditingTemplate = false;
  bool FUpdatingControls = false;
  bool FResetting = false;
  bool FBinding = false;
  bool FOpening = false;
  bool FClearPrintGrid = false;
  bool FOLShapesFront = false;
  bool FUserImageVisible = false;
  int FHighlightTicks = 0;
  TfsShape *FFreehandShape = nullptr;
  // The template objects on the design page; none until a template brings
  // them.
  TfsShape *bgColour = nullptr, *bgImage = nullptr, *usrImage = nullptr, *usrText = nullptr,
           *usrTextBG = nullptr, *olImage = nullptr, *olMask = nullptr, *olBorder = nullptr,
           *olOutline = nullptr;
  TfsShape *FActiveImage = nullptr, *FActiveText = nullptr, *FActiveTextBG = nullptr;
  std::string FTemplateName;
  std::string FCurrentTemplate;
  TParamList FPageParams;
  std::vector<std::vector<std::string>> FPrintGrid;
  std::string FMultiPrintCaption;
  bool FPrecut = true;
  bool FPortrait = true;
};

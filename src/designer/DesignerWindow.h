#pragma once

#include <optional>
#include <string>

class TfsDocument;

// The tabs of the left tab set.
enum TLeftTab { ltDesignOld, ltDesign, ltPrint, ltTemplate };
// The pages of the right page set, switched by the program.
enum TRightPage { rpDesignView, rpPrintPreviews, rpStartup };
// The pages of the print previews.
enum TPreviewPage { ppSinglePrint, ppMultiPrint };
// The engine documents the window shows.
enum TDocumentRole { drDesign, drPrintPreview, drMultiprintPreview };
// Answers of a Yes/No/Cancel question.
enum TModalAnswer { maYes, maNo, maCancel };
// The window's timers.
enum TDesignerTimer { dtTextHighlight, dtTermsAndConditions };

// A file dialog's settings. Filter is "description (*.ext)|*.ext".
struct TFileDialogSpec {
  std::string Title;
  std::string Filter;
  std::string DefaultExt; // without the dot
  std::string InitialDir;
  std::string FileName;
  bool OverwritePrompt = false;
};

// What the designer's model asks of its window. The program implements it
// with Qt widgets; tests with a recorder. Controls are named as the window
// publishes them (BSaveDesign, GBImage, miEdit...).
class TDesignerWindow {
public:
  virtual ~TDesignerWindow() = default;

  // Makes the control that shows a document of the role, replacing (and
  // destroying) the one made before for that role; the control owns it.
  virtual TfsDocument &CreateDocument(TDocumentRole role) = 0;

  virtual void SetCaption(const std::string &caption) = 0;
  virtual void SetStatusText(int panel, const std::string &text) = 0;

  virtual void SetTabVisible(TLeftTab tab, bool visible) = 0;
  virtual void ShowLeftTab(TLeftTab tab) = 0;
  virtual void ShowRightPage(TRightPage page) = 0;
  virtual void ShowPreviewPage(TPreviewPage page) = 0;
  virtual void SetPreviewTabsVisible(bool visible) = 0;
  // The "Side A"/"Side B" tabs.
  virtual void SetSideTabsVisible(bool visible) = 0;
  virtual void SetSideTab(int index) = 0;

  // Controls by name; unknown names are the window's fault and ignored.
  virtual void SetControlEnabled(const std::string &name, bool enabled) = 0;
  virtual void SetControlVisible(const std::string &name, bool visible) = 0;
  virtual void SetControlText(const std::string &name, const std::string &text) = 0;
  virtual void SetControlChecked(const std::string &name, bool checked) = 0;
  virtual bool ControlEnabled(const std::string &name) const = 0;
  // Every control inside the container, recursing into its children.
  virtual void EnableControlsIn(const std::string &container, bool enabled) = 0;

  virtual void StartTimer(TDesignerTimer timer) = 0;
  virtual void StopTimer(TDesignerTimer timer) = 0;

  // Modal dialogs. The empty-templates dialog answers true for "Download";
  // the terms dialog true when the user accepts; the paper type dialog true
  // for pre-cut paper.
  virtual bool ShowNoTemplatesDialog() = 0;
  virtual bool ShowTermsDialog() = 0;
  virtual bool ShowPaperTypeDialog() = 0;
  virtual void ShowPrintingTipsDialog() = 0;
  virtual void ShowAboutBox() = 0;
  virtual void ShowOptionsDialog() = 0;
  virtual TModalAnswer AskYesNoCancel(const std::string &text) = 0;
  virtual void ShowMessage(const std::string &text) = 0;
  // Nothing when the user cancels.
  virtual std::optional<std::string> OpenFileDialog(const TFileDialogSpec &spec) = 0;
  virtual std::optional<std::string> SaveFileDialog(const TFileDialogSpec &spec) = 0;
  // The window shows it was closed on its own; used by Exit.
  virtual void Close() = 0;
};

#pragma once

#include "designer/DesignerWindow.h"
#include "designer/TL_main.h"

#include <QMainWindow>

#include <map>
#include <memory>

class QLabel;
class QStackedWidget;
class QTabBar;
class QTabWidget;
class QTimer;
class TBrowserLauncher;
class TfsDocumentView;

// The designer's main window: the widgets around the keyring model, which
// decides everything and reaches the widgets through TDesignerWindow.
class TMainWindow : public QMainWindow, public TDesignerWindow {
  Q_OBJECT
public:
  // args: the command-line words after the program name. Without a
  // browser the desktop's URL handler is used.
  TMainWindow(std::vector<std::string> args, std::string appFolder,
              TBrowserLauncher *browser = nullptr, QWidget *parent = nullptr);
  ~TMainWindow() override;

  TFTLMain &Designer() const { return *FDesigner; }
  TfsDocumentView *DocumentView(TDocumentRole role) const;

  // ---- TDesignerWindow --------------------------------------------------------
  TfsDocument &CreateDocument(TDocumentRole role) override;
  void SetCaption(const std::string &caption) override;
  void SetStatusText(int panel, const std::string &text) override;
  void SetTabVisible(TLeftTab tab, bool visible) override;
  void ShowLeftTab(TLeftTab tab) override;
  void ShowRightPage(TRightPage page) override;
  void ShowPreviewPage(TPreviewPage page) override;
  void SetPreviewTabsVisible(bool visible) override;
  void SetSideTabsVisible(bool visible) override;
  void SetSideTab(int index) override;
  void SetControlEnabled(const std::string &name, bool enabled) override;
  void SetControlVisible(const std::string &name, bool visible) override;
  void SetControlText(const std::string &name, const std::string &text) override;
  void SetControlChecked(const std::string &name, bool checked) override;
  bool ControlEnabled(const std::string &name) const override;
  void EnableControlsIn(const std::string &container, bool enabled) override;
  void StartTimer(TDesignerTimer timer) override;
  void StopTimer(TDesignerTimer timer) override;
  bool ShowNoTemplatesDialog() override;
  bool ShowTermsDialog() override;
  bool ShowPaperTypeDialog() override;
  void ShowPrintingTipsDialog() override;
  void ShowAboutBox() override;
  void ShowOptionsDialog() override;
  TModalAnswer AskYesNoCancel(const std::string &text) override;
  void ShowMessage(const std::string &text) override;
  std::optional<std::string> OpenFileDialog(const TFileDialogSpec &spec) override;
  std::optional<std::string> SaveFileDialog(const TFileDialogSpec &spec) override;
  void Close() override;

  // Runs a command of the model; an error is shown with its message.
  void Run(const std::function<void()> &command);

protected:
  void showEvent(QShowEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;
  bool eventFilter(QObject *watched, QEvent *event) override;

private:
  void BuildMenus();
  QWidget *BuildLeftTabs();
  QWidget *BuildRightPages();
  void BuildStatusBar();
  QObject *Control(const std::string &name) const;
  TfsDocumentView *MakeView(TDocumentRole role);

  std::unique_ptr<TBrowserLauncher> FOwnBrowser;
  QTabWidget *FLeftTabs = nullptr;
  QStackedWidget *FRightPages = nullptr;
  QWidget *FDesignPage = nullptr;
  QTabBar *FSideTabs = nullptr;
  QTabWidget *FPreviews = nullptr;
  QWidget *FStartupPage = nullptr;
  QLabel *FStartupPicture = nullptr;
  QLabel *FPanels[4] = {};
  std::map<TDocumentRole, TfsDocumentView *> FViews;
  std::map<TDesignerTimer, QTimer *> FTimers;
  bool FShownOnce = false;
  bool FClosing = false;
  bool FSettingTabs = false;
  // Made last: its start-up steps use every widget above.
  std::unique_ptr<TFTLMain> FDesigner;
};

#pragma once

#include "designer/BrowserLauncher.h"
#include "designer/DesignerWindow.h"
#include "engine/fsDocument.h"

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// A window that keeps what the designer asked of it and answers its
// dialogs from queues the test fills.
class TFakeDesignerWindow : public TDesignerWindow {
public:
  TfsDocument &CreateDocument(TDocumentRole role) override {
    Log.push_back("CreateDocument " + std::to_string(role));
    auto &slot = Documents[role];
    slot = std::make_unique<TfsDocument>();
    return *slot;
  }
  void SetCaption(const std::string &caption) override {
    Caption = caption;
    Log.push_back("Caption " + caption);
  }
  void SetStatusText(int panel, const std::string &text) override { Status[panel] = text; }
  void SetTabVisible(TLeftTab tab, bool visible) override { TabVisible[tab] = visible; }
  void ShowLeftTab(TLeftTab tab) override { LeftTab = tab; }
  void ShowRightPage(TRightPage page) override { RightPage = page; }
  void ShowPreviewPage(TPreviewPage page) override { PreviewPage = page; }
  void SetPreviewTabsVisible(bool visible) override { PreviewTabsVisible = visible; }
  void SetSideTabsVisible(bool visible) override { SideTabsVisible = visible; }
  void SetSideTab(int index) override { SideTab = index; }
  void SetControlEnabled(const std::string &name, bool enabled) override {
    Enabled[name] = enabled;
  }
  void SetControlVisible(const std::string &name, bool visible) override {
    Visible[name] = visible;
  }
  void SetControlText(const std::string &name, const std::string &text) override {
    Text[name] = text;
  }
  void SetControlChecked(const std::string &name, bool checked) override {
    Checked[name] = checked;
  }
  bool ControlEnabled(const std::string &name) const override {
    auto it = Enabled.find(name);
    return it == Enabled.end() || it->second;
  }
  void EnableControlsIn(const std::string &container, bool enabled) override {
    ContainerEnabled[container] = enabled;
  }
  void StartTimer(TDesignerTimer timer) override { Timers.insert(timer); }
  void StopTimer(TDesignerTimer timer) override { Timers.erase(timer); }

  bool ShowNoTemplatesDialog() override {
    Log.push_back("NoTemplatesDialog");
    return Next(NoTemplatesAnswers, false);
  }
  bool ShowTermsDialog() override {
    Log.push_back("TermsDialog");
    return Next(TermsAnswers, true);
  }
  bool ShowPaperTypeDialog() override {
    Log.push_back("PaperTypeDialog");
    return Next(PaperTypeAnswers, true);
  }
  void ShowPrintingTipsDialog() override { Log.push_back("PrintingTipsDialog"); }
  void ShowAboutBox() override { Log.push_back("AboutBox"); }
  void ShowOptionsDialog() override { Log.push_back("OptionsDialog"); }
  TModalAnswer AskYesNoCancel(const std::string &text) override {
    Log.push_back("Ask " + text);
    return Next(YesNoCancelAnswers, maCancel);
  }
  void ShowMessage(const std::string &text) override { Messages.push_back(text); }
  std::optional<std::string> OpenFileDialog(const TFileDialogSpec &spec) override {
    LastDialog = spec;
    Log.push_back("OpenDialog " + spec.Title);
    return Next(FileAnswers, std::optional<std::string>());
  }
  std::optional<std::string> SaveFileDialog(const TFileDialogSpec &spec) override {
    LastDialog = spec;
    Log.push_back("SaveDialog " + spec.Title);
    return Next(FileAnswers, std::optional<std::string>());
  }
  void Close() override { Closed = true; }

  TfsDocument *Document(TDocumentRole role) const {
    auto it = Documents.find(role);
    return it == Documents.end() ? nullptr : it->second.get();
  }
  int Count(const std::string &entry) const {
    int n = 0;
    for (const std::string &e : Log)
      n += e == entry;
    return n;
  }

  std::map<TDocumentRole, std::unique_ptr<TfsDocument>> Documents;
  std::vector<std::string> Log;
  std::string Caption;
  std::map<int, std::string> Status;
  std::map<TLeftTab, bool> TabVisible;
  TLeftTab LeftTab = ltDesignOld;
  TRightPage RightPage = rpDesignView;
  TPreviewPage PreviewPage = ppMultiPrint;
  bool PreviewTabsVisible = true;
  bool SideTabsVisible = true;
  int SideTab = -1;
  std::map<std::string, bool> Enabled, Visible, Checked, ContainerEnabled;
  std::map<std::string, std::string> Text;
  std::set<TDesignerTimer> Timers;
  std::vector<std::string> Messages;
  TFileDialogSpec LastDialog;
  bool Closed = false;

  std::deque<bool> NoTemplatesAnswers, TermsAnswers, PaperTypeAnswers;
  std::deque<TModalAnswer> YesNoCancelAnswers;
  std::deque<std::optional<std::string>> FileAnswers;

private:
  template <class T> static T Next(std::deque<T> &queue, T otherwise) {
    if (queue.empty())
      return otherwise;
    T v = queue.front();
    queue.pop_front();
    return v;
  }
};

class TFakeBrowser : public TBrowserLauncher {
public:
  bool OpenUrl(const std::string &address) override {
    Opened.push_back(address);
    return Works;
  }
  std::vector<std::string> Opened;
  bool Works = true;
};

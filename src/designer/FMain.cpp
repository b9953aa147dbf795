#include "designer/FMain.h"

#include "base/fsConvert.h"
#include "base/fsError.h"
#include "designer/BrowserLauncher.h"
#include "designer/uOptions.h"
#include "engine/fsDocument.h"
#include "engine/fsPage.h"
#include "engine/fsShape.h"
#include "persist/fsPlainXml.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr const char *ProductName = "Tallisyn 2";

// Sets a flag for the length of a scope, also when an error leaves it.
class TFlagScope {
public:
  explicit TFlagScope(bool &flag) : FFlag(flag) { FFlag = true; }
  ~TFlagScope() { FFlag = false; }
  TFlagScope(const TFlagScope &) = delete;
  TFlagScope &operator=(const TFlagScope &) = delete;

private:
  bool &FFlag;
};

bool HasFileWithExtension(const std::string &folder, std::string_view ext) {
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > ext.size() &&
        SameText(std::string_view(name).substr(name.size() - ext.size()), ext))
      return true;
  }
  return false;
}

std::string FileNameOnly(const std::string &fileName) {
  return fs::path(fileName).filename().string();
}

std::string LastFourLower(const std::string &fileName) {
  return LowerCase(fileName.size() >= 4 ? fileName.substr(fileName.size() - 4) : fileName);
}

// The settings the design document has whenever it is made.
void SetUpDesignDocument(TfsDocument &d) {
  d.SetMode(vmEdit);
  d.SetRulerUnits(ruMilli);
  d.SetRenderDPI(150);
  d.SetDefaultGridSize(5);
  d.SetDefaultMarginLeft(10);
  d.SetDefaultMarginTop(10);
  d.SetDefaultMarginRight(10);
  d.SetDefaultMarginBottom(10);
  d.SetDefaultPageColor(0xC0DCC0);
  d.SetDefaultPageWidth(210);
  d.SetDefaultPageHeight(297);
  if (d.PageCount() == 0)
    d.AddPage();
  d.SetPageWidth(210);
  d.SetPageHeight(297);
}

void SetUpPreviewDocument(TfsDocument &d) {
  d.SetMode(vmBrowse);
  d.SetDefaultMarginLeft(15);
  d.SetDefaultMarginTop(15);
  d.SetDefaultMarginRight(15);
  d.SetDefaultMarginBottom(15);
  d.SetPrintQuality(pqMedium);
  d.SetRenderDPI(150);
  d.SetDefaultPageWidth(210);
  d.SetDefaultPageHeight(297);
  if (d.PageCount() == 0)
    d.AddPage();
  d.SetPageWidth(210);
  d.SetPageHeight(297);
}

} // namespace

TFMain::TFMain(TDesignerWindow &window, TBrowserLauncher &browser, TStartup startup)
    : FWindow(window), FBrowser(browser), FStartup(std::move(startup)) {}

TFMain::~TFMain() = default;

void TFMain::Create() {
  FBinding = false;
  FOpening = false;
  const bool freehand = !Options || Options->FreehandEnabled();
  FWindow.SetControlVisible("miShapeAddFreehand", freehand);
  FWindow.SetControlVisible("miPopupAddFreehand", freehand);

  FWindow.SetCaption(ProductName);
  FWindow.SetTabVisible(ltDesignOld, false);

  const std::vector<std::string> &args = FStartup.Args;
  FStartFile.clear();
  if (!args.empty() && args[0] == "extra")
    FExtraMode = true;
  else if (!args.empty() && !args[0].empty())
    FStartFile = args[0];
  FSpecialMode = args.size() > 1 && args[1] == "special";
  FWindow.SetTabVisible(ltTemplate, FExtraMode);

  FWindow.ShowLeftTab(ltDesign);
  FWindow.ShowRightPage(rpStartup);
  FWindow.ShowPreviewPage(ppSinglePrint);

  FPageParams.Clear();
  FAppFolder = FStartup.AppFolder;
  if (!FAppFolder.empty() && FAppFolder.back() != '/')
    FAppFolder += '/';
  FTemplateFileName.clear();
  FDesignFileName.clear();
  FTemplateFolder = FAppFolder + "templates";
  std::error_code ec;
  fs::create_directories(FTemplateFolder, ec);
  FHasTemplates = HasFileWithExtension(FTemplateFolder, ".fbt");

  RecreateDocument();
  FPrintPreview = &FWindow.CreateDocument(drPrintPreview);
  SetUpPreviewDocument(*FPrintPreview);
  FMultiprintPreview = &FWindow.CreateDocument(drMultiprintPreview);
  SetUpPreviewDocument(*FMultiprintPreview);

  FUpdatingControls = false;
  ResetDesign();

  FClearPrintGrid = true;
  SetPrintGrid(1, 1);
  FPrintGrid[0][0] = "*";
  EnableDesign(false);

  FTemplateLoaded = false;
  FEditingTemplate = false;
  FWindow.SetControlText("LDesignHeader", "Design Keyring");
  FWindow.SetControlText("LDesignAdvancedHeader", "Design Keyring");
  FWindow.SetControlText("LPrintHeader", "Print Keyring");
  FFreehandShape = nullptr;
  FMultiPrintCaption = "copy to multi print page";
  FWindow.SetControlText("BCopyToMultiPrint", FMultiPrintCaption);
}

void TFMain::Shown() {
  if (!FHasTemplates && FWindow.ShowNoTemplatesDialog())
    OpenProductPage("download.html", true);
  UpdateCaption();
  FWindow.StartTimer(dtTermsAndConditions);
  if (FStartFile.empty())
    return;
  const std::string ext = LastFourLower(FStartFile);
  if (ext == ".fbt")
    OpenTemplate(FStartFile);
  else if (ext == ".fbd")
    OpenDesign(FStartFile);
}

// ---- the fifteen operations ---------------------------------------------------

void TFMain::BindTemplate(bool resetPrint) {
  TFlagScope binding(FBinding);
  FTemplateLoaded = true;
  if (resetPrint) {
    FWindow.ShowRightPage(rpDesignView);
    FDocument->FitPage();
  }
  TfsPage *page = FDocument->CurrentPage();
  FPageParams.SetCommaText(page ? page->GetDisplayName() : std::string());
  FActiveImage = usrImage;
  FActiveText = usrText;
  FActiveTextBG = usrTextBG;
  SetTemplateName(FPageParams.Value("template name"));
  if (resetPrint)
    FClearPrintGrid = true;
  FUserImageVisible = usrImage && usrImage->Visible();
  EnableDesign(true);
  FDocument->SetModified(false);
  FDocument->ClearUndo();
  UpdateShapeStatus();
}

void TFMain::EnableDesign(bool enabled) {
  EnableControls("PPrintLayout", enabled);
  EnableControls("GBText", enabled);
  EnableControls("GBBGColour", enabled);
  EnableControls("GBImage", enabled && FUserImageVisible);
  for (const char *name : {"BLoadImage", "BSaveDesign", "tbAdd", "tbAddText", "tbAddPic", "miEdit",
                           "miShape", "miView"})
    FWindow.SetControlEnabled(name, enabled);
}

void TFMain::EnableControls(const std::string &container, bool enabled) {
  FWindow.EnableControlsIn(container, enabled);
}

void TFMain::LoadPrintCell(TXmlNode &node, TfsPage &cellPage) {
  cellPage.LoadFromXml(&node);
}

// Both work on the picture shapes of a bound template, which come with the
// template objects; until then there is nothing to load a picture into.
void TFMain::LoadCutoutMask() {}

void TFMain::ChoosePicture(TfsShape &) {}

void TFMain::StoreTemplateParams() {
  TfsPage *page = FDocument->CurrentPage();
  if (!page)
    return;
  FPageParams.SetValue("template name", FTemplateName);
  page->SetName(FPageParams.CommaText());
}

std::optional<std::string> TFMain::SaveThroughDialog(const TFileDialogSpec &spec) {
  std::optional<std::string> file = FWindow.SaveFileDialog(spec);
  if (!file)
    return std::nullopt;
  // A name typed without an extension gets the kind's.
  if (fs::path(*file).extension().empty())
    *file += "." + spec.DefaultExt;
  StoreTemplateParams();
  SaveDocumentFile(*file);
  return file;
}

bool TFMain::SaveTemplateAs() {
  TFileDialogSpec spec;
  spec.Title = "Save template design";
  spec.Filter = "keyring templates (*.fbt)|*.fbt";
  spec.DefaultExt = "fbt";
  spec.InitialDir = FTemplateFolder;
  spec.FileName = FTemplateFileName;
  const std::optional<std::string> file = SaveThroughDialog(spec);
  if (!file)
    return false;
  FTemplateFileName = FileNameOnly(*file);
  return true;
}

void TFMain::OpenDocumentFile(const std::string &) {
  RecreateDocument();
}

void TFMain::SaveDocumentFile(const std::string &fileName) {
  FDocument->SaveToFile(fileName);
}

void TFMain::BeginPrintGrid(int, int) {}

void TFMain::BeginPrintCell(int, int) {}

float TFMain::CellMidMargin() {
  return 0;
}

// ---- other operations ---------------------------------------------------------

void TFMain::ResetDesign() {
  TFlagScope resetting(FResetting);
  TfsDocument &d = *FDocument;
  while (d.ShapeCount() > 0)
    d.DeleteShape(d.ShapeCount() - 1);
  d.SetPageWidth(210);
  d.SetPageHeight(297);
  d.SetShowMargins(false);
  d.SetViewStyle(vsNormal);
  d.SetRenderAtScreenRes(true);
  ForgetObjects();
  SetTemplateName("");
  d.SetModified(false);
}

void TFMain::ForgetObjects() {
  bgColour = bgImage = usrImage = usrText = usrTextBG = nullptr;
  olImage = olMask = olBorder = olOutline = nullptr;
  FActiveImage = FActiveText = FActiveTextBG = nullptr;
  FFreehandShape = nullptr;
}

void TFMain::RecreateDocument() {
  // The shapes of the old document go with it.
  ForgetObjects();
  FDocument = &FWindow.CreateDocument(drDesign);
  TfsDocument &d = *FDocument;
  SetUpDesignDocument(d);
  d.OnSelectionChanged = [this](TfsDocument &) {
    if (!Busy())
      UpdateShapeStatus();
  };
  d.OnShapeListChanged = [this](TfsDocument &) { ShapeListChanged(); };
  d.OnShapeLoadAdditionalInfo = [this](TfsDocument &, TfsShape &, TXmlNode &) {
    UpdateShapeStatus();
  };
}

void TFMain::ShapeListChanged() {
  if (!Busy())
    UpdateShapeStatus();
}

void TFMain::UpdateCaption() {
  std::string caption = ProductName;
  if (!FCurrentTemplate.empty())
    caption += " - " + FCurrentTemplate;
  if (!FDesignFileName.empty())
    caption += " - " + FDesignFileName;
  FWindow.SetCaption(caption);
}

bool TFMain::ConfirmDiscard() {
  if (!FDocument->Modified())
    return true;
  switch (FWindow.AskYesNoCancel(FEditingTemplate
                                     ? "Do you want to save the changes to your template?"
                                     : "Do you want to save the changes to your design?")) {
  case maYes:
    return FEditingTemplate ? SaveTemplateAs() : SaveDesign();
  case maNo:
    return true;
  case maCancel:
    break;
  }
  return false;
}

void TFMain::ShowStatusMessage(const std::string &text) {
  FWindow.SetStatusText(1, text);
}

void TFMain::UpdateShapeStatus() {
  const TfsDocument &d = *FDocument;
  FWindow.SetStatusText(2, "Total Shapes: " + std::to_string(d.ShapeCount()));
  std::string selected;
  for (int i = 0; i < d.ShapeCount(); ++i) {
    if (!d.GetShape(i)->Selected())
      continue;
    if (!selected.empty())
      selected += ',';
    selected += std::to_string(i);
  }
  FWindow.SetStatusText(3, "Selected Shape No: " +
                               (selected.empty() ? std::string("None") : selected));
}

void TFMain::OpenProductPage(const std::string &path, bool addReference) {
  const std::string site = FStartup.SiteAddress.empty() ? ProductSiteAddress : FStartup.SiteAddress;
  if (!FBrowser.OpenUrl(ProductPageAddress(site, path, addReference)))
    throw EfsError("Couldn't launch default browser");
}

void TFMain::SetCurrentTemplate(const std::string &name) {
  FCurrentTemplate = name;
  FWindow.SetControlText("LCurrentTemplate", name);
}

void TFMain::SetPrintGrid(int rows, int cols) {
  FPrintGrid.resize(static_cast<size_t>(std::max(rows, 0)));
  for (auto &row : FPrintGrid) {
    row.resize(static_cast<size_t>(std::max(cols, 0)));
    if (FClearPrintGrid)
      for (auto &cell : row)
        cell.clear();
  }
  FClearPrintGrid = false;
}

std::string TFMain::TemplateNameOfFile(const std::string &fileName) {
  std::string name = FileNameOnly(fileName);
  const std::string lower = LowerCase(name);
  const size_t at = lower.find(".fbt");
  if (at != std::string::npos)
    name.erase(at, 4);
  for (char &c : name)
    if (c == '_')
      c = ' ';
  return name;
}

// ---- files --------------------------------------------------------------------

void TFMain::OpenBracket(const std::string &fileName) {
  TFlagScope opening(FOpening);
  try {
    OpenDocumentFile(fileName);
  } catch (...) {
    // The old document is gone: start again from an empty design rather
    // than keep references into shapes that no longer exist.
    ResetDesign();
    FTemplateLoaded = false;
    FWindow.ShowRightPage(rpStartup);
    EnableDesign(false);
    throw;
  }
}

void TFMain::OpenFile(TOpenKind kind, std::optional<bool> editingTemplate) {
  if (editingTemplate)
    FEditingTemplate = *editingTemplate;
  if (!ConfirmDiscard())
    return;
  TFileDialogSpec spec;
  if (kind == okTemplates) {
    spec.Filter = "keyring templates (*.fbt)|*.fbt";
    spec.Title = "Open template design";
    spec.InitialDir = FTemplateFolder;
  } else {
    spec.Filter = "keyring designs (*.fbd)|*.fbd";
    spec.Title = "Open keyring design";
    spec.InitialDir = Options ? Options->SaveDesignFolder() : FAppFolder + "designs";
  }
  const std::optional<std::string> file = FWindow.OpenFileDialog(spec);
  if (!file)
    return;
  const std::string ext = LastFourLower(*file);
  if (ext == ".fbt")
    OpenTemplate(*file);
  else if (ext == ".fbd")
    OpenDesign(*file);
}

void TFMain::OpenTemplate(const std::string &fileName) {
  OpenBracket(fileName);
  FTemplateFileName = FileNameOnly(fileName);
  FDesignFileName.clear();
  BindTemplate(true);
  SetTemplateName(TemplateNameOfFile(FTemplateFileName));
  SetCurrentTemplate(FTemplateName);
  UpdateCaption();
  UpdateShapeStatus();
}

void TFMain::OpenDesign(const std::string &fileName) {
  if (fileName.empty())
    return;
  OpenBracket(fileName);
  FDesignFileName = FileNameOnly(fileName);
  BindTemplate(true);
  SetCurrentTemplate(FTemplateName);
  UpdateCaption();
  FEditingTemplate = false;
}

bool TFMain::SaveDesign() {
  TFileDialogSpec spec;
  spec.Title = "Save keyring design";
  spec.Filter = "keyring designs (*.fbd)|*.fbd";
  spec.DefaultExt = "fbd";
  spec.InitialDir = Options ? Options->SaveDesignFolder() : FAppFolder + "designs";
  spec.FileName = FDesignFileName;
  spec.OverwritePrompt = true;
  const std::optional<std::string> file = SaveThroughDialog(spec);
  if (!file)
    return false;
  FDesignFileName = FileNameOnly(*file);
  if (Options)
    Options->SetSaveDesignFolder(fs::path(*file).parent_path().string());
  UpdateCaption();
  return true;
}

// ---- events ---------------------------------------------------------------------

void TFMain::LeftTabChanged(TLeftTab tab) {
  switch (tab) {
  case ltDesign:
  case ltDesignOld:
    FWindow.ShowRightPage(FTemplateLoaded ? rpDesignView : rpStartup);
    // The outline objects stay in front: the option that would take them
    // back is on in every run, so only the flag goes.
    FOLShapesFront = false;
    break;
  case ltTemplate:
    FWindow.ShowRightPage(rpDesignView);
    break;
  case ltPrint:
    FWindow.ShowRightPage(rpPrintPreviews);
    break;
  }
  FWindow.ShowPreviewPage(ppSinglePrint);
  FMultiPrintCaption = "copy to multi print page";
  FWindow.SetControlText("BCopyToMultiPrint", FMultiPrintCaption);
}

void TFMain::FileMenuOpening() {
  FWindow.SetControlEnabled("miSaveDesign", FWindow.ControlEnabled("BSaveDesign"));
  FWindow.SetControlEnabled("miPrint", FWindow.ControlEnabled("BPrint"));
}

void TFMain::WindowResized() {
  for (TfsDocument *d : {FDocument, FPrintPreview, FMultiprintPreview})
    if (d)
      d->FitPage();
}

void TFMain::StartupPictureClicked() {
  OpenProductPage("", true);
}

void TFMain::DocumentMouseMove(const TPoint &screenPoint) {
  TfsPage *page = FDocument->CurrentPage();
  if (!page) {
    FWindow.SetStatusText(0, "");
    return;
  }
  const TFloatPoint p = page->ScreenToLocal({float(screenPoint.X), float(screenPoint.Y)});
  char text[64];
  std::snprintf(text, sizeof text, "X=%6.1f, Y=%6.1f", double(p.X), double(p.Y));
  FWindow.SetStatusText(0, text);
}

std::string TFMain::DiagnosticText() const {
  const TfsDocument &d = *FDocument;
  std::string text = "Undo count: " + std::to_string(d.UndoCount()) + "\r\n";
  for (int i = 0; i < d.ShapeCount(); ++i) {
    const TfsShape &s = *d.GetShape(i);
    text += std::to_string(i) + ": " + s.Name() +
            "; Visible = " + (s.Visible() ? "True" : "False") + "\r\n";
  }
  return text;
}

void TFMain::StatusBarPressed(bool shift) {
  if (shift)
    FWindow.ShowMessage(DiagnosticText());
}

void TFMain::TimerFired(TDesignerTimer timer) {
  if (timer != dtTermsAndConditions)
    return;
  FWindow.StopTimer(dtTermsAndConditions);
  if (Options && !Options->AcceptTermsAndConditions())
    ShowTerms();
}

void TFMain::ShowTerms() {
  const bool accepted = FWindow.ShowTermsDialog();
  if (Options)
    Options->SetAcceptTermsAndConditions(accepted);
}

void TFMain::ShowOptions() {
  FWindow.ShowOptionsDialog();
  const bool freehand = !Options || Options->FreehandEnabled();
  FWindow.SetControlVisible("miShapeAddFreehand", freehand);
  FWindow.SetControlVisible("miPopupAddFreehand", freehand);
}

void TFMain::ShowAbout() {
  FWindow.ShowAboutBox();
}

void TFMain::Exit() {
  FWindow.Close();
}

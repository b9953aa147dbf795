#include "designer/TL_main.h"

#include "base/fsAtomicFile.h"
#include "designer/KeyringFile.h"
#include "engine/fsDocument.h"
#include "engine/fsPage.h"
#include "engine/fsShape.h"
#include "persist/fsPlainXml.h"

TFTLMain::~TFTLMain() = default;

void TFTLMain::Create() {
  TFMain::Create();
  FAskPaperType = true;
  SetSideTab(0);
  FSideA = std::make_unique<TMemoryStream>();
  FSideB = std::make_unique<TMemoryStream>();
  FCombined = std::make_unique<TMemoryStream>();
  FWindow.SetSideTabsVisible(false);
  FWindow.SetPreviewTabsVisible(FSpecialMode);
  FWindow.SetControlVisible("BCopyToMultiPrint", FSpecialMode);
}

void TFTLMain::SetSideTab(int index) {
  FSideIndex = index;
  FWindow.SetSideTab(index);
}

void TFTLMain::BindTemplate(bool resetPrint) {
  TFMain::BindTemplate(resetPrint);
  // A template without a mid margin cannot be laid out: the conversion
  // error ends the binding.
  FMidMargin = TfsShape::TextToFloat(FPageParams.Value("mid margin"));
  FLayoutPattern = FPageParams.Value("layout pattern");
  const bool sides = !FLayoutPattern.empty();
  FWindow.SetSideTabsVisible(sides);
  FWindow.SetControlVisible("BCopyAToB", FSpecialMode && sides);
  FWindow.SetControlChecked("CBFlipSide", false);
}

void TFTLMain::EnableDesign(bool enabled) {
  TFMain::EnableDesign(enabled);
  EnableControls("GBTemplate", enabled);
}

void TFTLMain::LoadSide(TMemoryStream &side, const char *tempName) {
  const std::string temp = FAppFolder + tempName;
  SaveFileAtomically(temp, side.Bytes());
  FDocument->LoadFromFile(temp);
}

void TFTLMain::BuildPrintSource(TXmlNode &) {
  FPatternRest.clear();
  TMemoryStream &editing = FSideIndex == 0 ? *FSideA : *FSideB;
  editing.Clear();
  FDocument->SaveToStream(editing);

  struct TSide {
    TMemoryStream &Stream;
    const char *Temp;
    std::unique_ptr<TXmlNode> &Node;
  };
  for (TSide side :
       {TSide{*FSideA, "sideA.tmp", FSideANode}, TSide{*FSideB, "sideB.tmp", FSideBNode}}) {
    FDocument->New();
    LoadSide(side.Stream, side.Temp);
    BindTemplate(false);
    side.Node = std::make_unique<TXmlNode>(nullptr, "Page");
    // The outline objects print by paper type; they are set on the loaded
    // copy only, which is reloaded below.
    if (FPrecut) {
      if (olImage)
        olImage->SetVisible(false);
      if (olMask)
        olMask->SetVisible(true);
      for (TfsShape *s : {olBorder, olOutline})
        if (s)
          s->SetMasterAlpha(0);
    } else {
      for (TfsShape *s : {olImage, olBorder, olOutline})
        if (s)
          s->SetMasterAlpha(255);
    }
    if (TfsPage *page = FDocument->CurrentPage())
      page->SaveToXml(*side.Node);
  }

  FDocument->New();
  LoadSide(editing, FSideIndex == 0 ? "sideA.tmp" : "sideB.tmp");
  BindTemplate(false);
}

void TFTLMain::LoadPrintCell(TXmlNode &node, TfsPage &cellPage) {
  TXmlNode *source = FCellSide == "B" ? FSideBNode.get() : FSideANode.get();
  cellPage.LoadFromXml(source ? source : &node);
}

void TFTLMain::ApplyTemplateAlphas() {
  if (olImage)
    olImage->SetMasterAlpha(127);
  if (olMask)
    olMask->SetMasterAlpha(255);
  if (olBorder)
    olBorder->SetMasterAlpha(137);
  if (olOutline)
    olOutline->SetMasterAlpha(137);
}

void TFTLMain::ChoosePicture(TfsShape &bitmapShape) {
  if (!FAutoGenerating)
    TFMain::ChoosePicture(bitmapShape);
}

void TFTLMain::StoreTemplateParams() {
  FPageParams.SetValue("mid margin", TParamList::FloatText(FMidMargin));
  FPageParams.SetValue("layout pattern", FLayoutPattern);
  TFMain::StoreTemplateParams();
}

void TFTLMain::OpenDocumentFile(const std::string &fileName) {
  TFMain::OpenDocumentFile(fileName);
  SetSideTab(0);
  FCombined->Clear();
  FCombined->LoadFromFile(fileName);
  TKeyringSides sides = SplitSides(FCombined->Bytes());
  FSideA->Clear();
  FSideB->Clear();
  FSideA->Bytes() = std::move(sides.SideA);
  FSideB->Bytes() = std::move(sides.SideB);
  FDocument->New();
  LoadSide(*FSideA, "sideA.tmp");
}

void TFTLMain::SaveDocumentFile(const std::string &fileName) {
  StoreTemplateParams();
  TMemoryStream &editing = FSideIndex == 0 ? *FSideA : *FSideB;
  editing.Clear();
  FDocument->SaveToStream(editing);
  FCombined->Clear();
  FCombined->Bytes() = JoinSides(FSideA->Bytes(), FSideB->Bytes());
  SaveFileAtomically(fileName, FCombined->Bytes());
}

void TFTLMain::BeginPrintGrid(int rows, int cols) {
  FMidCount = FPortrait ? cols : rows;
}

void TFTLMain::BeginPrintCell(int, int row) {
  FCellRow = row + 1;
  if (FPatternRest.empty())
    FPatternRest = FLayoutPattern;
  FCellSide = FPatternRest.substr(0, 1);
  if (!FPatternRest.empty())
    FPatternRest.erase(0, 1);
}

float TFTLMain::CellMidMargin() {
  if (FMidCount / 2 < FCellRow)
    return 0;
  return static_cast<float>(FMidMargin);
}

void TFTLMain::AskPaperType(TLeftTab tab) {
  if (!(FAskPaperType && FTemplateLoaded))
    return;
  FAskPaperType = false;
  if (tab != ltPrint)
    return;
  FPrecut = FWindow.ShowPaperTypeDialog();
  FWindow.SetControlChecked("CBPrecut", FPrecut);
  FWindow.SetControlChecked("CBUncut", !FPrecut);
  FWindow.SetControlVisible("BShowPrintingTips", FPrecut);
  if (FPrecut)
    FWindow.ShowPrintingTipsDialog();
}

void TFTLMain::LeftTabChanged(TLeftTab tab) {
  AskPaperType(tab);
  TFMain::LeftTabChanged(tab);
}

void TFTLMain::SwitchSide(int index) {
  if (index == FSideIndex)
    return;
  StoreTemplateParams();
  TMemoryStream &leaving = FSideIndex == 0 ? *FSideA : *FSideB;
  leaving.Clear();
  FDocument->SaveToStream(leaving);
  FDocument->New();
  FSideIndex = index;
  LoadSide(index == 0 ? *FSideA : *FSideB, index == 0 ? "sideA.tmp" : "sideB.tmp");
  FWindow.ShowRightPage(rpDesignView);
  BindTemplate(false);
}

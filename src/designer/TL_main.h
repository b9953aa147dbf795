#pragma once

#include "base/fsStream.h"
#include "designer/FMain.h"
#include "persist/fsPlainXml.h"

#include <memory>

// The keyring designer: two sides held as two document archives, the
// side tabs, a mid margin and a layout pattern on the print sheet.
class TFTLMain : public TFMain {
public:
  using TFMain::TFMain;
  ~TFTLMain() override;

  void Create() override;

  void BindTemplate(bool resetPrint) override;
  void EnableDesign(bool enabled) override;
  void BuildPrintSource(TXmlNode &node) override;
  void LoadPrintCell(TXmlNode &node, TfsPage &cellPage) override;
  void ApplyTemplateAlphas() override;
  void ChoosePicture(TfsShape &bitmapShape) override;
  void StoreTemplateParams() override;
  void OpenDocumentFile(const std::string &fileName) override;
  void SaveDocumentFile(const std::string &fileName) override;
  void BeginPrintGrid(int rows, int cols) override;
  void BeginPrintCell(int col, int row) override;
  float CellMidMargin() override;

  void LeftTabChanged(TLeftTab tab) override;
  // The side tabs changed to this side (0 for A, 1 for B): the shown side
  // goes back into its stream and the other one is loaded.
  void SwitchSide(int index);
  // The paper type question before the first visit to the Print tab.
  void AskPaperType(TLeftTab tab);

  bool AskPaperTypePending() const { return FAskPaperType; }
  bool Precut() const { return FPrecut; }
  int SideIndex() const { return FSideIndex; }
  const std::string &LayoutPattern() const { return FLayoutPattern; }
  double MidMargin() const { return FMidMargin; }
  const TMemoryStream &SideA() const { return *FSideA; }
  const TMemoryStream &SideB() const { return *FSideB; }
  bool AutoGenerating() const { return FAutoGenerating; }

private:
  void SetSideTab(int index);
  void LoadSide(TMemoryStream &side, const char *tempName);

  bool FAskPaperType = false;
  bool FAutoGenerating = false;
  std::unique_ptr<TMemoryStream> FSideA, FSideB, FCombined;
  std::unique_ptr<TXmlNode> FSideANode, FSideBNode;
  std::string FPatternRest, FCellSide;
  int FMidCount = 0;
  int FCellRow = 0;
  int FSideIndex = 0;
  double FMidMargin = 0;
  std::string FLayoutPattern;
};

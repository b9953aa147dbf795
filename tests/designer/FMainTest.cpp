#include "base/fsError.h"
#include "base/fsStream.h"
#include "designer/FakeDesignerWindow.h"
#include "designer/KeyringFile.h"
#include "designer/MemorySettingsStore.h"
#include "designer/TL_main.h"
#include "designer/uOptions.h"
#include "designer/uRegistry.h"
#include "engine/fsPage.h"
#include "engine/fsShape.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// Page names as templates carry them.
const std::string KeyringParams = "\"template name=Heart Shape\",\"mid margin=3.5\","
                                  "\"layout pattern=AB\",portrait=-1";

std::string SideArchive(const std::string &pageName, int shapes) {
  TfsDocument d;
  if (d.PageCount() == 0)
    d.AddPage();
  d.CurrentPage()->SetName(pageName);
  for (int i = 0; i < shapes; ++i) {
    auto s = std::make_unique<TfsShape>();
    s->SetName("shape " + std::to_string(i));
    d.AddShape(std::move(s));
  }
  TMemoryStream out;
  d.SaveToStream(out);
  return out.Bytes();
}

void WriteKeyringFile(const fs::path &file, const std::string &pageName, int shapesA = 0,
                      int shapesB = 0) {
  SaveSidesToFile(file, SideArchive(pageName, shapesA), SideArchive(pageName + ",side=B", shapesB));
}

class DesignerTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetSettingsStore(&Store);
    fs::create_directories(Dir / "prog");
    CreateOptions({Prog(), (Dir / "local").string()});
  }
  void TearDown() override {
    Designer.reset();
    FreeOptions();
    SetSettingsStore(nullptr);
  }
  std::string Prog() const { return (Dir / "prog").string() + "/"; }

  TFTLMain &Make(std::vector<std::string> args = {}, std::string appFolder = {}) {
    Designer = std::make_unique<TFTLMain>(
        Window, Browser,
        TFMain::TStartup{std::move(args), appFolder.empty() ? Prog() : appFolder, ""});
    Designer->Create();
    return *Designer;
  }
  TfsDocument &Design() { return Designer->Document(); }

  testsupport::TempDir Dir;
  TMemorySettingsStore Store;
  TFakeDesignerWindow Window;
  TFakeBrowser Browser;
  std::unique_ptr<TFTLMain> Designer;
};

TEST_F(DesignerTest, CommandLineWords) {
  struct Case {
    std::vector<std::string> Args;
    bool Extra;
    std::string StartFile;
    bool Special;
  } cases[] = {
      {{}, false, "", false},
      {{"extra"}, true, "", false},
      {{"EXTRA"}, false, "EXTRA", false},
      {{"Extra"}, false, "Extra", false},
      {{"a.fbd"}, false, "a.fbd", false},
      {{"extra", "special"}, true, "", true},
      {{"a.fbt", "special"}, false, "a.fbt", true},
      {{"a.fbt", "SPECIAL"}, false, "a.fbt", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.Args.empty() ? "(none)" : c.Args[0]);
    Window = TFakeDesignerWindow();
    TFTLMain &d = Make(c.Args);
    EXPECT_EQ(d.ExtraMode(), c.Extra);
    EXPECT_EQ(d.StartFile(), c.StartFile);
    EXPECT_EQ(d.SpecialMode(), c.Special);
    EXPECT_EQ(Window.TabVisible[ltTemplate], c.Extra);
    EXPECT_FALSE(Window.TabVisible[ltDesignOld]);
    EXPECT_EQ(Window.PreviewTabsVisible, c.Special);
    EXPECT_EQ(Window.Visible["BCopyToMultiPrint"], c.Special);
  }
}

TEST_F(DesignerTest, StartStateAndDocuments) {
  const std::string app = (Dir / "a" / "b").string() + "/";
  TFTLMain &d = Make({}, app);
  EXPECT_EQ(d.TemplateFolder(), app + "templates");
  EXPECT_TRUE(fs::is_directory(app + "templates"));
  EXPECT_FALSE(d.HasTemplates());
  EXPECT_FALSE(d.TemplateLoaded());
  EXPECT_EQ(Window.RightPage, rpStartup);
  EXPECT_EQ(Window.LeftTab, ltDesign);
  EXPECT_EQ(Window.PreviewPage, ppSinglePrint);
  EXPECT_EQ(Window.Caption, "Tallisyn 2");
  for (const char *c : {"PPrintLayout", "GBText", "GBBGColour", "GBImage", "GBTemplate"})
    EXPECT_FALSE(Window.ContainerEnabled[c]) << c;
  for (const char *c : {"BLoadImage", "BSaveDesign", "tbAdd", "tbAddText", "tbAddPic", "miEdit"})
    EXPECT_FALSE(Window.Enabled[c]) << c;
  ASSERT_EQ(d.PrintGrid().size(), 1u);
  ASSERT_EQ(d.PrintGrid()[0].size(), 1u);
  EXPECT_EQ(d.PrintGrid()[0][0], "*");
  EXPECT_EQ(Window.Text["LPrintHeader"], "Print Keyring");
  EXPECT_EQ(Window.Text["LDesignAdvancedHeader"], "Design Keyring");

  TfsDocument &design = *Window.Document(drDesign);
  EXPECT_EQ(&design, &d.Document());
  EXPECT_EQ(design.Mode(), vmEdit);
  EXPECT_FLOAT_EQ(design.RenderDPI(), 150);
  EXPECT_FLOAT_EQ(design.PageDefaults().GridSize, 5);
  EXPECT_FLOAT_EQ(design.PageDefaults().MarginLeft, 10);
  EXPECT_FLOAT_EQ(design.PageDefaults().MarginBottom, 10);
  EXPECT_EQ(design.PageDefaults().PageColor, 0xC0DCC0);
  EXPECT_FLOAT_EQ(design.PageWidth(), 210);
  EXPECT_FLOAT_EQ(design.PageHeight(), 297);
  EXPECT_TRUE(design.RenderAtScreenRes());
  EXPECT_FALSE(design.Modified());
  for (TDocumentRole role : {drPrintPreview, drMultiprintPreview}) {
    TfsDocument &p = *Window.Document(role);
    EXPECT_EQ(p.Mode(), vmBrowse);
    EXPECT_EQ(p.PrintQuality(), pqMedium);
    EXPECT_FLOAT_EQ(p.PageDefaults().MarginTop, 15);
    EXPECT_FLOAT_EQ(p.RenderDPI(), 150);
    EXPECT_FLOAT_EQ(p.PageWidth(), 210);
  }
}

TEST_F(DesignerTest, EmptyTemplatesDialogComesOnceBeforeTheCaption) {
  Window.NoTemplatesAnswers = {true};
  Make();
  Window.Log.clear();
  Designer->Shown();
  const std::vector<std::string> expected = {"NoTemplatesDialog", "Caption Tallisyn 2"};
  EXPECT_EQ(Window.Log, expected);
  // "Download" opens the download page.
  EXPECT_EQ(Browser.Opened,
            std::vector<std::string>{"http://www.tallisyn.example/download.html?ref=TL2"});
  EXPECT_TRUE(Window.Timers.count(dtTermsAndConditions));

  // With one template in the folder it is not shown.
  fs::create_directories(Dir / "prog" / "templates");
  WriteKeyringFile(Dir / "prog" / "templates" / "One.FBT", KeyringParams);
  Window = TFakeDesignerWindow();
  Make();
  EXPECT_TRUE(Designer->HasTemplates());
  Designer->Shown();
  EXPECT_EQ(Window.Count("NoTemplatesDialog"), 0);
}

TEST_F(DesignerTest, StartFileOpensByItsExtensionWhateverItsCase) {
  WriteKeyringFile(Dir / "Heart_Shape_2.FBT", KeyringParams, 2);
  WriteKeyringFile(Dir / "mine.Fbd", KeyringParams, 3);
  WriteKeyringFile(Dir / "other.fbx", KeyringParams, 1);
  struct Case {
    std::string File;
    bool Loaded;
    std::string Caption;
    int Shapes;
  } cases[] = {
      {"Heart_Shape_2.FBT", true, "Tallisyn 2 - Heart Shape 2", 2},
      {"mine.Fbd", true, "Tallisyn 2 - Heart Shape - mine.Fbd", 3},
      {"other.fbx", false, "Tallisyn 2", 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.File);
    Window = TFakeDesignerWindow();
    Window.NoTemplatesAnswers = {false};
    Make({(Dir / c.File).string()});
    Designer->Shown();
    EXPECT_EQ(Designer->TemplateLoaded(), c.Loaded);
    EXPECT_EQ(Window.Caption, c.Caption);
    EXPECT_EQ(Design().ShapeCount(), c.Shapes);
    EXPECT_TRUE(Window.Messages.empty());
    EXPECT_EQ(Window.RightPage, c.Loaded ? rpDesignView : rpStartup);
  }
}

TEST_F(DesignerTest, OpeningBindsTheTemplate) {
  WriteKeyringFile(Dir / "Heart_Shape_2.fbt", KeyringParams, 2, 5);
  TFTLMain &d = Make();
  d.OpenTemplate((Dir / "Heart_Shape_2.fbt").string());
  EXPECT_EQ(d.TemplateFileName(), "Heart_Shape_2.fbt");
  EXPECT_EQ(d.DesignFileName(), "");
  EXPECT_EQ(d.TemplateName(), "Heart Shape 2");
  EXPECT_EQ(d.CurrentTemplate(), "Heart Shape 2");
  EXPECT_EQ(Window.Text["LCurrentTemplate"], "Heart Shape 2");
  EXPECT_EQ(d.LayoutPattern(), "AB");
  EXPECT_DOUBLE_EQ(d.MidMargin(), 3.5);
  EXPECT_TRUE(Window.SideTabsVisible);
  EXPECT_EQ(Window.SideTab, 0);
  EXPECT_EQ(Window.ContainerEnabled["PPrintLayout"], true);
  EXPECT_EQ(Window.Enabled["BSaveDesign"], true);
  EXPECT_EQ(Window.Status[2], "Total Shapes: 2");
  EXPECT_FALSE(Design().Modified());
  EXPECT_EQ(Design().UndoCount(), 0);
  // Side A went through its temporary file.
  EXPECT_TRUE(fs::exists(Dir / "prog" / "sideA.tmp"));
  EXPECT_EQ(d.SideB().Bytes(), LoadSidesFromFile(Dir / "Heart_Shape_2.fbt").SideB);

  // A design keeps the template name stored in it.
  WriteKeyringFile(Dir / "x.fbd", "\"template name=Star\",\"mid margin=0\"");
  d.OpenDesign((Dir / "x.fbd").string());
  EXPECT_EQ(d.CurrentTemplate(), "Star");
  EXPECT_EQ(Window.Caption, "Tallisyn 2 - Star - x.fbd");
  EXPECT_FALSE(Window.SideTabsVisible);
  EXPECT_FALSE(d.EditingTemplate());
}

TEST_F(DesignerTest, AFileThatFailsToOpenLeavesAnEmptyDesign) {
  WriteKeyringFile(Dir / "good.fbt", KeyringParams, 2);
  // No mid margin: the keyring cannot be bound.
  WriteKeyringFile(Dir / "nomid.fbt", "\"template name=X\"", 2);
  std::ofstream(Dir / "junk.fbt") << "not a keyring file";
  struct Case {
    std::string File;
    std::string Message;
  } cases[] = {
      {"junk.fbt", "'not a keyring file' is not a valid integer value"},
      {"nomid.fbt", "'' is not a valid floating point value"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.File);
    Window = TFakeDesignerWindow();
    TFTLMain &d = Make();
    d.OpenTemplate((Dir / "good.fbt").string());
    ASSERT_EQ(Design().ShapeCount(), 2);
    try {
      d.OpenTemplate((Dir / c.File).string());
      ADD_FAILURE() << "no error";
    } catch (const EfsError &e) {
      EXPECT_EQ(std::string(e.what()).substr(0, c.Message.size()), c.Message);
    }
    if (c.File == "junk.fbt") {
      EXPECT_EQ(Design().ShapeCount(), 0);
      EXPECT_EQ(Window.RightPage, rpStartup);
      EXPECT_FALSE(Window.Enabled["BSaveDesign"]);
    }
  }
}

TEST_F(DesignerTest, ConfirmDiscardAnswers) {
  struct Case {
    const char *Name;
    bool Modified;
    bool EditingTemplate;
    std::vector<TModalAnswer> Answers;
    std::vector<std::optional<std::string>> Files;
    bool Result;
    std::string Question;
    bool Saved;
  } cases[] = {
      {"unchanged", false, false, {}, {}, true, "", false},
      {"no",
       true,
       false,
       {maNo},
       {},
       true,
       "Do you want to save the changes to your design?",
       false},
      {"cancel",
       true,
       false,
       {maCancel},
       {},
       false,
       "Do you want to save the changes to your design?",
       false},
      {"yes then cancel",
       true,
       false,
       {maYes},
       {std::nullopt},
       false,
       "Do you want to save the changes to your design?",
       false},
      {"yes and save",
       true,
       false,
       {maYes},
       {"saved"},
       true,
       "Do you want to save the changes to your design?",
       true},
      {"template",
       true,
       true,
       {maYes},
       {"saved"},
       true,
       "Do you want to save the changes to your template?",
       true},
  };
  WriteKeyringFile(Dir / "t.fbt", KeyringParams, 1);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.Name);
    Window = TFakeDesignerWindow();
    TFTLMain &d = Make();
    d.OpenTemplate((Dir / "t.fbt").string());
    d.SetEditingTemplate(c.EditingTemplate);
    Design().SetModified(c.Modified);
    const fs::path target = Dir / (std::string(c.Name) + (c.EditingTemplate ? ".fbt" : ".fbd"));
    Window.YesNoCancelAnswers.assign(c.Answers.begin(), c.Answers.end());
    for (const auto &f : c.Files)
      Window.FileAnswers.push_back(f ? std::optional<std::string>(target.string()) : std::nullopt);
    Window.Log.clear();
    EXPECT_EQ(d.CloseQuery(), c.Result);
    EXPECT_EQ(Window.Count("Ask " + c.Question), c.Question.empty() ? 0 : 1);
    EXPECT_EQ(fs::exists(target), c.Saved);
    if (c.Saved) {
      EXPECT_FALSE(Design().Modified());
    }
  }
}

TEST_F(DesignerTest, SavingADesignKeepsBothSidesAndTheNames) {
  WriteKeyringFile(Dir / "t.fbt", KeyringParams, 1, 4);
  TFTLMain &d = Make();
  d.OpenTemplate((Dir / "t.fbt").string());
  Design().AddShape(std::make_unique<TfsShape>());
  const fs::path typed = Dir / "out" / "gift";
  fs::create_directories(typed.parent_path());
  Window.FileAnswers = {typed.string()};
  ASSERT_TRUE(d.SaveDesign());
  EXPECT_EQ(Window.LastDialog.Title, "Save keyring design");
  EXPECT_EQ(Window.LastDialog.Filter, "keyring designs (*.fbd)|*.fbd");
  EXPECT_EQ(Window.LastDialog.DefaultExt, "fbd");
  EXPECT_EQ(Window.LastDialog.InitialDir, Prog() + "designs");
  EXPECT_TRUE(Window.LastDialog.OverwritePrompt);
  // Typed without an extension, saved with one.
  ASSERT_TRUE(fs::exists(Dir / "out" / "gift.fbd"));
  EXPECT_EQ(d.DesignFileName(), "gift.fbd");
  EXPECT_EQ(Options->SaveDesignFolder(), (Dir / "out").string());
  EXPECT_EQ(Window.Caption, "Tallisyn 2 - t - gift.fbd");

  // Reopened: side A has the new shape, side B is as it was, the page
  // parameters survived.
  Window.Log.clear();
  d.OpenDesign((Dir / "out" / "gift.fbd").string());
  EXPECT_EQ(Design().ShapeCount(), 2);
  EXPECT_EQ(d.LayoutPattern(), "AB");
  EXPECT_DOUBLE_EQ(d.MidMargin(), 3.5);
  EXPECT_EQ(d.SideB().Bytes(), LoadSidesFromFile(Dir / "t.fbt").SideB);
  EXPECT_EQ(d.CurrentTemplate(), "t");
}

TEST_F(DesignerTest, SwitchingSidesKeepsEachSidesEdits) {
  WriteKeyringFile(Dir / "t.fbt", KeyringParams, 1, 4);
  TFTLMain &d = Make();
  d.OpenTemplate((Dir / "t.fbt").string());
  d.SwitchSide(1);
  EXPECT_EQ(Design().ShapeCount(), 4);
  EXPECT_EQ(Window.RightPage, rpDesignView);
  // Switching leaves nothing to ask about.
  Window.Log.clear();
  EXPECT_TRUE(d.CloseQuery());
  EXPECT_TRUE(Window.Log.empty());

  Design().AddShape(std::make_unique<TfsShape>());
  d.SwitchSide(0);
  EXPECT_EQ(Design().ShapeCount(), 1);
  EXPECT_TRUE(d.CloseQuery());
  Window.FileAnswers = {(Dir / "both.fbd").string()};
  ASSERT_TRUE(d.SaveDesign());
  const TKeyringSides saved = LoadSidesFromFile(Dir / "both.fbd");
  d.OpenDesign((Dir / "both.fbd").string());
  EXPECT_EQ(Design().ShapeCount(), 1);
  d.SwitchSide(1);
  EXPECT_EQ(Design().ShapeCount(), 5);
}

TEST_F(DesignerTest, ShapeStatusPanels) {
  TFTLMain &d = Make();
  for (int i = 0; i < 3; ++i)
    Design().AddShape(std::make_unique<TfsShape>());
  d.UpdateShapeStatus();
  EXPECT_EQ(Window.Status[2], "Total Shapes: 3");
  EXPECT_EQ(Window.Status[3], "Selected Shape No: None");
  Design().ToggleSelection(*Design().GetShape(2));
  Design().ToggleSelection(*Design().GetShape(0));
  // The selection event updates the panels.
  EXPECT_EQ(Window.Status[3], "Selected Shape No: 0,2");
  d.ShowStatusMessage("hello");
  EXPECT_EQ(Window.Status[1], "hello");
}

TEST_F(DesignerTest, MousePositionAndDiagnostic) {
  TFTLMain &d = Make();
  TfsDocument &doc = Design();
  doc.SetViewMapping({-5, 10, 2});
  d.DocumentMouseMove({20, 40});
  // 20 px / 2 - 5 mm, 40 px / 2 + 10 mm, less the page's own placement.
  const TFloatPoint p = doc.CurrentPage()->ScreenToLocal({20, 40});
  char expected[64];
  std::snprintf(expected, sizeof expected, "X=%6.1f, Y=%6.1f", double(p.X), double(p.Y));
  EXPECT_EQ(Window.Status[0], expected);
  EXPECT_EQ(Window.Status[0].substr(0, 2), "X=");

  auto a = std::make_unique<TfsShape>();
  a->SetName("bg");
  doc.AddShape(std::move(a));
  auto b = std::make_unique<TfsShape>();
  b->SetVisible(false);
  doc.AddShape(std::move(b));
  d.StatusBarPressed(false);
  EXPECT_TRUE(Window.Messages.empty());
  d.StatusBarPressed(true);
  ASSERT_EQ(Window.Messages.size(), 1u);
  EXPECT_EQ(Window.Messages[0], "Undo count: " + std::to_string(doc.UndoCount()) +
                                    "\r\n0: bg; Visible = True\r\n1: ; Visible = False\r\n");

  doc.SetPageCount(0);
  d.DocumentMouseMove({1, 1});
  EXPECT_EQ(Window.Status[0], "");
}

TEST_F(DesignerTest, ProductPageAddresses) {
  struct Case {
    std::string Site, Path;
    bool Reference;
    std::string Address;
  } cases[] = {
      {"https://shop.example/", "help.php", true, "https://shop.example/help.php?ref=TL2"},
      {"HTTP://shop.example/", "", false, "HTTP://shop.example/"},
      {"HtTpS://a/", "x", false, "HtTpS://a/x"},
      {"www.tallisyn.example/", "tutorials.html", true,
       "http://www.tallisyn.example/tutorials.html?ref=TL2"},
      {"httpx.example/", "", false, "http://httpx.example/"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(ProductPageAddress(c.Site, c.Path, c.Reference), c.Address) << c.Site;

  TFTLMain &d = Make();
  d.HelpFaqs();
  d.HelpTutorials();
  d.StartupPictureClicked();
  const std::vector<std::string> opened = {"http://www.tallisyn.example/help.php?ref=TL2",
                                           "http://www.tallisyn.example/tutorials.html?ref=TL2",
                                           "http://www.tallisyn.example/?ref=TL2"};
  EXPECT_EQ(Browser.Opened, opened);
  Browser.Works = false;
  try {
    d.HelpFaqs();
    ADD_FAILURE() << "no error";
  } catch (const EfsError &e) {
    EXPECT_STREQ(e.what(), "Couldn't launch default browser");
  }
}

TEST_F(DesignerTest, TermsAskedUntilAccepted) {
  struct Case {
    bool Stored;
    bool Answer;
    int Shown;
    bool After;
  } cases[] = {{false, true, 1, true}, {false, false, 1, false}, {true, true, 0, true}};
  for (const Case &c : cases) {
    Options->SetAcceptTermsAndConditions(c.Stored);
    Window = TFakeDesignerWindow();
    Window.TermsAnswers = {c.Answer};
    TFTLMain &d = Make();
    d.TimerFired(dtTermsAndConditions);
    EXPECT_EQ(Window.Count("TermsDialog"), c.Shown);
    EXPECT_EQ(Options->AcceptTermsAndConditions(), c.After);
    EXPECT_FALSE(Window.Timers.count(dtTermsAndConditions));
  }
  // The menu shows it whatever the flag.
  Designer->ShowTerms();
  EXPECT_EQ(Window.Count("TermsDialog"), 1);
}

TEST_F(DesignerTest, PaperTypeIsAskedOnceOnTheFirstPrintVisitAfterBinding) {
  WriteKeyringFile(Dir / "t.fbt", KeyringParams);
  TFTLMain &d = Make();
  // Before a template: not asked, and the chance is kept.
  d.LeftTabChanged(ltPrint);
  EXPECT_EQ(Window.Count("PaperTypeDialog"), 0);
  EXPECT_EQ(Window.RightPage, rpPrintPreviews);
  d.LeftTabChanged(ltDesign);
  EXPECT_EQ(Window.RightPage, rpStartup);
  d.OpenTemplate((Dir / "t.fbt").string());
  Window.PaperTypeAnswers = {false};
  d.LeftTabChanged(ltPrint);
  d.LeftTabChanged(ltDesign);
  EXPECT_EQ(Window.RightPage, rpDesignView);
  d.LeftTabChanged(ltPrint);
  EXPECT_EQ(Window.Count("PaperTypeDialog"), 1);
  EXPECT_FALSE(d.Precut());
  EXPECT_FALSE(Window.Checked["CBPrecut"]);
  EXPECT_TRUE(Window.Checked["CBUncut"]);
  EXPECT_FALSE(Window.Visible["BShowPrintingTips"]);
  EXPECT_EQ(Window.Count("PrintingTipsDialog"), 0);

  // A first change to another tab uses the question up.
  Window = TFakeDesignerWindow();
  TFTLMain &e = Make();
  e.OpenTemplate((Dir / "t.fbt").string());
  e.LeftTabChanged(ltTemplate);
  e.LeftTabChanged(ltPrint);
  EXPECT_EQ(Window.Count("PaperTypeDialog"), 0);

  // Pre-cut shows the tips.
  Window = TFakeDesignerWindow();
  TFTLMain &f = Make();
  f.OpenTemplate((Dir / "t.fbt").string());
  f.LeftTabChanged(ltPrint);
  EXPECT_TRUE(f.Precut());
  EXPECT_TRUE(Window.Visible["BShowPrintingTips"]);
  EXPECT_EQ(Window.Count("PrintingTipsDialog"), 1);
  EXPECT_EQ(Window.PreviewPage, ppSinglePrint);
}

TEST_F(DesignerTest, KeyringPrintCellsTakeThePatternAndTheMidMargin) {
  WriteKeyringFile(Dir / "t.fbt", "\"mid margin=2.5\",\"layout pattern=ABB\"", 1, 3);
  TFTLMain &d = Make();
  d.OpenTemplate((Dir / "t.fbt").string());
  Design().AddShape(std::make_unique<TfsShape>());
  TXmlNode unused;
  d.BuildPrintSource(unused);
  // The edited side came back with its edit, and the snapshots hold both
  // sides.
  EXPECT_EQ(Design().ShapeCount(), 2);
  EXPECT_EQ(d.SideIndex(), 0);

  // Portrait: the mid-margin axis runs along the columns.
  d.BeginPrintGrid(3, 4);
  std::string sides;
  std::vector<float> margins;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) {
      d.BeginPrintCell(c, r);
      if (c == 0)
        margins.push_back(d.CellMidMargin());
      TfsPage cell;
      d.LoadPrintCell(unused, cell);
      const bool sideB = cell.Name().find("side=B") != std::string::npos;
      sides += sideB ? 'B' : 'A';
      EXPECT_EQ(cell.ShapeCount(), sideB ? 3 : 2) << r << "," << c;
    }
  // Every cell takes a letter, the pattern starting again when used up.
  EXPECT_EQ(sides, "ABBABBABBABB");
  // Rows 0 and 1 (4 div 2 = 2) move by the mid margin.
  EXPECT_EQ(margins, (std::vector<float>{2.5f, 2.5f, 0.f}));
}

TEST_F(DesignerTest, FileMenuFollowsTheButtonsAndExitCloses) {
  TFTLMain &d = Make();
  Window.SetControlEnabled("BPrint", false);
  d.FileMenuOpening();
  EXPECT_FALSE(Window.Enabled["miSaveDesign"]);
  EXPECT_FALSE(Window.Enabled["miPrint"]);
  Window.SetControlEnabled("BSaveDesign", true);
  Window.SetControlEnabled("BPrint", true);
  d.FileMenuOpening();
  EXPECT_TRUE(Window.Enabled["miSaveDesign"]);
  EXPECT_TRUE(Window.Enabled["miPrint"]);
  d.Exit();
  EXPECT_TRUE(Window.Closed);
}

} // namespace

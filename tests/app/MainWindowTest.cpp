#include "app/MainWindow.h"
#include "app/AppStartup.h"
#include "app/TFConfig.h"
#include "app/TFDialogTexts.h"
#include "app/TFTextDialog.h"
#include "app/TfrmOptions.h"
#include "app/TfsDocumentView.h"
#include "base/fsStream.h"
#include "designer/KeyringFile.h"
#include "designer/uMessages.h"
#include "designer/uOptions.h"
#include "engine/fsPage.h"
#include "engine/fsShape.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// The window with its modal dialogs answered by the test.
class TTestWindow : public TMainWindow {
public:
  using TMainWindow::TMainWindow;
  bool ShowNoTemplatesDialog() override {
    Log.push_back("NoTemplates [" + windowTitle().toStdString() + "]");
    return false;
  }
  bool ShowTermsDialog() override {
    Log.push_back("Terms");
    return true;
  }
  TModalAnswer AskYesNoCancel(const std::string &text) override {
    Log.push_back("Ask " + text);
    return Answer;
  }
  std::vector<std::string> Log;
  TModalAnswer Answer = maCancel;
};

class TRecordingMessages : public TMessageService {
public:
  bool Confirm(const std::string &) override { return true; }
  void Inform(const std::string &text) override { Informed.push_back(text); }
  void Warn(const std::string &text) override { Informed.push_back(text); }
  std::vector<std::string> Informed;
};

void WriteTemplate(const fs::path &file, const std::string &pageName, int shapes) {
  TfsDocument d;
  if (d.PageCount() == 0)
    d.AddPage();
  d.CurrentPage()->SetName(pageName);
  for (int i = 0; i < shapes; ++i)
    d.AddShape(std::make_unique<TfsShape>());
  TMemoryStream side;
  d.SaveToStream(side);
  SaveSidesToFile(file, side.Bytes(), side.Bytes());
}

class MainWindowTest : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", Dir.path().c_str(), 1);
    setenv("XDG_DATA_HOME", (Dir / "data").c_str(), 1);
    setenv("TALLISYN_HOME", (Dir / "home").c_str(), 1);
    Startup = std::make_unique<TAppStartup>();
  }
  void TearDown() override {
    Window.reset();
    Startup.reset();
  }
  TTestWindow &Make(std::vector<std::string> args = {}) {
    Window = std::make_unique<TTestWindow>(std::move(args), Options->ProgramFolder());
    return *Window;
  }
  // Shows the window and lets its start-up steps and the terms timer run.
  void ShowAndSettle() {
    Window->show();
    QTest::qWait(300);
  }
  template <class T> T *Find(const char *name) const { return Window->findChild<T *>(name); }
  QString RightPage() const {
    return Find<QStackedWidget>("PageControl2")->currentWidget()->objectName();
  }

  testsupport::TempDir Dir;
  std::unique_ptr<TAppStartup> Startup;
  std::unique_ptr<TTestWindow> Window;
};

TEST_F(MainWindowTest, AfterStartTheStartupPanelShowsAndDesignIsOff) {
  TTestWindow &w = Make();
  ShowAndSettle();
  EXPECT_EQ(w.windowTitle(), "Tallisyn 2");
  EXPECT_EQ(RightPage(), "TabSheet8");
  ASSERT_NE(Find<QLabel>("IStartup"), nullptr);
  EXPECT_FALSE(Find<QLabel>("IStartup")->pixmap().isNull());
  // The start-up order: the empty-templates question before the caption
  // was set again, then the terms once the timer ran.
  EXPECT_EQ(w.Log, (std::vector<std::string>{"NoTemplates [Tallisyn 2]", "Terms"}));
  EXPECT_TRUE(Options->AcceptTermsAndConditions());

  for (const char *name : {"BSaveDesign", "BLoadImage", "tbAdd", "tbAddText", "tbAddPic", "BPrint"})
    EXPECT_FALSE(Find<QWidget>(name)->isEnabled()) << name;
  EXPECT_FALSE(Find<QMenu>("miShape")->menuAction()->isEnabled());

  QTabWidget *left = Find<QTabWidget>("PageControl1");
  ASSERT_EQ(left->count(), 4);
  const char *captions[] = {"Design Old", "Design", "Print", "Template"};
  const bool visible[] = {false, true, true, false};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(left->tabText(i), captions[i]);
    EXPECT_EQ(left->isTabVisible(i), visible[i]) << captions[i];
  }
  EXPECT_EQ(left->currentWidget()->objectName(), "tsDesignAdvanced");
  EXPECT_FALSE(Find<QTabBar>("TabControl")->isVisible());
  // The previews have their tab buttons only in "special" mode.
  EXPECT_TRUE(Find<QTabWidget>("PageControl4")->tabBar()->isHidden());

  QStatusBar *bar = Find<QStatusBar>("sbMain");
  ASSERT_NE(bar, nullptr);
  const int widths[] = {150, 400, 150, 50};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(Find<QLabel>(QString("sbPanel%1").arg(i).toUtf8().constData())->minimumWidth(),
              widths[i]);
}

TEST_F(MainWindowTest, ExtraModeShowsTheTemplateTab) {
  Make({"extra"});
  EXPECT_TRUE(Find<QTabWidget>("PageControl1")->isTabVisible(ltTemplate));
  Window.reset();
  Make({"Extra"});
  EXPECT_FALSE(Find<QTabWidget>("PageControl1")->isTabVisible(ltTemplate));
}

TEST_F(MainWindowTest, MenusCarryTheirCaptionsAndShortcuts) {
  Make({"x", "special"});
  struct Item {
    const char *Name;
    const char *Text;
    QKeySequence Keys;
    bool Visible;
  } items[] = {
      {"miOpenTemplate", "Open &Template", QKeySequence("Ctrl+N"), true},
      {"miOpenDesign", "Open &Design", QKeySequence("Ctrl+O"), true},
      {"miSaveDesign", "&Save Design", QKeySequence("Ctrl+S"), true},
      {"miPrint", "&Print...", QKeySequence("Ctrl+P"), false},
      {"miExit", "E&xit", QKeySequence("Ctrl+Q"), true},
      {"miFAQs", "&FAQs", QKeySequence("F1"), true},
      {"miTutorials", "&Tutorials", QKeySequence(), true},
      {"miOptions", "&Options...", QKeySequence(), true},
      {"miTerms", "&Terms and Conditions...", QKeySequence(), true},
      {"miAbout", "&About...", QKeySequence(), true},
  };
  for (const Item &i : items) {
    auto *a = Find<QAction>(i.Name);
    ASSERT_NE(a, nullptr) << i.Name;
    EXPECT_EQ(a->text(), i.Text);
    EXPECT_EQ(a->shortcut(), i.Keys) << i.Name;
    EXPECT_EQ(a->isVisible(), i.Visible) << i.Name;
  }
  QStringList menus;
  for (QAction *a : Window->menuBar()->actions())
    if (a->isVisible())
      menus << a->text();
  EXPECT_EQ(menus, (QStringList{"&File", "S&hape", "&Help"}));
  // "special" shows the preview tabs and the multi-print button.
  EXPECT_FALSE(Find<QTabWidget>("PageControl4")->tabBar()->isHidden());
}

TEST_F(MainWindowTest, CommandLineTemplateOpensIntoTheDesignView) {
  fs::create_directories(Dir / "home" / "templates");
  const fs::path file = Dir / "home" / "templates" / "Heart_Shape_2.fbt";
  WriteTemplate(file, "\"mid margin=2\",\"layout pattern=AB\"", 3);
  Options->SetAcceptTermsAndConditions(true);
  TTestWindow &w = Make({file.string()});
  ShowAndSettle();
  EXPECT_EQ(w.Log, std::vector<std::string>{});
  EXPECT_EQ(w.windowTitle(), "Tallisyn 2 - Heart Shape 2");
  EXPECT_EQ(RightPage(), "TabSheet3");
  EXPECT_EQ(Find<QLabel>("LCurrentTemplate")->text(), "Heart Shape 2");
  EXPECT_TRUE(Find<QTabBar>("TabControl")->isVisible());
  EXPECT_TRUE(Find<QWidget>("BSaveDesign")->isEnabled());
  EXPECT_EQ(Find<QLabel>("sbPanel2")->text(), "Total Shapes: 3");
  TfsDocumentView *view = w.DocumentView(drDesign);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(&view->Document(), &w.Designer().Document());
  EXPECT_EQ(view->Document().ShapeCount(), 3);
  EXPECT_EQ(view->objectName(), "fsDocument");
  EXPECT_TRUE(view->RulersVisible());

  // The pointer over the design view shows its page position.
  QTest::mouseMove(view->viewport(), QPoint(60, 80));
  EXPECT_TRUE(Find<QLabel>("sbPanel0")->text().startsWith("X="))
      << Find<QLabel>("sbPanel0")->text().toStdString();

  // Unchanged: closing asks nothing.
  EXPECT_TRUE(w.close());
  EXPECT_EQ(w.Log, std::vector<std::string>{});
}

TEST_F(MainWindowTest, ClosingWithChangesAsksAndCancelKeepsTheWindow) {
  fs::create_directories(Dir / "home" / "templates");
  const fs::path file = Dir / "home" / "templates" / "t.fbt";
  WriteTemplate(file, "\"mid margin=0\"", 1);
  Options->SetAcceptTermsAndConditions(true);
  TTestWindow &w = Make({file.string()});
  ShowAndSettle();
  w.Designer().Document().SetModified(true);
  w.Answer = maCancel;
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible());
  w.Answer = maNo;
  EXPECT_TRUE(w.close());
  EXPECT_EQ(w.Log,
            (std::vector<std::string>{"Ask Do you want to save the changes to your design?",
                                      "Ask Do you want to save the changes to your design?"}));
}

TEST_F(MainWindowTest, SizeAndPositionAreKeptBetweenRuns) {
  {
    TTestWindow &w = Make();
    ShowAndSettle();
    w.setGeometry(40, 50, 900, 640);
    QTest::qWait(20);
    EXPECT_TRUE(w.close());
    Window.reset();
  }
  Make();
  EXPECT_EQ(Window->geometry().size(), QSize(900, 640));
  EXPECT_EQ(Window->geometry().topLeft(), QPoint(40, 50));
}

TEST_F(MainWindowTest, OptionsDialogWritesItsSettings) {
  TRecordingMessages messages;
  SetMessageService(&messages);
  const fs::path appData = Options->AppDataFolder();
  std::ofstream(appData / TfrmOptions::ThumbnailFile) << "x";
  std::ofstream(appData / TfrmOptions::ThumbnailIndexFile) << "y";
  Options->SetShowAddClickHelpDialog(false);
  {
    TfrmOptions d;
    EXPECT_EQ(d.windowTitle(), "Options");
    auto *thumbs = d.findChild<QCheckBox *>("CBShowThumbnails");
    auto *threaded = d.findChild<QCheckBox *>("CBThreadedPreview");
    ASSERT_TRUE(thumbs && threaded);
    EXPECT_TRUE(thumbs->isChecked());
    EXPECT_TRUE(threaded->isChecked());
    EXPECT_FALSE(d.findChild<QCheckBox *>("CBMoveOLShapesToFront")->isVisibleTo(&d));
    QTest::mouseClick(thumbs, Qt::LeftButton);
    QTest::mouseClick(threaded, Qt::LeftButton);
    EXPECT_FALSE(Options->ShowTemplateDesignThumbnails());
    EXPECT_FALSE(Options->ThumbnailPreviewThreaded());
    EXPECT_EQ(QSettings("Orvane", "Tallisyn2").value("ShowTemplateDesignThumbnails").toString(),
              "0");

    QTest::mouseClick(d.findChild<QPushButton *>("BEnableHelpDialogs"), Qt::LeftButton);
    EXPECT_TRUE(Options->ShowAddClickHelpDialog());
    QTest::mouseClick(d.findChild<QPushButton *>("BClearThumbnailCache"), Qt::LeftButton);
  }
  EXPECT_FALSE(fs::exists(appData / TfrmOptions::ThumbnailFile));
  EXPECT_FALSE(fs::exists(appData / TfrmOptions::ThumbnailIndexFile));
  EXPECT_EQ(messages.Informed,
            (std::vector<std::string>{"Help Dialogs have been re-enabled",
                                      "Thumbnail Cache has been cleared\r\rFolder is " +
                                          appData.string()}));
  SetMessageService(nullptr);
  // The next dialog shows the stored values.
  TfrmOptions again;
  EXPECT_FALSE(again.findChild<QCheckBox *>("CBShowThumbnails")->isChecked());
}

TEST_F(MainWindowTest, FixedDialogsCarryTheirTexts) {
  const QStringList paper = DialogTexts::PaperType();
  EXPECT_EQ(paper[4], "printed around each Keyring shape to ");
  EXPECT_EQ(paper.size(), 12);
  const QStringList tips = DialogTexts::PrintingTips();
  EXPECT_EQ(tips[12], "While Tallisyn 2 allows precise adjustment of ");
  EXPECT_EQ(tips.last(), "advice, you do so at your own risk.");
  EXPECT_EQ(DialogTexts::NoTemplates()[3], "Tallisyn 2 web site before continuing.");
  for (const QStringList &lines : {paper, tips, DialogTexts::NoTemplates(), DialogTexts::Terms()})
    for (const QString &l : lines)
      EXPECT_FALSE(l.contains("PRODUCT_")) << l.toStdString();

  // The paper question: the default button is "Pre-cut Paper"; closing it
  // otherwise answers uncut.
  TFTextDialog d(nullptr, "Select Paper Type", paper, {"Pre-cut Paper", "Uncut Paper"}, 0, true);
  EXPECT_TRUE(d.Button(0)->isDefault());
  EXPECT_EQ(d.Button(1)->text(), "Uncut Paper");
  QTimer::singleShot(0, &d, [&] { d.Button(1)->click(); });
  EXPECT_EQ(d.Ask(), 1);
  QTimer::singleShot(0, &d, [&] { d.reject(); });
  EXPECT_EQ(d.Ask(), -1);
}

TEST_F(MainWindowTest, IconThemeIsWrittenInEverySize) {
  const fs::path dir = Dir / "icons";
  ASSERT_TRUE(TFConfig::WriteIconTheme(dir.string()));
  for (int size : TFConfig::ThemeSizes) {
    const QString file = QString::fromStdString(
        (dir / "hicolor" / (std::to_string(size) + "x" + std::to_string(size)) / "apps" /
         "tallisyn.png")
            .string());
    QImage image(file);
    ASSERT_FALSE(image.isNull()) << file.toStdString();
    EXPECT_EQ(image.size(), QSize(size, size));
    // Drawn on a transparent ground: the corners are clear, the middle is
    // not.
    EXPECT_EQ(qAlpha(image.pixel(0, size - 1)), 0);
    EXPECT_GT(qAlpha(image.pixel(size * 9 / 16, size * 5 / 8)), 200);
  }
}

} // namespace

#include "app/AppStartup.h"
#include "app/MainWindow.h"
#include "app/QtSettingsStore.h"
#include "base/fsError.h"
#include "designer/uOptions.h"
#include "designer/uRegistry.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(QtSettingsStore, KeepsValuesUnderTheProgramKey) {
  testsupport::TempDir dir;
  const QString ini = QString::fromStdString((dir / "s.ini").string());
  {
    TQtSettingsStore store(ini);
    EXPECT_TRUE(store.KeyExists("Software\\Tallisyn2"));
    EXPECT_FALSE(store.KeyExists("Software\\Other"));
    EXPECT_FALSE(store.ReadValue("Software\\Tallisyn2", "X").has_value());
    EXPECT_TRUE(store.WriteValue("Software\\Tallisyn2", "ThumbnailPreview", int32_t(0)));
    EXPECT_TRUE(store.WriteValue("Software\\Tallisyn2", "ImageFolder", std::string("/p q")));
    EXPECT_TRUE(store.WriteValue("Software\\Other", "V", std::string("w")));
  }
  TQtSettingsStore store(ini);
  SetSettingsStore(&store);
  SetRegistryKey("Tallisyn2");
  EXPECT_FALSE(ReadBool("ThumbnailPreview", true));
  EXPECT_EQ(ReadString("ImageFolder", ""), "/p q");
  EXPECT_TRUE(store.KeyExists("Software\\Other"));
  EXPECT_TRUE(store.DeleteKey("Software\\Other"));
  EXPECT_FALSE(store.KeyExists("Software\\Other"));
  EXPECT_EQ(ReadString("ImageFolder", ""), "/p q");
  SetSettingsStore(nullptr);
}

TEST(AppStartup, OptionsExistBeforeTheMainWindow) {
  testsupport::TempDir dir;
  setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
  setenv("TALLISYN_HOME", (dir / "home").c_str(), 1);
  QSettings("Orvane", "Tallisyn2").setValue("ThumbnailPreview", 0);
  {
    TAppStartup startup;
    ASSERT_NE(Options, nullptr);
    EXPECT_FALSE(Options->ThumbnailPreview());
    EXPECT_EQ(Options->ProgramFolder(), (dir / "home").string() + "/");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "home" / "designs"));
    EXPECT_EQ(Options->AppDataFolder(), (dir / "data" / "Orvane" / "Tallisyn 2").string());
    Options->TemplateFolders().Add("/t");

    auto window = startup.CreateMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), "Tallisyn 2");
    EXPECT_NE(window->findChild<QWidget *>("PStartup"), nullptr);
  }
  EXPECT_EQ(Options, nullptr);
  // The folders went back to the store when the program ended.
  EXPECT_EQ(QSettings("Orvane", "Tallisyn2").value("TemplateFolder1").toString(), "/t");
}

TEST(AppStartup, WrongTypedSettingFailsStartup) {
  testsupport::TempDir dir;
  setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  setenv("TALLISYN_HOME", (dir / "home").c_str(), 1);
  QSettings("Orvane", "Tallisyn2").setValue("ShowAddClickHelpDialog", "maybe");
  EXPECT_THROW(TAppStartup(), EfsError);
  EXPECT_EQ(Options, nullptr);
}

} // namespace

int main(int argc, char **argv) {
  // Test listing and runs need no display.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

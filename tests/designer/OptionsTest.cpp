#include "base/fsError.h"
#include "designer/MemorySettingsStore.h"
#include "designer/uOptions.h"
#include "designer/uRegistry.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

const std::string Key = "software\\tallisyn2";

class OptionsTest : public ::testing::Test {
protected:
  void SetUp() override { SetSettingsStore(&Store); }
  void TearDown() override {
    FreeOptions();
    SetSettingsStore(nullptr);
  }

  TAppFolders Folders() const {
    return {Dir.path().string() + "/prog/", Dir.path().string() + "/local"};
  }
  void Put(const std::string &name, TSettingValue v) { Store.Values[Key][name] = std::move(v); }
  std::optional<TSettingValue> Get(const std::string &name) {
    return Store.ReadValue("Software\\Tallisyn2", name);
  }

  testsupport::TempDir Dir;
  TMemorySettingsStore Store;
};

TEST_F(OptionsTest, FirstRunGivesDefaultsAndCreatesFolders) {
  std::filesystem::create_directories(Dir / "prog");
  CreateOptions(Folders());
  ASSERT_NE(Options, nullptr);
  EXPECT_TRUE(Options->ShowAddClickHelpDialog());
  EXPECT_TRUE(Options->ShowAddDragHelpDialog());
  EXPECT_TRUE(Options->ShowAddFreehandHelpDialog());
  EXPECT_TRUE(Options->MoveOLShapesToFrontInDesignMode());
  EXPECT_FALSE(Options->AcceptTermsAndConditions());
  EXPECT_TRUE(Options->ShowTemplateDesignThumbnails());
  EXPECT_TRUE(Options->ThumbnailPreview());
  EXPECT_TRUE(Options->ThumbnailPreviewThreaded());
  EXPECT_TRUE(Options->FreehandEnabled());
  EXPECT_EQ(Options->CurrentTemplateFolder, "");
  EXPECT_EQ(Options->TemplateFolders().Count(), 0u);

  const std::string prog = Dir.path().string() + "/prog/";
  EXPECT_EQ(Options->SaveDesignFolder(), prog + "designs");
  EXPECT_EQ(Options->ImageFolder(), prog + "images");
  EXPECT_TRUE(std::filesystem::is_directory(prog + "designs"));
  EXPECT_TRUE(std::filesystem::is_directory(prog + "images"));
  EXPECT_EQ(Options->AppDataFolder(), Dir.path().string() + "/local/Orvane/Tallisyn 2");
  EXPECT_TRUE(std::filesystem::is_directory(Options->AppDataFolder()));
  // Loading alone writes nothing.
  EXPECT_EQ(Store.Writes, 0);
}

TEST_F(OptionsTest, AppDataFallsBackToProgramFolder) {
  struct Case {
    const char *name;
    std::string local;
  };
  // A plain file where the folder should go cannot become a folder.
  testsupport::WriteFileBytes(Dir / "blocker", "x");
  const Case cases[] = {{"no local folder", ""},
                        {"cannot be created", Dir.path().string() + "/blocker"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    CreateOptions({Dir.path().string() + "/prog/", c.local});
    EXPECT_EQ(Options->AppDataFolder(), Dir.path().string() + "/prog/");
    FreeOptions();
  }
}

TEST_F(OptionsTest, StoredValuesAreRead) {
  Put("ShowAddClickHelpDialog", int32_t(0));
  Put("AcceptTermsAndConditions", int32_t(7)); // any non-zero is true
  Put("ThumbnailPreview", std::string("0"));   // text-only stores keep integers as text
  Put("CurrentDesignFolder", std::string("/home/u/designs"));
  Put("SaveDesignFolder", std::string("/elsewhere/designs"));
  CreateOptions(Folders());
  EXPECT_FALSE(Options->ShowAddClickHelpDialog());
  EXPECT_TRUE(Options->AcceptTermsAndConditions());
  EXPECT_FALSE(Options->ThumbnailPreview());
  EXPECT_EQ(Options->CurrentDesignFolder, "/home/u/designs");
  EXPECT_EQ(Options->SaveDesignFolder(), "/elsewhere/designs");
  // A stored folder is not created; only the default one is.
  EXPECT_FALSE(std::filesystem::exists("/elsewhere/designs"));
}

TEST_F(OptionsTest, MoveOutlineShapesToFrontIsTrueAtEveryStart) {
  CreateOptions(Folders());
  Options->SetMoveOLShapesToFrontInDesignMode(false);
  EXPECT_EQ(Get("MoveOLShapesToFrontInDesignMode"), TSettingValue(int32_t(0)));
  FreeOptions();
  CreateOptions(Folders());
  EXPECT_TRUE(Options->MoveOLShapesToFrontInDesignMode());
}

TEST_F(OptionsTest, SettersWriteAtOnceAsIntegers) {
  CreateOptions(Folders());
  Options->SetShowAddDragHelpDialog(false);
  Options->SetThumbnailPreviewThreaded(false);
  Options->SetImageFolder("/pics");
  EXPECT_EQ(Get("ShowAddDragHelpDialog"), TSettingValue(int32_t(0)));
  EXPECT_EQ(Get("ThumbnailPreviewThreaded"), TSettingValue(int32_t(0)));
  EXPECT_EQ(Get("ImageFolder"), TSettingValue(std::string("/pics")));

  Options->SetShowAddClickHelpDialog(false);
  Options->EnableHelpDialogs();
  EXPECT_TRUE(Options->ShowAddClickHelpDialog());
  EXPECT_TRUE(Options->ShowAddDragHelpDialog());
  EXPECT_EQ(Get("ShowAddClickHelpDialog"), TSettingValue(int32_t(1)));
  EXPECT_EQ(Get("ShowAddFreehandHelpDialog"), TSettingValue(int32_t(1)));
}

TEST_F(OptionsTest, FolderListReadingStopsAtTheFirstGap) {
  Put("TemplateFolder1", std::string("folder b"));
  Put("TemplateFolder2", std::string("folder a"));
  Put("TemplateFolder4", std::string("folder c"));
  Put("DesignFolder1", std::string("x"));
  Put("DesignFolder2", std::string(""));
  Put("DesignFolder3", std::string("y"));
  CreateOptions(Folders());
  EXPECT_EQ(Options->TemplateFolders().Items(), (std::vector<std::string>{"folder a", "folder b"}));
  EXPECT_EQ(Options->DesignFolders().Items(), (std::vector<std::string>{"x"}));
}

TEST_F(OptionsTest, FolderListsIgnoreCaseAndAreWrittenAtTheEnd) {
  for (int i = 1; i <= 101; ++i)
    Put("DesignFolder" + std::to_string(i), "d" + std::to_string(1000 + i));
  Put("TemplateFolder9", std::string("left from an earlier run"));
  CreateOptions(Folders());
  EXPECT_EQ(Options->DesignFolders().Count(), 100u); // no more than 100 are read

  auto &t = Options->TemplateFolders();
  t.Add("/data/Templates");
  t.Add("/data/templates");
  t.Add("/data/Alpha");
  EXPECT_EQ(t.Items(), (std::vector<std::string>{"/data/Alpha", "/data/Templates"}));
  EXPECT_EQ(t.IndexOf("/DATA/TEMPLATES"), 1);
  Options->CurrentTemplateFolder = "/data/Alpha";
  FreeOptions();

  EXPECT_EQ(Get("TemplateFolder1"), TSettingValue(std::string("/data/Alpha")));
  EXPECT_EQ(Get("TemplateFolder2"), TSettingValue(std::string("/data/Templates")));
  EXPECT_EQ(Get("TemplateFolder9"), TSettingValue(std::string("left from an earlier run")));
  EXPECT_EQ(Get("CurrentTemplateFolder"), TSettingValue(std::string("/data/Alpha")));
}

TEST_F(OptionsTest, WrongTypeFailsCreationWithoutWritingBack) {
  Put("ShowAddDragHelpDialog", std::string("yes"));
  Put("CurrentTemplateFolder", std::string("/kept"));
  try {
    CreateOptions(Folders());
    ADD_FAILURE() << "no error";
  } catch (const EfsError &e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'ShowAddDragHelpDialog'");
  }
  EXPECT_EQ(Options, nullptr);
  EXPECT_EQ(Get("CurrentTemplateFolder"), TSettingValue(std::string("/kept")));

  Store.Values.clear();
  Put("ImageFolder", int32_t(3));
  EXPECT_THROW(CreateOptions(Folders()), EfsError);
}

TEST_F(OptionsTest, UnwritableStoreIsNotAnError) {
  Store.ReadOnly = true;
  CreateOptions(Folders());
  EXPECT_NO_THROW(Options->SetThumbnailPreview(false));
  EXPECT_FALSE(Options->ThumbnailPreview());
  EXPECT_NO_THROW(FreeOptions());
  EXPECT_TRUE(Store.Values.empty());
}

TEST(Registry, SetRegistryKeyPrefixesBareNames) {
  struct Case {
    const char *in, *out;
  };
  const Case cases[] = {{"SOFTWARE\\Other", "SOFTWARE\\Other"},
                        {"software\\x", "software\\x"},
                        {"Tallisyn2", "Software\\Tallisyn2"},
                        {"Softwar", "Software\\Softwar"},
                        {"", "Software\\"}};
  for (const auto &c : cases) {
    SetRegistryKey(c.in);
    EXPECT_EQ(RegistryKey(), c.out) << c.in;
  }
}

TEST(Registry, ReadsOpenWithoutCreatingAndWritesCreate) {
  TMemorySettingsStore store;
  SetSettingsStore(&store);
  SetRegistryKey("Test");
  EXPECT_EQ(ReadString("A", "dflt"), "dflt");
  EXPECT_TRUE(ReadBool("B", true));
  EXPECT_FALSE(store.KeyExists("Software\\Test"));
  WriteBool("B", false);
  WriteString("A", "value");
  EXPECT_TRUE(store.KeyExists("Software\\Test"));
  EXPECT_FALSE(ReadBool("B", true));
  EXPECT_EQ(ReadString("A", "dflt"), "value");
  EXPECT_THROW(ReadString("B", ""), EfsError);
  DeleteRegistryKey();
  EXPECT_FALSE(store.KeyExists("Software\\Test"));
  SetSettingsStore(nullptr);
  EXPECT_EQ(ReadString("A", "none"), "none");
}

} // namespace

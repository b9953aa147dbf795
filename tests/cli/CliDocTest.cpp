#include "cli/CliRun.h"
#include "designer/KeyringFile.h"
#include "engine/fsDocument.h"
#include "shapes/fsStandardShapes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

// Two pages: a shape and a group with a child on the first, nothing on
// the second (A5, named).
std::string DocumentBytes(const std::string &firstName) {
  RegisterStandardShapes();
  TfsDocument doc;
  auto shape = std::make_unique<TfsShape>();
  shape->SetName(firstName);
  shape->SetBounds(10, 20.5f, 30, 40);
  doc.AddShape(std::move(shape));
  auto group = CreateShape("TfsGroupShape");
  group->SetName("group");
  group->SetBounds(50, 60, 20, 10);
  auto child = std::make_unique<TfsShape>();
  child->SetName("child");
  child->SetBounds(1, 2, 3, 4);
  child->SetDocAngle(45);
  group->AddShape(std::move(child));
  doc.AddShape(std::move(group));
  doc.AddPage();
  doc.GetPage(1)->SetBounds(0, 0, 148, 210);
  doc.GetPage(1)->SetName("back");
  TMemoryStream out;
  doc.SaveToStream(out);
  return out.Bytes();
}

std::vector<std::string> Listing(const std::filesystem::path &dir) {
  std::vector<std::string> names;
  for (const auto &e : std::filesystem::recursive_directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class CliDoc : public ::testing::Test {
protected:
  CliDoc() {
    testsupport::WriteFileBytes(Dir / "doc.stor", DocumentBytes("box"));
    testsupport::WriteFileBytes(Dir / "keyring.fbd",
                                JoinSides(DocumentBytes("front"), DocumentBytes("rear")));
  }
  std::string File(const char *name) const { return (Dir / name).string(); }

  testsupport::TempDir Dir;
};

TEST_F(CliDoc, InfoListsPagesAndShapesWithChildrenIndented) {
  auto r = Cli({"doc", "info", File("doc.stor")});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(r.Out, "pages 2\n"
                   "page 1 210 x 297 mm \"\"\n"
                   "  TfsShape \"box\" at 10, 20.5 mm, 30 x 40 mm, angle 0\n"
                   "  TfsGroupShape \"group\" at 50, 60 mm, 20 x 10 mm, angle 0\n"
                   "    TfsShape \"child\" at 1, 2 mm, 3 x 4 mm, angle 45\n"
                   "page 2 148 x 210 mm \"back\"\n");

  r = Cli({"doc", "info", File("doc.stor"), "--json"});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(r.Out,
            "{\"pages\":[{\"number\":1,\"width\":210,\"height\":297,\"name\":\"\",\"shapes\":["
            "{\"class\":\"TfsShape\",\"name\":\"box\",\"left\":10,\"top\":20.5,\"width\":30,"
            "\"height\":40,\"angle\":0,\"children\":[]},"
            "{\"class\":\"TfsGroupShape\",\"name\":\"group\",\"left\":50,\"top\":60,\"width\":20,"
            "\"height\":10,\"angle\":0,\"children\":[{\"class\":\"TfsShape\",\"name\":\"child\","
            "\"left\":1,\"top\":2,\"width\":3,\"height\":4,\"angle\":45,\"children\":[]}]}]},"
            "{\"number\":2,\"width\":148,\"height\":210,\"name\":\"back\",\"shapes\":[]}]}\n");
}

TEST_F(CliDoc, SidesOfAKeyringFile) {
  for (const char *side : {"A", "B"}) {
    auto r = Cli({"doc", "info", File("keyring.fbd"), "--side", side});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_NE(r.Out.find(side[0] == 'A' ? "\"front\"" : "\"rear\""), std::string::npos) << r.Out;
  }
  auto r = Cli({"doc", "xml", File("keyring.fbd"), "--side", "B", "--page", "1"});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_NE(r.Out.find("<Name>rear</Name>"), std::string::npos) << r.Out;
}

TEST_F(CliDoc, XmlPrintsOnePage) {
  auto r = Cli({"doc", "xml", File("doc.stor"), "--page", "2"});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(r.Out.compare(0, 5, "<?xml"), 0) << r.Out;
  EXPECT_NE(r.Out.find("<Page Index=\"2\">"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("<Name>back</Name>"), std::string::npos) << r.Out;
  r = Cli({"doc", "xml", File("doc.stor")});
  EXPECT_NE(r.Out.find("<Name>box</Name>"), std::string::npos) << "page 1 by default";

  r = Cli({"doc", "xml", File("doc.stor"), "--page", "3"});
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Err.find("no page 3"), std::string::npos) << r.Err;
}

TEST_F(CliDoc, DamagedFilesGiveTheMessageAndWriteNothing) {
  TnvStorage noIndex;
  TMemoryStream page(std::string("<Page/>"));
  noIndex.WriteStream("Page0001.xml", page);
  noIndex.SaveToFile(File("noindex.stor"));
  testsupport::WriteFileBytes(Dir / "garbage.stor", "this is no archive");
  const auto before = Listing(Dir.path());

  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"doc", "info", File("missing.stor")}, "Cannot find file \"" + File("missing.stor") + "\""},
      {{"doc", "info", File("noindex.stor")}, "Stream \"Index.xml\" not found in the storage"},
      {{"doc", "xml", File("noindex.stor")}, "Stream \"Index.xml\" not found in the storage"},
      {{"doc", "info", File("garbage.stor"), "--side", "A"}, "is not a valid integer value"},
  };
  for (const Case &c : cases) {
    auto r = Cli(c.args);
    EXPECT_EQ(r.Code, 1) << c.args[2];
    EXPECT_NE(r.Err.find(c.message), std::string::npos) << r.Err;
    EXPECT_EQ(r.Out, "");
  }
  auto r = Cli({"doc", "info", File("garbage.stor")});
  EXPECT_EQ(r.Code, 1);
  EXPECT_FALSE(r.Err.empty());
  EXPECT_EQ(Listing(Dir.path()), before);
}

TEST_F(CliDoc, BadArgumentsShowTheUsage) {
  for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
           {"doc"},
           {"doc", "info"},
           {"doc", "list", File("doc.stor")},
           {"doc", "info", File("doc.stor"), "--side", "C"},
           {"doc", "xml", File("doc.stor"), "--page", "0"},
           {"doc", "xml", File("doc.stor"), "--json"},
       }) {
    auto r = Cli(args);
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Err.find("doc info FILE"), std::string::npos);
  }
}

} // namespace

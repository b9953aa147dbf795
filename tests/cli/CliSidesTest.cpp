#include "cli/CliRun.h"
#include "designer/KeyringFile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(CliSides, SplitThenJoinGivesTheSameFile) {
  testsupport::TempDir dir;
  std::string a(300, 'A'), b = "side b";
  testsupport::WriteFileBytes(dir / "in.fbd", JoinSides(a, b));

  auto r = Cli({"sides", "split", (dir / "in.fbd").string(), (dir / "out").string()});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "out/sideA.stor"), a);
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "out/sideB.stor"), b);

  r = Cli({"sides", "join", (dir / "out/sideA.stor").string(), (dir / "out/sideB.stor").string(),
           (dir / "again.fbd").string()});
  ASSERT_EQ(r.Code, 0) << r.Err;
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "again.fbd"),
            testsupport::ReadFileBytes(dir / "in.fbd"));
}

TEST(CliSides, FailuresReportTheMessageAndTouchNothing) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir / "bad.fbd", "STOR not a keyring file");
  testsupport::WriteFileBytes(dir / "out.fbd", "precious");

  auto r = Cli({"sides", "split", (dir / "bad.fbd").string(), (dir / "split").string()});
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Err.find("is not a valid integer value"), std::string::npos) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(dir / "split"));

  r = Cli({"sides", "join", (dir / "missing").string(), (dir / "bad.fbd").string(),
           (dir / "out.fbd").string()});
  EXPECT_EQ(r.Code, 1);
  EXPECT_NE(r.Err.find("Cannot open file"), std::string::npos) << r.Err;
  EXPECT_EQ(testsupport::ReadFileBytes(dir / "out.fbd"), "precious");
}

TEST(CliSides, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> cases = {
      {}, {"nonsense"}, {"sides"}, {"sides", "split", "only-one"}, {"sides", "merge", "a", "b", "c"}};
  for (const auto &args : cases) {
    auto r = Cli(args);
    EXPECT_EQ(r.Code, 2);
    EXPECT_NE(r.Err.find("usage:"), std::string::npos);
  }
  auto v = Cli({"--version"});
  EXPECT_EQ(v.Code, 0);
  EXPECT_EQ(v.Out.rfind("tallisyn-cli ", 0), 0u);
}

} // namespace

#include "base/fsClassRegistry.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

struct TThing {
  virtual ~TThing() = default;
  virtual std::string Name() const { return "TThing"; }
};
struct TRound : TThing {
  std::string Name() const override { return "TRound"; }
};
struct TSquare : TThing {
  std::string Name() const override { return "TSquare"; }
};

TEST(ClassRegistry, OwnClassesFirstThenOthersInOrder) {
  int standardRuns = 0;
  TClassFactory<TThing> classes([&] {
    ++standardRuns;
    return std::vector<TClassFactory<TThing>::TRecord>{
        {"TThing", [] { return std::make_unique<TThing>(); }}};
  });
  classes.RegisterClass<TSquare>("TSquare");
  classes.RegisterClass<TRound>("TRound");
  classes.RegisterClass<TSquare>("TSquare"); // again: keeps its place
  std::vector<std::string> order;
  for (const auto &r : classes.Records())
    order.push_back(r.ClassName);
  EXPECT_EQ(order, (std::vector<std::string>{"TThing", "TSquare", "TRound"}));
  EXPECT_EQ(standardRuns, 1);
}

TEST(ClassRegistry, ExactNamesAndTheBaseClassForAnythingElse) {
  TClassFactory<TThing> classes;
  classes.RegisterClass<TRound>("TRound");
  struct Case {
    const char *name;
    const char *made;
  } cases[] = {{"TRound", "TRound"}, {"tround", "TThing"}, {"TRound ", "TThing"}, {"", "TThing"}};
  for (const Case &c : cases)
    EXPECT_EQ(classes.Create(c.name)->Name(), c.made) << c.name;
  EXPECT_FALSE(classes.Find("TSquare"));
  ASSERT_TRUE(classes.Find("TRound"));
}

TEST(ClassRegistry, ReplacingARecordChangesWhatIsMade) {
  TClassFactory<TThing> classes;
  classes.RegisterClass<TRound>("TShape");
  classes.RegisterClass<TSquare>("TShape");
  EXPECT_EQ(classes.Create("TShape")->Name(), "TSquare");
  EXPECT_EQ(classes.Records().size(), 1u);
}

TEST(ClassRegistry, FirstUseFromSeveralThreadsRunsTheStandardListOnce) {
  std::atomic<int> runs{0};
  TClassFactory<TThing> classes([&] {
    ++runs;
    return std::vector<TClassFactory<TThing>::TRecord>{
        {"TRound", [] { return std::make_unique<TRound>(); }}};
  });
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i)
    threads.emplace_back([&] { EXPECT_EQ(classes.Create("TRound")->Name(), "TRound"); });
  for (auto &t : threads)
    t.join();
  EXPECT_EQ(runs, 1);
}

} // namespace

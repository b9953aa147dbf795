#include "base/fsUpdateBracket.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// A bitmap-like owner: EndUpdate only closes, Changed announces when no
// bracket is open.
struct TAnnounced {
  void BeginUpdate() { Counter.Begin(); }
  void EndUpdate() { Counter.End("Unpaired"); }
  void Changed() {
    if (!Counter.Updating())
      ++Notifications;
  }
  TUpdateCounter Counter;
  int Notifications = 0;
};

// A shape-like owner: changes inside a bracket are held back and delivered
// by the outermost EndUpdate.
struct THeld {
  void BeginUpdate() { Counter.Begin(); }
  void EndUpdate() {
    if (Counter.End("EndUpdate called more often than BeginUpdate"))
      Deliver();
  }
  void Changed() {
    if (!Counter.Hold())
      Deliver();
  }
  void Deliver() {
    ++Notifications;
    if (ThrowOnNotify)
      throw std::runtime_error("from the notification");
  }
  TUpdateCounter Counter;
  int Notifications = 0;
  bool ThrowOnNotify = false;
};

TEST(UpdateBracket, HeldChangesGoOutOnceAtTheOutermostClose) {
  THeld o;
  o.BeginUpdate();
  o.BeginUpdate();
  for (int i = 0; i < 10; ++i)
    o.Changed();
  o.EndUpdate();
  EXPECT_EQ(o.Notifications, 0);
  o.EndUpdate();
  EXPECT_EQ(o.Notifications, 1);
  o.BeginUpdate();
  o.EndUpdate();
  EXPECT_EQ(o.Notifications, 1) << "a bracket without changes announces nothing";
}

TEST(UpdateBracket, UnpairedEndRaisesTheOwnersMessageAndStaysAtZero) {
  THeld o;
  try {
    o.EndUpdate();
    FAIL();
  } catch (const EfsAssertionFailed &e) {
    EXPECT_STREQ(e.what(), "EndUpdate called more often than BeginUpdate");
  }
  EXPECT_EQ(o.Counter.Count(), 0);
}

TEST(UpdateBracket, ScopeClosesAndAnnouncesAlsoWhenAnErrorLeavesIt) {
  TAnnounced a;
  EXPECT_THROW(
      {
        TUpdateScope scope(a, true);
        a.Changed();
        throw std::runtime_error("half-way");
      },
      std::runtime_error);
  EXPECT_EQ(a.Counter.Count(), 0);
  EXPECT_EQ(a.Notifications, 1) << "what changed before the error is announced";

  THeld h;
  EXPECT_THROW(
      {
        TUpdateScope scope(h);
        h.Changed();
        throw std::runtime_error("half-way");
      },
      std::runtime_error);
  EXPECT_EQ(h.Counter.Count(), 0);
  EXPECT_EQ(h.Notifications, 1);
}

TEST(UpdateBracket, AFailingAnnouncementDuringAnErrorLeavesTheFirstError) {
  THeld h;
  h.ThrowOnNotify = true;
  try {
    TUpdateScope scope(h);
    h.Changed();
    throw std::logic_error("the first error");
  } catch (const std::logic_error &e) {
    EXPECT_STREQ(e.what(), "the first error");
  }
  EXPECT_EQ(h.Counter.Count(), 0);
  // Without an error on its way, the announcement's own error is the one.
  EXPECT_THROW(
      {
        TUpdateScope scope(h);
        h.Changed();
      },
      std::runtime_error);
}

TEST(UpdateBracket, NestedScopesAnnounceOnceAtTheOuterEnd) {
  TAnnounced a;
  {
    TUpdateScope outer(a, true);
    {
      TUpdateScope inner(a, true);
      a.Changed();
    }
    EXPECT_EQ(a.Notifications, 0);
  }
  EXPECT_EQ(a.Notifications, 1);
}

} // namespace

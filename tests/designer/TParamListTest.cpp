#include "designer/TParamList.h"

#include <gtest/gtest.h>

namespace {

TEST(ParamList, ReadsCommaText) {
  struct Case {
    const char *Text;
    std::vector<std::string> Items;
  } cases[] = {
      {"", {}},
      {"\"template name=Heart Shape\",portrait=-1", {"template name=Heart Shape", "portrait=-1"}},
      // Outside quotes a blank separates items too.
      {"a b,c", {"a", "b", "c"}},
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a", ""}},
      {"  a , b  ", {"a", "b"}},
      {"\"x y\"z,w", {"x yz", "w"}},
      {"\"unterminated", {"unterminated"}},
  };
  for (const Case &c : cases)
    EXPECT_EQ(TParamList(c.Text).Items(), c.Items) << c.Text;
}

TEST(ParamList, WritesQuotingOnlyWhatNeedsIt) {
  TParamList list;
  list.SetValue("template name", "Heart Shape");
  list.SetValue("portrait", "-1");
  list.SetValue("layout pattern", "AB");
  list.SetValue("note", "a\"b,c");
  EXPECT_EQ(list.CommaText(),
            "\"template name=Heart Shape\",portrait=-1,\"layout pattern=AB\",\"note=a\"\"b,c\"");
  // What is written reads back as it was.
  const TParamList again(list.CommaText());
  EXPECT_EQ(again.Items(), list.Items());
  EXPECT_EQ(again.Value("Template Name"), "Heart Shape");
  EXPECT_EQ(again.Value("note"), "a\"b,c");
  EXPECT_EQ(again.Value("missing"), "");

  // Setting a value again replaces it in place; an empty value removes it.
  list.SetValue("PORTRAIT", "0");
  list.SetValue("layout pattern", "");
  EXPECT_EQ(list.CommaText(), "\"template name=Heart Shape\",PORTRAIT=0,\"note=a\"\"b,c\"");
}

TEST(ParamList, NumbersHaveFifteenSignificantDigits) {
  struct Case {
    double Value;
    const char *Text;
  } cases[] = {{5, "5"},       {4.5, "4.5"},
               {0.25, "0.25"}, {double(35.1f), "35.0999984741211"},
               {-2.5, "-2.5"}, {1.0 / 3, "0.333333333333333"}};
  for (const Case &c : cases)
    EXPECT_EQ(TParamList::FloatText(c.Value), c.Text);
}

} // namespace

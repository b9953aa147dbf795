#include "base/fsPlatformColor.h"

#include <gtest/gtest.h>

namespace {

TEST(PlatformColor, SystemColoursResolveThroughOneTable) {
  struct Case {
    TColor color;
    TColor rgb;
  } cases[] = {
      {0x00332211, 0x00332211},                          // plain colours pass
      {static_cast<TColor>(0x80000005), 0x00FFFFFF},     // window
      {static_cast<TColor>(0x8000000D), 0x00D77800},     // highlight, $00BBGGRR
      {static_cast<TColor>(0xFF00000F), 0x00F0F0F0},     // button face, the XML form
      {static_cast<TColor>(0x80000019), 0},              // index 25 has no colour
      {static_cast<TColor>(0x800000FE), 0},              // unknown index
  };
  for (const Case &c : cases)
    EXPECT_EQ(ColorToRGB(c.color), c.rgb) << std::hex << c.color;
  EXPECT_TRUE(IsSystemColor(static_cast<TColor>(0x80000000)));
  EXPECT_FALSE(IsSystemColor(0x7FFFFFFF)) << "the high byte of a plain colour is not looked at";
}

} // namespace

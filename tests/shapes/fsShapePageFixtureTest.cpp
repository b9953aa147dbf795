#include "engine/fsPage.h"
#include "persist/fsPlainXml.h"
#include "shapes/fsGroupShape.h"
#include "shapes/fsPolygonShape.h"
#include "shapes/fsStandardShapes.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

// A page written by hand, key by key, as files store shapes: a red
// rectangle without outline; a half-transparent blue ellipse with a black
// 1 mm outline; a green triangle of stored points; a group holding a black
// rounded rectangle and an effect of a class this program does not know; a
// black rectangle turned by 90 degrees. Colours are $00BBGGRR.
constexpr const char *PageXml = R"(<?xml version="1.0" encoding="UTF-8"?>
<page>
  <ClassName>TfsPage</ClassName>
  <DocWidth>60</DocWidth>
  <DocHeight>40</DocHeight>
  <Shape Index="1">
    <ClassName>TfsRectangleShape</ClassName>
    <DocLeft>5</DocLeft>
    <DocTop>5</DocTop>
    <DocWidth>20</DocWidth>
    <DocHeight>10</DocHeight>
    <FillAlpha>255</FillAlpha>
    <FillColor>$0000FF</FillColor>
    <UseFill>True</UseFill>
  </Shape>
  <Shape Index="2">
    <ClassName>TfsEllipseShape</ClassName>
    <DocLeft>30</DocLeft>
    <DocTop>5</DocTop>
    <DocWidth>20</DocWidth>
    <DocHeight>10</DocHeight>
    <OutlineWidth>1</OutlineWidth>
    <FillAlpha>128</FillAlpha>
    <FillColor>$FF0000</FillColor>
    <OutlineColor>$000000</OutlineColor>
    <UseFill>True</UseFill>
    <UseOutline>True</UseOutline>
  </Shape>
  <Shape Index="3">
    <ClassName>TfsPolygonShape</ClassName>
    <DocLeft>5</DocLeft>
    <DocTop>20</DocTop>
    <DocWidth>10</DocWidth>
    <DocHeight>10</DocHeight>
    <FillAlpha>255</FillAlpha>
    <FillColor>$00FF00</FillColor>
    <UseFill>True</UseFill>
    <StorePoints>True</StorePoints>
    <Polygon>
      <Line>
        <Point><X>0</X><Y>0</Y></Point>
        <Point><X>10</X></Point>
        <Point><Y>10</Y></Point>
      </Line>
    </Polygon>
  </Shape>
  <Shape Index="4">
    <ClassName>TfsGroupShape</ClassName>
    <DocLeft>30</DocLeft>
    <DocTop>20</DocTop>
    <DocWidth>20</DocWidth>
    <DocHeight>15</DocHeight>
    <Grouped>True</Grouped>
    <Shape Index="1">
      <ClassName>TfsRoundRectShape</ClassName>
      <DocWidth>20</DocWidth>
      <DocHeight>15</DocHeight>
      <FillAlpha>255</FillAlpha>
      <UseFill>True</UseFill>
      <CornerWidth>5</CornerWidth>
      <CornerHeight>5</CornerHeight>
    </Shape>
    <Effect Index="1">
      <ClassName>TfsSomeFutureEffect</ClassName>
      <Enabled>True</Enabled>
      <Source>-1</Source>
    </Effect>
  </Shape>
  <Shape Index="5">
    <ClassName>TfsRectangleShape</ClassName>
    <DocLeft>52</DocLeft>
    <DocTop>38</DocTop>
    <DocWidth>10</DocWidth>
    <DocHeight>4</DocHeight>
    <DocAngle>90</DocAngle>
    <FillAlpha>255</FillAlpha>
    <UseFill>True</UseFill>
  </Shape>
</page>
)";

constexpr float Dpm = 10;

struct Registered {
  Registered() { RegisterStandardShapes(); }
};
const Registered registered;

std::unique_ptr<TfsShape> LoadPage(const std::string &xmlText) {
  TPlainXml xml;
  xml.ReadFromString(xmlText);
  return TfsShape::CreateFromXml(xml.Root());
}

void Render(TfsShape &page, TBitmap32 &bitmap) {
  bitmap.SetSize(int32_t(60 * Dpm), int32_t(40 * Dpm));
  bitmap.FillAll(0xFF000000);
  TDeviceContext context;
  context.DeviceType = dtPrinter;
  context.DestDpm = context.CacheDpm = Dpm;
  TfsShape::RenderShape(page, bitmap, FloatRect(0, 0, 60, 40), context, true);
}

// The pixel at (x, y) mm.
TColor32 At(const TBitmap32 &b, float x, float y) {
  return b.GetPixel(int32_t(x * Dpm), int32_t(y * Dpm)) & 0x00FFFFFF;
}

bool Near(TColor32 a, TColor32 b, int tolerance) {
  for (int shift : {0, 8, 16})
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance)
      return false;
  return true;
}

TEST(ShapePageFixture, LoadsTheShapesTheKeysDescribe) {
  auto page = LoadPage(PageXml);
  ASSERT_EQ(page->ClassName(), "TfsPage");
  ASSERT_EQ(page->ShapeCount(), 5);
  auto *rect = dynamic_cast<TfsRectangleShape *>(page->GetShape(0));
  auto *ellipse = dynamic_cast<TfsEllipseShape *>(page->GetShape(1));
  auto *poly = dynamic_cast<TfsPolygonShape *>(page->GetShape(2));
  auto *group = dynamic_cast<TfsGroupShape *>(page->GetShape(3));
  ASSERT_TRUE(rect && ellipse && poly && group);
  EXPECT_FALSE(rect->UseOutline()) << "absent keys read as the file defaults";
  EXPECT_EQ(rect->Points()[0].size(), 4u);
  EXPECT_FLOAT_EQ(ellipse->OutlineWidth(), 1);
  EXPECT_FLOAT_EQ(ellipse->CurbLeft(), 0.5f);
  EXPECT_EQ(ellipse->FillAlpha(), 128);
  ASSERT_EQ(poly->Points().size(), 1u);
  EXPECT_EQ(poly->Points()[0],
            (TFloatContour{FloatPoint(0, 0), FloatPoint(10, 0), FloatPoint(0, 10)}));
  ASSERT_EQ(group->EffectCount(), 1);
  EXPECT_EQ(group->Effects(0)->ClassName(), "TfsEffect");
  EXPECT_EQ(group->Effects(0)->Source(), -1);
  ASSERT_EQ(group->ShapeCount(), 1);
  auto *round = dynamic_cast<TfsRoundRectShape *>(group->GetShape(0));
  ASSERT_NE(round, nullptr);
  EXPECT_FLOAT_EQ(round->CornerWidth(), 5);
  EXPECT_FLOAT_EQ(page->GetShape(4)->DocAngle(), 90);
}

TEST(ShapePageFixture, RendersAsTheKeysSay) {
  auto page = LoadPage(PageXml);
  TBitmap32 b;
  Render(*page, b);
  struct Probe {
    const char *what;
    float x, y;
    TColor32 expected;
    int tolerance;
  };
  const Probe probes[] = {
      {"paper", 2, 2, 0xFFFFFF, 0},
      {"red rectangle", 15, 10, 0xFF0000, 0},
      {"no outline round the rectangle", 4.8f, 10, 0xFFFFFF, 0},
      {"half-transparent blue ellipse over white", 40, 10, 0x7F7FFF, 2},
      {"the ellipse's black outline", 30.05f, 10, 0x000000, 8},
      {"outside the ellipse's corner", 31, 6, 0xFFFFFF, 0},
      {"green triangle", 6, 21, 0x00FF00, 0},
      {"beyond the triangle's diagonal", 14, 29, 0xFFFFFF, 0},
      {"the grouped rounded rectangle", 40, 27, 0x000000, 2},
      {"cut by its rounded corner", 30.3f, 20.3f, 0xFFFFFF, 2},
      {"turned rectangle", 54, 33, 0x000000, 2},
      {"beside the turned rectangle", 57, 33, 0xFFFFFF, 2},
  };
  for (const Probe &p : probes)
    EXPECT_TRUE(Near(At(b, p.x, p.y), p.expected, p.tolerance))
        << p.what << ": " << std::hex << At(b, p.x, p.y);
}

TEST(ShapePageFixture, SavedAndReloadedRendersTheSame) {
  auto page = LoadPage(PageXml);
  TPlainXml xml("page");
  page->SaveToXml(*xml.Root());
  auto again = LoadPage(xml.WriteToString());
  TBitmap32 a, b;
  Render(*page, a);
  Render(*again, b);
  ASSERT_EQ(a.PixelCount(), b.PixelCount());
  size_t differing = 0;
  for (size_t i = 0; i < a.PixelCount(); ++i)
    differing += a.Bits()[i] != b.Bits()[i];
  EXPECT_EQ(differing, 0u);
  // The unknown effect is written back as a base effect.
  EXPECT_NE(xml.WriteToString().find("<ClassName>TfsEffect</ClassName>"), std::string::npos);
}

} // namespace

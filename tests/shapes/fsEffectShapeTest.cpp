#include "shapes/fsEffectShape.h"

#include "engine/FakeShapeDocument.h"
#include "persist/fsPlainXml.h"
#include "persist/nvStorage.h"
#include "shapes/fsGroupShape.h"
#include "shapes/fsPolygonShape.h"
#include "shapes/fsStandardShapes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using enginetest::FakeShapeDocument;

constexpr TColor32 Paper = 0xFF336699;
constexpr TColor32 Green = 0xFF00FF00;

// Effects that make the chain's data flow visible: one inverts the colours
// of its source into the bitmap, one fills the bitmap, one widens the
// margins, one keeps an archive entry.
class TTestInvertEffect : public TfsEffect {
public:
  std::string ClassName() const override { return "TfsTestInvertEffect"; }
  void Apply(TBitmap32 &bitmap, const TDeviceContext &) override {
    ++Runs;
    TBitmap32 *source = SourceBitmap(bitmap);
    if (!source || source->Width() != bitmap.Width() || source->Height() != bitmap.Height())
      return;
    for (size_t i = 0; i < bitmap.PixelCount(); ++i)
      bitmap.Bits()[i] = source->Bits()[i] ^ 0x00FFFFFFu;
  }
  int Runs = 0;
};

class TTestFillEffect : public TfsEffect {
public:
  std::string ClassName() const override { return "TfsTestFillEffect"; }
  void Apply(TBitmap32 &bitmap, const TDeviceContext &) override { bitmap.FillAll(Green); }
};

class TTestMarginEffect : public TfsEffect {
public:
  std::string ClassName() const override { return "TfsTestMarginEffect"; }
  void ExtendMargins(float &left, float &top, float &right, float &bottom) override {
    left += 3;
    top += 1;
    right += 3;
    bottom = std::max(bottom, 7.0f);
  }
};

class TTestResourceEffect : public TfsEffect {
public:
  std::string ClassName() const override { return "TfsTestResourceEffect"; }
  void GetResourceNames(std::vector<std::string> &names) const override {
    names.push_back("TMPfx");
  }
};

// A shape that paints its box in one colour.
class TPlainShape : public TfsEffectShape {
public:
  TPlainShape() { SetBounds(0, 0, 4, 3); }
  void Paint(TBitmap32 &bitmap, const TDeviceContext &) override {
    bitmap.FillRect(DeviceX(0), DeviceY(0), DeviceX(DocWidth()), DeviceY(DocHeight()), Paper);
  }
};

struct EffectClassesOnce {
  EffectClassesOnce() {
    RegisterEffectClass<TTestInvertEffect>(true);
    RegisterEffectClass<TTestFillEffect>(true);
    RegisterEffectClass<TTestMarginEffect>(false);
    RegisterEffectClass<TTestResourceEffect>(true);
    RegisterStandardShapes();
  }
};
const EffectClassesOnce registered;

template <class T> std::unique_ptr<T> MakeEffect(bool enabled, int32_t source = -2) {
  auto e = std::make_unique<T>();
  e->SetEnabled(enabled);
  e->SetSource(source);
  return e;
}

void Paint(TBitmap32 &b, TColor32 c) {
  b.SetSize(4, 3);
  b.FillAll(c);
}

// ---- running the chain -------------------------------------------------------

TEST(EffectChain, SourcesPickTheRightInput) {
  struct Case {
    const char *name;
    bool firstEnabled;
    int32_t thirdSource;
    TColor32 expected;
  };
  const Case cases[] = {
      // Effect 0's result, taken after its turn even when it did not run.
      {"source 0 after a disabled first effect", false, 0, Paper ^ 0x00FFFFFFu},
      {"source 0 after an enabled first effect", true, 0, Paper},
      // The shape's own painting, whatever ran before.
      {"source -1", true, -1, Paper ^ 0x00FFFFFFu},
      // The previous result: the fill.
      {"source -2", true, -2, Green ^ 0x00FFFFFFu},
      // No earlier result exists: the effect leaves the fill alone.
      {"source at its own index", true, 2, Green},
      {"source after its own index", true, 3, Green},
      {"source out of range", true, 9, Green},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TPlainShape shape;
    shape.AddEffect(MakeEffect<TTestInvertEffect>(c.firstEnabled));
    shape.AddEffect(MakeEffect<TTestFillEffect>(true));
    shape.AddEffect(MakeEffect<TTestInvertEffect>(true, c.thirdSource));
    shape.AddEffect(MakeEffect<TTestInvertEffect>(false));
    TBitmap32 b;
    Paint(b, Paper);
    shape.PostProcess(b, TDeviceContext{});
    EXPECT_EQ(b.GetPixel(1, 1), c.expected);
    EXPECT_EQ(shape.ShapeSnapshot(), nullptr);
    for (int i = 0; i < shape.EffectCount(); ++i) {
      EXPECT_EQ(shape.Effects(i)->Snapshot(), nullptr) << i;
      EXPECT_FALSE(shape.Effects(i)->SnapshotWanted()) << i;
    }
  }
}

TEST(EffectChain, DisabledEffectsDoNotRunAndMirroringFollows) {
  TPlainShape shape;
  auto owned = MakeEffect<TTestInvertEffect>(false);
  TTestInvertEffect &effect = *owned;
  shape.AddEffect(std::move(owned));
  EXPECT_FALSE(shape.NeedsPostProcess());
  EXPECT_FALSE(shape.NeedsCache());
  shape.SetMirrored(true);
  EXPECT_TRUE(shape.NeedsPostProcess());
  shape.SetMirrored(false);
  effect.SetEnabled(true);
  EXPECT_TRUE(shape.NeedsPostProcess());
  EXPECT_TRUE(shape.NeedsCache());

  // Drawn through the cache, the enabled effect inverts the painting.
  TBitmap32 target;
  target.SetSize(8, 6);
  target.FillAll(0xFFFFFFFF);
  TfsShape::RenderShape(shape, target, FloatRect(0, 0, 4, 3), TDeviceContext{}, false);
  EXPECT_EQ(target.GetPixel(4, 3) & 0x00FFFFFF, (Paper ^ 0x00FFFFFFu) & 0x00FFFFFF);
  EXPECT_EQ(effect.Runs, 1);

  // Disabled again, it renders like a shape without effects.
  effect.SetEnabled(false);
  TPlainShape bare;
  TBitmap32 a, b;
  for (TBitmap32 *t : {&a, &b}) {
    t->SetSize(8, 6);
    t->FillAll(0xFFFFFFFF);
  }
  TfsShape::RenderShape(shape, a, FloatRect(0, 0, 4, 3), TDeviceContext{}, false);
  TfsShape::RenderShape(bare, b, FloatRect(0, 0, 4, 3), TDeviceContext{}, false);
  EXPECT_TRUE(std::equal(a.Bits(), a.Bits() + a.PixelCount(), b.Bits()));
  EXPECT_EQ(effect.Runs, 1);
}

TEST(EffectChain, EffectsWidenTheMarginsBeforeTheShapeRule) {
  TfsRectangleShape shape;
  const float curb = shape.CurbLeft();
  shape.AddEffect(std::make_unique<TTestMarginEffect>());
  // The rectangle's own margin: its outline reaches max(0.5, 0.5) mm out.
  EXPECT_FLOAT_EQ(shape.ExtentLeft(), std::max(curb, 0.5f) + 3);
  EXPECT_FLOAT_EQ(shape.ExtentTop(), std::max(curb, 0.5f) + 1);
  EXPECT_FLOAT_EQ(shape.ExtentBottom(), 7);
  shape.SetMirrored(true);
  shape.UpdateExtents();
  EXPECT_FLOAT_EQ(shape.ExtentLeft(), shape.ExtentRight());
  shape.DeleteEffect(0);
  EXPECT_FLOAT_EQ(shape.ExtentBottom(), std::max(curb, 0.5f));
}

// ---- chain operations ------------------------------------------------------------

TEST(EffectChain, OperationsIgnoreBadIndexesAndForeignEffects) {
  TPlainShape a, b;
  EXPECT_EQ(a.AddEffect(nullptr), -1);
  auto owned = std::make_unique<TTestFillEffect>();
  TfsEffect *effect = owned.get();
  EXPECT_EQ(a.AddEffect(std::move(owned)), 0);
  EXPECT_EQ(effect->Owner(), &a);
  a.InsertEffect(5, std::make_unique<TTestInvertEffect>());
  a.InsertEffect(-1, std::make_unique<TTestInvertEffect>());
  EXPECT_EQ(a.EffectCount(), 1);
  a.InsertEffect(0, std::make_unique<TTestInvertEffect>());
  EXPECT_EQ(a.Effects(0)->ClassName(), "TfsTestInvertEffect");
  EXPECT_EQ(a.Effects(2), nullptr);
  EXPECT_EQ(a.Effects(-1), nullptr);
  EXPECT_EQ(a.FindEffect<TTestFillEffect>(), effect);
  EXPECT_EQ(a.FindEffect<TTestMarginEffect>(), nullptr);
  EXPECT_NE(a.FindEffect<TfsEffect>(), nullptr);
  a.DeleteEffect(7);
  a.ExchangeEffects(0, 5);
  a.ExchangeEffects(1, 1);
  EXPECT_EQ(a.EffectCount(), 2);
  EXPECT_EQ(a.Effects(1), effect);
  // An effect of another shape is not taken.
  auto stolen = std::make_unique<TTestFillEffect>();
  stolen->SetOwner(&a);
  EXPECT_EQ(b.AddEffect(std::move(stolen)), -1);
  EXPECT_EQ(b.EffectCount(), 0);
  EXPECT_EQ(a.AddEffectOfClass("TfsTestFillEffect", false), 2);
  EXPECT_FALSE(a.Effects(2)->Enabled());
  a.Clear();
  EXPECT_EQ(a.EffectCount(), 0);
}

TEST(EffectChain, SourceChoicesListTheEarlierEffects) {
  TPlainShape shape;
  shape.AddEffect(std::make_unique<TTestFillEffect>());
  shape.AddEffect(std::make_unique<TTestInvertEffect>());
  shape.AddEffect(std::make_unique<TTestFillEffect>());
  EXPECT_EQ(shape.SourceChoices(*shape.Effects(2)),
            (std::vector<std::string>{"Previous effect", "Original shape", "Effect 1 (TestFill)",
                                      "Effect 2 (TestInvert)"}));
  EXPECT_EQ(shape.SourceChoices(*shape.Effects(0)).size(), 2u);
}

TEST(EffectRegistry, ClassesByNameAndTheVisibleList) {
  EXPECT_EQ(CreateEffect("TfsTestFillEffect")->ClassName(), "TfsTestFillEffect");
  EXPECT_EQ(CreateEffect("TfsNoSuchEffect")->ClassName(), "TfsEffect");
  EXPECT_EQ(CreateEffect("tfstestfilleffect")->ClassName(), "TfsEffect") << "names are exact";
  const auto list = ListEffectClasses();
  std::vector<std::string> names;
  for (const auto &item : list)
    names.push_back(item.DisplayName);
  // The base class and the invisible margin effect stay out of the list.
  EXPECT_EQ(names, (std::vector<std::string>{"TestInvert", "TestFill", "TestResource"}));
  EXPECT_EQ(list[0].ClassName, "TfsTestInvertEffect");
  EXPECT_EQ(TfsEffect().DisplayName(), "");
  // Registering again neither duplicates nor moves a class.
  RegisterEffectClass<TTestInvertEffect>(false);
  EXPECT_EQ(ListEffectClasses().size(), 3u);
}

// ---- persistence -------------------------------------------------------------------

TEST(EffectPersistence, ChainSavesInOrderAndUnknownClassesComeBackAsBase) {
  TPlainShape shape;
  shape.AddEffect(MakeEffect<TTestFillEffect>(false, 0));
  shape.AddEffect(MakeEffect<TTestInvertEffect>(true));
  TPlainXml xml("shape");
  shape.SaveToXml(*xml.Root());
  TXmlNodeList effects;
  xml.Root()->FindChildren("Effect", effects);
  ASSERT_EQ(effects.size(), 2u);
  EXPECT_EQ(effects[0]->AttrValue("Index"), "1");
  EXPECT_EQ(effects[1]->AttrValue("Index"), "2");
  EXPECT_EQ(effects[0]->Child(0)->Name(), "ClassName");
  EXPECT_EQ(effects[0]->LoadString("ClassName", ""), "TfsTestFillEffect");
  EXPECT_EQ(effects[0]->FindChild("Enabled"), nullptr) << "false is the file default";
  EXPECT_EQ(effects[0]->LoadString("Source", ""), "0");
  EXPECT_EQ(effects[1]->LoadString("Enabled", ""), "True");
  EXPECT_EQ(effects[1]->FindChild("Source"), nullptr);

  // A class this program does not know, and the Index attribute ignored.
  effects[0]->FindChild("ClassName")->SetText("TfsFutureEffect");
  effects[0]->AddAttr("Index", 9);
  TPlainShape loaded;
  loaded.AddEffect(std::make_unique<TTestFillEffect>());
  loaded.LoadFromXml(xml.Root());
  ASSERT_EQ(loaded.EffectCount(), 2);
  EXPECT_EQ(loaded.Effects(0)->ClassName(), "TfsEffect");
  EXPECT_FALSE(loaded.Effects(0)->Enabled());
  EXPECT_EQ(loaded.Effects(0)->Source(), 0);
  EXPECT_EQ(loaded.Effects(1)->ClassName(), "TfsTestInvertEffect");
  EXPECT_TRUE(loaded.Effects(1)->Enabled());
  EXPECT_EQ(loaded.Effects(1)->Owner(), &loaded);

  TPlainXml again("shape");
  loaded.SaveToXml(*again.Root());
  again.Root()->FindChildren("Effect", effects);
  ASSERT_EQ(effects.size(), 2u);
  EXPECT_EQ(effects[0]->LoadString("ClassName", ""), "TfsEffect");
  // Saving into the same node twice leaves one element per effect.
  loaded.SaveToXml(*again.Root());
  again.Root()->FindChildren("Effect", effects);
  EXPECT_EQ(effects.size(), 2u);
}

TEST(EffectPersistence, AssignCopiesThroughXml) {
  TTestInvertEffect a, b;
  a.SetEnabled(false);
  a.SetSource(-1);
  b.Assign(a);
  EXPECT_FALSE(b.Enabled());
  EXPECT_EQ(b.Source(), -1);
}

// ---- undo ---------------------------------------------------------------------------

class EffectUndo : public ::testing::Test {
protected:
  void SetUp() override {
    Shape.SetDocument(&Doc);
    Doc.Forget();
  }
  // Executes the filed commands last first, as undo does, and forgets them.
  void UndoAll() {
    auto commands = std::move(Doc.Commands);
    Doc.Commands.clear();
    for (auto it = commands.rbegin(); it != commands.rend(); ++it)
      EXPECT_TRUE(Shape.ExecuteCommand(**it));
  }
  FakeShapeDocument Doc;
  TPlainShape Shape;
};

TEST_F(EffectUndo, AddedEffectsAreDeletedAgainAndExchangesLeaveNoRecord) {
  Shape.AddEffect(MakeEffect<TTestFillEffect>(true));
  Shape.AddEffect(MakeEffect<TTestInvertEffect>(true));
  ASSERT_EQ(Doc.Commands.size(), 2u);
  EXPECT_EQ(Doc.Commands[1]->Kind, ckEffectAdded);
  EXPECT_EQ(Doc.Commands[1]->Value, "1");
  EXPECT_EQ(Doc.Commands[1]->ShapeID, Shape.ID());
  Shape.ExchangeEffects(0, 1);
  EXPECT_EQ(Doc.Commands.size(), 2u);
  // Undoing the second addition deletes index 1, now the fill.
  Doc.Recording = false;
  EXPECT_TRUE(Shape.ExecuteCommand(*Doc.Commands[1]));
  ASSERT_EQ(Shape.EffectCount(), 1);
  EXPECT_EQ(Shape.Effects(0)->ClassName(), "TfsTestInvertEffect");
}

TEST_F(EffectUndo, DeletedEffectComesBackWithIndexSettingsAndResource) {
  Shape.AddEffect(MakeEffect<TTestFillEffect>(true));
  Shape.AddEffect(MakeEffect<TTestResourceEffect>(false, 0));
  Shape.AddEffect(MakeEffect<TTestInvertEffect>(true));
  TMemoryStream bytes(std::string("effect bytes"));
  Doc.Archive->WriteStream("TMPfx", bytes);
  Doc.Forget();
  Shape.DeleteEffect(1);
  ASSERT_EQ(Doc.Commands.size(), 1u);
  const TfsCommand &c = *Doc.Commands[0];
  EXPECT_EQ(c.Kind, ckEffectDeleted);
  EXPECT_EQ(c.PropName, "1");
  EXPECT_EQ(c.Value, "TfsTestResourceEffect");
  ASSERT_NE(c.Stream(), nullptr);
  EXPECT_FALSE(Doc.Archive->StreamExists("TMPfx")) << "the record holds the bytes";
  Doc.Recording = false;
  UndoAll();
  ASSERT_EQ(Shape.EffectCount(), 3);
  TfsEffect &back = *Shape.Effects(1);
  EXPECT_EQ(back.ClassName(), "TfsTestResourceEffect");
  EXPECT_FALSE(back.Enabled());
  EXPECT_EQ(back.Source(), 0);
  EXPECT_EQ(back.Owner(), &Shape);
  ASSERT_TRUE(Doc.Archive->StreamExists("TMPfx"));
  TMemoryStream restored;
  Doc.Archive->ReadStream("TMPfx", restored);
  EXPECT_EQ(restored.Bytes(), "effect bytes");
}

TEST_F(EffectUndo, PropertyChangesNameTheEffectIndex) {
  Shape.AddEffect(MakeEffect<TTestFillEffect>(true));
  Shape.AddEffect(MakeEffect<TTestInvertEffect>(true));
  Doc.Forget();
  Shape.Effects(1)->SetSource(-1);
  Shape.Effects(1)->SetEnabled(false);
  Shape.Effects(1)->SetEnabled(false); // unchanged: nothing filed
  ASSERT_EQ(Doc.Commands.size(), 2u);
  EXPECT_EQ(Doc.Commands[0]->Kind, ckEffectProperty);
  EXPECT_EQ(Doc.Commands[0]->PropName, "1.Source");
  EXPECT_EQ(Doc.Commands[0]->Value, "-2");
  EXPECT_EQ(Doc.Commands[1]->PropName, "1.Enabled");
  EXPECT_EQ(Doc.Commands[1]->Value, "True");
  Doc.Recording = false;
  UndoAll();
  EXPECT_EQ(Shape.Effects(1)->Source(), -2);
  EXPECT_TRUE(Shape.Effects(1)->Enabled());
  // A command for another shape is passed on and not taken here.
  TfsCommand foreign(ckEffectAdded, Shape.ID() + 100, "", "0");
  EXPECT_FALSE(Shape.ExecuteCommand(foreign));
  EXPECT_EQ(Shape.EffectCount(), 2);
}

TEST_F(EffectUndo, LoadingFilesNothing) {
  TPlainShape source;
  source.AddEffect(MakeEffect<TTestFillEffect>(true));
  TPlainXml xml("shape");
  source.SaveToXml(*xml.Root());
  Doc.Forget();
  Shape.LoadFromXml(xml.Root());
  EXPECT_EQ(Shape.EffectCount(), 1);
  EXPECT_TRUE(Doc.Commands.empty());
}

// ---- groups ----------------------------------------------------------------------------

TEST(GroupShape, IsAnEffectShapeThatDrawsItsChildrenIntoItsCache) {
  auto group = CreateShape("TfsGroupShape");
  ASSERT_TRUE(group->IsGroupShape());
  auto *g = dynamic_cast<TfsGroupShape *>(group.get());
  ASSERT_NE(g, nullptr);
  EXPECT_TRUE(g->Grouped());
  auto child = std::make_unique<TPlainShape>();
  child->SetBounds(1, 1, 2, 1);
  g->AddShape(std::move(child));
  g->FitToChildren();
  EXPECT_FLOAT_EQ(g->DocWidth(), 2);
  TBitmap32 target;
  target.SetSize(40, 30);
  target.FillAll(0xFFFFFFFF);
  const TFloatRect page = FloatRect(0, 0, 4, 3);
  TfsShape::RenderShape(*g, target, page, TDeviceContext{}, false);
  EXPECT_EQ(target.GetPixel(20, 15), Paper);
  EXPECT_EQ(target.GetPixel(5, 5), 0xFFFFFFFFu);
  // The group's effect sees its children's pixels.
  g->AddEffect(MakeEffect<TTestInvertEffect>(true));
  target.FillAll(0xFFFFFFFF);
  TfsShape::RenderShape(*g, target, page, TDeviceContext{}, false);
  EXPECT_EQ(target.GetPixel(20, 15) & 0x00FFFFFF, (Paper ^ 0x00FFFFFFu) & 0x00FFFFFF);
  // Resizing lays the child out by its anchors.
  g->SetBounds(g->DocLeft(), g->DocTop(), 4, 1);
  EXPECT_FLOAT_EQ(g->GetShape(0)->DocWidth(), 4);
}

TEST(ShapeRegistry, ShapesLayerClassesInFileOrder) {
  const auto records = ShapeClasses().Records();
  std::vector<std::string> names;
  for (const auto &r : records)
    names.push_back(r.ClassName);
  const std::vector<std::string> order = {"TfsPolygonShape",   "TfsEllipseShape",
                                          "TfsRectangleShape", "TfsRoundRectShape",
                                          "TfsEffectShape",    "TfsGroupShape"};
  std::vector<size_t> at;
  for (const std::string &name : order) {
    auto it = std::find(names.begin(), names.end(), name);
    ASSERT_NE(it, names.end()) << name;
    at.push_back(static_cast<size_t>(it - names.begin()));
  }
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end()));
  for (const std::string &name : order)
    EXPECT_EQ(CreateShape(name)->ClassName(), name);
}

} // namespace

#pragma once

#include "base/fsClassRegistry.h"
#include "engine/fsShape.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TXmlNode;
class TfsEffectShape;

// Kinds of the undo records of an effect chain, after the shape's own 0-2.
enum TfsEffectCommandKind : uint8_t {
  ckEffectAdded = 3,   // Value = index
  ckEffectDeleted = 4, // PropName = index, Value = class name, Stream = the effect
  ckEffectProperty = 5 // PropName = "index.name", Value = old value
};

// One raster effect in a shape's chain. It reads its input bitmap by Source
// (-2 the previous effect's result, -1 the shape's own painting, n the
// result of effect n) and changes the bitmap being processed. The base
// class does nothing; an effect of a class this program does not know
// loads as one and is saved back as one.
class TfsEffect {
public:
  TfsEffect() = default;
  virtual ~TfsEffect() = default;
  TfsEffect(const TfsEffect &) = delete;
  TfsEffect &operator=(const TfsEffect &) = delete;

  virtual std::string ClassName() const { return "TfsEffect"; }
  // The class name without "Tfs" in front and "Effect" behind.
  std::string DisplayName() const;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  int32_t Source() const { return FSource; }
  void SetSource(int32_t value);
  TfsEffectShape *Owner() const { return FOwner; }
  virtual void SetOwner(TfsEffectShape *owner) { FOwner = owner; }

  // The owner's screen area must be repainted.
  virtual void BeforeChange();
  virtual void Apply(TBitmap32 &bitmap, const TDeviceContext &context);
  // Rebuilds derived tables after loading or a change.
  virtual void Prepare() {}
  // Effects painting outside the shape enlarge the margins (mm).
  virtual void ExtendMargins(float &left, float &top, float &right, float &bottom);
  // Undo: "Source" and "Enabled"; subclasses add their own keys.
  virtual void SetPropertyByName(const std::string &name, const std::string &value);
  virtual void GetResourceNames(std::vector<std::string> &names) const;
  virtual void LoadFromXml(const TXmlNode &node);
  virtual void SaveToXml(TXmlNode &node);
  // The owner drops its cached rendering, recomputes its margins, repaints.
  virtual void Changed();
  // Through the effect's XML, so that every subclass copies what it saves.
  virtual void Assign(const TfsEffect &source);

  // The input by Source during a chain run: the bitmap itself, the shape's
  // snapshot or an earlier effect's; none when that does not exist.
  TBitmap32 *SourceBitmap(TBitmap32 &bitmap) const;

  // Chain-run state, kept by the owner.
  bool SnapshotWanted() const { return FSnapshotWanted; }
  void SetSnapshotWanted(bool value) { FSnapshotWanted = value; }
  TBitmap32 *Snapshot() const { return FSnapshot.get(); }
  void TakeSnapshot(const TBitmap32 &bitmap);
  void FreeSnapshot() { FSnapshot.reset(); }

protected:
  // Files the old value of a property for undo through the owner.
  void RecordProperty(const std::string &name, const std::string &oldValue);
  // The setter pattern's tail: Prepare, Changed and the owner's change.
  void PropertyChanged();

private:
  bool FEnabled = true;
  TfsEffectShape *FOwner = nullptr;
  int32_t FSource = -2;
  bool FSnapshotWanted = false;
  std::unique_ptr<TBitmap32> FSnapshot;
};

// ---- the effect classes --------------------------------------------------

struct TEffectClassHolder {
  std::string ClassName;
  std::function<std::unique_ptr<TfsEffect>()> Create;
  bool Visible = true;
};
TClassRegistry<TEffectClassHolder> &EffectClasses();
// Adds the class unless it is registered already.
void RegisterEffectClass(std::string className, std::function<std::unique_ptr<TfsEffect>()> create,
                         bool visible);
template <class T> void RegisterEffectClass(bool visible) {
  RegisterEffectClass(
      T().ClassName(), [] { return std::make_unique<T>(); }, visible);
}
// An effect of the class of that exact name; a base TfsEffect when unknown.
std::unique_ptr<TfsEffect> CreateEffect(const std::string &className);
struct TEffectClassItem {
  std::string DisplayName;
  std::string ClassName;
};
// The visible classes in registration order.
std::vector<TEffectClassItem> ListEffectClasses();

// ---- the effect shape ------------------------------------------------------

// The base of the visible content shapes: a shape whose cache bitmap is
// post-processed by an ordered chain of effects.
class TfsEffectShape : public TfsShape {
public:
  TfsEffectShape();
  ~TfsEffectShape() override;

  std::string ClassName() const override { return "TfsEffectShape"; }

  int EffectCount() const { return static_cast<int>(FEffects.size()); }
  TfsEffect *Effects(int index) const;
  int IndexOfEffect(const TfsEffect *effect) const;
  template <class T> T *FindEffect() const {
    for (const auto &e : FEffects)
      if (auto *t = dynamic_cast<T *>(e.get()))
        return t;
    return nullptr;
  }
  // The index the effect got, or -1 for none.
  int AddEffect(std::unique_ptr<TfsEffect> effect);
  int AddEffectOfClass(const std::string &className, bool enabled);
  // Out-of-range indexes drop the effect.
  void InsertEffect(int index, std::unique_ptr<TfsEffect> effect);
  void DeleteEffect(int index);
  // No undo record: reordering is undone by exchanging back.
  void ExchangeEffects(int i, int j);
  // The shape's painting before any effect; exists only while the chain runs.
  TBitmap32 *ShapeSnapshot() const { return FSnapshot.get(); }

  // The inputs the property panels offer an effect, item index = Source + 2:
  // "Previous effect", "Original shape", then "Effect n (name)" for every
  // effect before it (n counted from 1).
  std::vector<std::string> SourceChoices(const TfsEffect &effect) const;

  // An effect changed: cache dropped, margins recomputed, repainted.
  void EffectChanged();
  // An effect's property change, filed for undo.
  void RecordEffectProperty(const TfsEffect &effect, const std::string &name,
                            const std::string &oldValue);

  void GetResourceNames(std::vector<std::string> &names) const override;
  bool NeedsPostProcess() const override;
  void PostProcess(TBitmap32 &bitmap, const TDeviceContext &context) override;
  void ExtendMargins(float &left, float &top, float &right, float &bottom) override;
  void Clear() override;
  void LoadFromXml(const TXmlNode *node) override;
  void SaveToXml(TXmlNode &node) override;
  bool ExecuteCommand(const TfsCommand &command) override;
  void RecordChange(uint8_t kind, const std::string &propName, const std::string &value) override;

  // An effect's serialised form: resources, then its XML.
  std::string SerializeEffect(const TfsEffect &effect) const;
  void RestoreEffect(TfsEffect &effect, std::string_view bytes);

protected:
  // While the shape reads its own keys (after the base load), nothing it
  // sets is filed for undo.
  class TOwnLoad {
  public:
    explicit TOwnLoad(TfsEffectShape &shape) : FShape(shape) { ++FShape.FOwnLoads; }
    ~TOwnLoad() { --FShape.FOwnLoads; }
    TOwnLoad(const TOwnLoad &) = delete;
    TOwnLoad &operator=(const TOwnLoad &) = delete;

  private:
    TfsEffectShape &FShape;
  };
  // The effects' margins alone.
  void ExtendEffectMargins(float &left, float &top, float &right, float &bottom);
  void RunChain(TBitmap32 &bitmap, const TDeviceContext &context);

private:
  void FileEffectDeletion(int index, const TfsEffect &effect);

  std::vector<std::unique_ptr<TfsEffect>> FEffects;
  std::unique_ptr<TBitmap32> FSnapshot;
  int FOwnLoads = 0;
};

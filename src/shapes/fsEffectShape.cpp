#include "shapes/fsEffectShape.h"

#include "base/fsConvert.h"
#include "base/fsStream.h"
#include "engine/fsProperties.h"
#include "engine/fsSnapshot.h"
#include "persist/fsPlainXml.h"
#include "persist/nvStorage.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {} // namespace

// ---- TfsEffect ---------------------------------------------------------------

std::string TfsEffect::DisplayName() const {
  std::string name = ClassName();
  if (name.rfind("Tfs", 0) == 0)
    name.erase(0, 3);
  const std::string tail = "Effect";
  if (name.size() >= tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
    name.erase(name.size() - tail.size());
  return name;
}

void TfsEffect::SetEnabled(bool value) {
  if (value == FEnabled)
    return;
  BeforeChange();
  RecordProperty("Enabled", FEnabled ? "True" : "False");
  FEnabled = value;
  PropertyChanged();
}

void TfsEffect::SetSource(int32_t value) {
  if (value == FSource)
    return;
  RecordProperty("Source", std::to_string(FSource));
  FSource = value;
  PropertyChanged();
}

void TfsEffect::BeforeChange() {
  if (FOwner)
    FOwner->InvalidateScreen();
}

void TfsEffect::Apply(TBitmap32 &, const TDeviceContext &) {}

void TfsEffect::ExtendMargins(float &, float &, float &, float &) {}

void TfsEffect::SetPropertyByName(const std::string &name, const std::string &value) {
  if (SameText(name, "Source"))
    SetSource(StrToInt(value));
  if (SameText(name, "Enabled"))
    SetEnabled(SameText(value, "True"));
}

void TfsEffect::GetResourceNames(std::vector<std::string> &) const {}

void TfsEffect::LoadFromXml(const TXmlNode &node) {
  FEnabled = node.LoadBool("Enabled", false);
  FSource = node.LoadInteger("Source", -2);
}

void TfsEffect::SaveToXml(TXmlNode &node) {
  node.StoreString("ClassName", ClassName(), "");
  node.StoreBool("Enabled", FEnabled, false);
  node.StoreInteger("Source", FSource, -2);
}

void TfsEffect::Changed() {
  if (FOwner)
    FOwner->EffectChanged();
}

void TfsEffect::Assign(const TfsEffect &source) {
  TPlainXml xml("effect");
  const_cast<TfsEffect &>(source).SaveToXml(*xml.Root());
  LoadFromXml(*xml.Root());
  Prepare();
}

TBitmap32 *TfsEffect::SourceBitmap(TBitmap32 &bitmap) const {
  if (FSource == -2)
    return &bitmap;
  if (!FOwner)
    return nullptr;
  if (FSource == -1)
    return FOwner->ShapeSnapshot();
  // Only an earlier effect has a snapshot by the time this one runs.
  const int self = FOwner->IndexOfEffect(this);
  if (FSource < 0 || FSource >= self)
    return nullptr;
  return FOwner->Effects(FSource)->Snapshot();
}

void TfsEffect::TakeSnapshot(const TBitmap32 &bitmap) {
  if (!FSnapshot)
    FSnapshot = std::make_unique<TBitmap32>();
  FSnapshot->Assign(bitmap);
}

void TfsEffect::RecordProperty(const std::string &name, const std::string &oldValue) {
  if (FOwner)
    FOwner->RecordEffectProperty(*this, name, oldValue);
}

void TfsEffect::PropertyChanged() {
  Prepare();
  Changed();
  if (FOwner)
    FOwner->Changed();
}

// ---- the effect registry ---------------------------------------------------------

TClassRegistry<TEffectClassHolder> &EffectClasses() {
  static TClassRegistry<TEffectClassHolder> registry([] {
    return std::vector<TEffectClassHolder>{
        {"TfsEffect", [] { return std::make_unique<TfsEffect>(); }, false}};
  });
  return registry;
}

void RegisterEffectClass(std::string className, std::function<std::unique_ptr<TfsEffect>()> create,
                         bool visible) {
  if (EffectClasses().Find(className))
    return;
  EffectClasses().Register({std::move(className), std::move(create), visible});
}

std::unique_ptr<TfsEffect> CreateEffect(const std::string &className) {
  auto holder = EffectClasses().Find(className);
  if (holder && holder->Create)
    return holder->Create();
  return std::make_unique<TfsEffect>();
}

std::vector<TEffectClassItem> ListEffectClasses() {
  std::vector<TEffectClassItem> out;
  for (const auto &h : EffectClasses().Records())
    if (h.Visible && h.Create)
      out.push_back({h.Create()->DisplayName(), h.ClassName});
  return out;
}

// ---- TfsEffectShape ------------------------------------------------------------------

TfsEffectShape::TfsEffectShape() = default;

TfsEffectShape::~TfsEffectShape() = default;

TfsEffect *TfsEffectShape::Effects(int index) const {
  if (index < 0 || index >= EffectCount())
    return nullptr;
  return FEffects[static_cast<size_t>(index)].get();
}

int TfsEffectShape::IndexOfEffect(const TfsEffect *effect) const {
  for (size_t i = 0; i < FEffects.size(); ++i)
    if (FEffects[i].get() == effect)
      return static_cast<int>(i);
  return -1;
}

int TfsEffectShape::AddEffect(std::unique_ptr<TfsEffect> effect) {
  if (!effect || (effect->Owner() && effect->Owner() != this))
    return -1;
  InvalidateScreen();
  const int index = EffectCount();
  RecordChange(ckEffectAdded, "", std::to_string(index));
  TfsEffect &e = *effect;
  FEffects.push_back(std::move(effect));
  e.SetOwner(this);
  EffectChanged();
  return index;
}

int TfsEffectShape::AddEffectOfClass(const std::string &className, bool enabled) {
  std::unique_ptr<TfsEffect> effect = CreateEffect(className);
  effect->SetEnabled(enabled);
  return AddEffect(std::move(effect));
}

void TfsEffectShape::InsertEffect(int index, std::unique_ptr<TfsEffect> effect) {
  if (!effect || index < 0 || index > EffectCount() || (effect->Owner() && effect->Owner() != this))
    return;
  InvalidateScreen();
  RecordChange(ckEffectAdded, "", std::to_string(index));
  TfsEffect &e = *effect;
  FEffects.insert(FEffects.begin() + index, std::move(effect));
  e.SetOwner(this);
  EffectChanged();
}

void TfsEffectShape::DeleteEffect(int index) {
  if (index < 0 || index >= EffectCount())
    return;
  InvalidateScreen();
  FileEffectDeletion(index, *FEffects[static_cast<size_t>(index)]);
  FEffects.erase(FEffects.begin() + index);
  EffectChanged();
}

void TfsEffectShape::ExchangeEffects(int i, int j) {
  if (i == j || i < 0 || j < 0 || i >= EffectCount() || j >= EffectCount())
    return;
  InvalidateScreen();
  std::swap(FEffects[static_cast<size_t>(i)], FEffects[static_cast<size_t>(j)]);
  EffectChanged();
}

std::vector<std::string> TfsEffectShape::SourceChoices(const TfsEffect &effect) const {
  std::vector<std::string> out = {"Previous effect", "Original shape"};
  const int self = IndexOfEffect(&effect);
  for (int i = 0; i < self; ++i)
    out.push_back("Effect " + std::to_string(i + 1) + " (" +
                  FEffects[static_cast<size_t>(i)]->DisplayName() + ")");
  return out;
}

void TfsEffectShape::EffectChanged() {
  ClearCache();
  MarkAncestorsStale();
  UpdateExtents();
  Invalidate();
  Changed();
}

void TfsEffectShape::RecordEffectProperty(const TfsEffect &effect, const std::string &name,
                                          const std::string &oldValue) {
  const int index = IndexOfEffect(&effect);
  if (index < 0)
    return;
  RecordChange(ckEffectProperty, std::to_string(index) + "." + name, oldValue);
}

void TfsEffectShape::RecordChange(uint8_t kind, const std::string &propName,
                                  const std::string &value) {
  if (FOwnLoads > 0)
    return;
  TfsShape::RecordChange(kind, propName, value);
}

void TfsEffectShape::FileEffectDeletion(int index, const TfsEffect &effect) {
  TfsShapeDocument *document = Document();
  if (FOwnLoads > 0 || !document || document->IsLoading() || !document->IsRecordingUndo())
    return;
  auto stream = std::make_unique<TMemoryStream>();
  stream->WriteBytes(SerializeEffect(effect));
  // The record carries those bytes now.
  if (TnvStorage *archive = document->Storage()) {
    std::vector<std::string> names;
    effect.GetResourceNames(names);
    for (const std::string &name : names)
      if (archive->StreamExists(name))
        archive->DeleteStream(name);
  }
  document->FileCommand(std::make_unique<TfsCommand>(ckEffectDeleted, ID(), std::to_string(index),
                                                     effect.ClassName(), std::move(stream)));
}

std::string TfsEffectShape::SerializeEffect(const TfsEffect &effect) const {
  TnvStorage *archive = Document() ? Document()->Storage() : nullptr;
  std::vector<std::string> names;
  if (archive)
    effect.GetResourceNames(names);
  TPlainXml xml("effect");
  const_cast<TfsEffect &>(effect).SaveToXml(*xml.Root());
  return WriteSnapshot(archive, names, xml.WriteToString());
}

void TfsEffectShape::RestoreEffect(TfsEffect &effect, std::string_view bytes) {
  TPlainXml xml;
  xml.ReadFromString(ReadSnapshot(Document() ? Document()->Storage() : nullptr, bytes));
  effect.LoadFromXml(*xml.Root());
  effect.Prepare();
}

void TfsEffectShape::GetResourceNames(std::vector<std::string> &names) const {
  TfsShape::GetResourceNames(names);
  for (const auto &e : FEffects)
    e->GetResourceNames(names);
}

bool TfsEffectShape::NeedsPostProcess() const {
  for (const auto &e : FEffects)
    if (e->Enabled())
      return true;
  return TfsShape::NeedsPostProcess();
}

void TfsEffectShape::RunChain(TBitmap32 &bitmap, const TDeviceContext &context) {
  if (FEffects.empty())
    return;
  // The snapshots live for this run only, also when an effect fails.
  struct TRunScope {
    TfsEffectShape &Shape;
    ~TRunScope() {
      for (const auto &e : Shape.FEffects) {
        e->SetSnapshotWanted(false);
        e->FreeSnapshot();
      }
      Shape.FSnapshot.reset();
    }
  } scope{*this};
  const int count = EffectCount();
  for (const auto &e : FEffects) {
    if (e->Source() == -1 && !FSnapshot) {
      FSnapshot = std::make_unique<TBitmap32>();
      FSnapshot->Assign(bitmap);
    }
    if (e->Source() >= 0 && e->Source() < count)
      FEffects[static_cast<size_t>(e->Source())]->SetSnapshotWanted(true);
  }
  for (const auto &e : FEffects) {
    if (e->Enabled())
      e->Apply(bitmap, context);
    if (e->SnapshotWanted())
      e->TakeSnapshot(bitmap);
  }
}

void TfsEffectShape::PostProcess(TBitmap32 &bitmap, const TDeviceContext &context) {
  RunChain(bitmap, context);
  TfsShape::PostProcess(bitmap, context);
}

void TfsEffectShape::ExtendEffectMargins(float &left, float &top, float &right, float &bottom) {
  for (const auto &e : FEffects)
    e->ExtendMargins(left, top, right, bottom);
}

void TfsEffectShape::ExtendMargins(float &left, float &top, float &right, float &bottom) {
  ExtendEffectMargins(left, top, right, bottom);
  TfsShape::ExtendMargins(left, top, right, bottom);
}

void TfsEffectShape::Clear() {
  FEffects.clear();
  TfsShape::Clear();
}

void TfsEffectShape::LoadFromXml(const TXmlNode *node) {
  TfsShape::LoadFromXml(node);
  TOwnLoad scope(*this);
  TXmlNodeList elements;
  node->FindChildren("Effect", elements);
  for (const TXmlNode *element : elements) {
    std::unique_ptr<TfsEffect> effect = CreateEffect(element->LoadString("ClassName", ""));
    TfsEffect &e = *effect;
    AddEffect(std::move(effect));
    e.LoadFromXml(*element);
    e.Prepare();
  }
  UpdateExtents();
  ClearCache();
}

void TfsEffectShape::SaveToXml(TXmlNode &node) {
  TfsShape::SaveToXml(node);
  // Writing into a node that holds an earlier save leaves no effect twice.
  for (int i = node.ChildCount() - 1; i >= 0; --i)
    if (node.Child(i)->ElementType() == xeElement && SameText(node.Child(i)->Name(), "Effect"))
      node.DeleteChild(i);
  for (int i = 0; i < EffectCount(); ++i) {
    TXmlNode *element = node.NewChild("Effect");
    element->AddAttr("Index", i + 1);
    FEffects[static_cast<size_t>(i)]->SaveToXml(*element);
  }
}

bool TfsEffectShape::ExecuteCommand(const TfsCommand &command) {
  if (command.ShapeID != ID() || command.Kind < ckEffectAdded || command.Kind > ckEffectProperty)
    return TfsShape::ExecuteCommand(command);
  switch (command.Kind) {
  case ckEffectAdded:
    DeleteEffect(StrToInt(command.Value));
    break;
  case ckEffectDeleted: {
    const int index = StrToInt(command.PropName);
    if (index < 0 || index > EffectCount())
      break;
    std::unique_ptr<TfsEffect> effect = CreateEffect(command.Value);
    TfsEffect &e = *effect;
    InsertEffect(index, std::move(effect));
    if (command.Stream())
      RestoreEffect(e, command.Stream()->Bytes());
    EffectChanged();
    break;
  }
  case ckEffectProperty: {
    const size_t dot = command.PropName.find('.');
    if (dot == std::string::npos)
      break;
    if (TfsEffect *e = Effects(StrToInt(command.PropName.substr(0, dot))))
      e->SetPropertyByName(command.PropName.substr(dot + 1), command.Value);
    break;
  }
  default:
    break;
  }
  return true;
}

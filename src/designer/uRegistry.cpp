#include "designer/uRegistry.h"

#include "base/fsConvert.h"
#include "base/fsError.h"

#include <algorithm>
#include <cctype>

namespace {

TSettingsStore *GStore = nullptr;
std::string GKey = "Software\\";

EfsError InvalidType(const std::string &name) {
  return EfsError("Invalid data type for '" + name + "'");
}

std::optional<TSettingValue> Read(const std::string &name) {
  if (!GStore || !GStore->KeyExists(GKey))
    return std::nullopt;
  return GStore->ReadValue(GKey, name);
}

} // namespace

void SetSettingsStore(TSettingsStore *store) {
  GStore = store;
}
TSettingsStore *GetSettingsStore() {
  return GStore;
}

void SetRegistryKey(const std::string &name) {
  GKey = SameText(std::string_view(name).substr(0, 9), "software\\") ? name : "Software\\" + name;
}

const std::string &RegistryKey() {
  return GKey;
}

bool ReadBool(const std::string &name, bool defaultValue) {
  auto v = Read(name);
  if (!v)
    return defaultValue;
  if (auto *i = std::get_if<int32_t>(&*v))
    return *i != 0;
  // Stores that keep only text hold integers as their decimal text.
  int32_t i = 0;
  if (TryStrToInt(std::get<std::string>(*v), i))
    return i != 0;
  throw InvalidType(name);
}

std::string ReadString(const std::string &name, const std::string &defaultValue) {
  auto v = Read(name);
  if (!v)
    return defaultValue;
  if (auto *s = std::get_if<std::string>(&*v))
    return *s;
  throw InvalidType(name);
}

void WriteBool(const std::string &name, bool value) {
  if (GStore)
    GStore->WriteValue(GKey, name, int32_t(value ? 1 : 0));
}

void WriteString(const std::string &name, const std::string &value) {
  if (GStore)
    GStore->WriteValue(GKey, name, value);
}

void DeleteRegistryKey() {
  if (GStore)
    GStore->DeleteKey(GKey);
}

#pragma once

#include "designer/SettingsStore.h"

#include <map>
#include <set>

// Settings kept in memory with their types, as the registry keeps them.
class TMemorySettingsStore : public TSettingsStore {
public:
  bool KeyExists(const std::string &key) const override { return Values.count(Lower(key)) > 0; }
  std::optional<TSettingValue> ReadValue(const std::string &key,
                                         const std::string &name) const override {
    auto k = Values.find(Lower(key));
    if (k == Values.end())
      return std::nullopt;
    auto v = k->second.find(name);
    if (v == k->second.end())
      return std::nullopt;
    return v->second;
  }
  bool WriteValue(const std::string &key, const std::string &name,
                  const TSettingValue &value) override {
    if (ReadOnly)
      return false;
    Values[Lower(key)][name] = value;
    ++Writes;
    return true;
  }
  bool DeleteKey(const std::string &key) override { return Values.erase(Lower(key)) > 0; }

  static std::string Lower(std::string s) {
    for (auto &c : s)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }

  std::map<std::string, std::map<std::string, TSettingValue>> Values;
  bool ReadOnly = false;
  int Writes = 0;
};

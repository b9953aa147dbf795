#pragma once

#include <optional>
#include <string>
#include <variant>

// A stored setting: the per-user store keeps 32-bit integers and strings.
using TSettingValue = std::variant<int32_t, std::string>;

// The per-user settings store: keys (backslash-separated paths such as
// "Software\Tallisyn2") holding named values. The program uses QSettings;
// tests use a store in memory.
class TSettingsStore {
public:
  virtual ~TSettingsStore() = default;

  virtual bool KeyExists(const std::string &key) const = 0;
  // Empty when the key or the value does not exist.
  virtual std::optional<TSettingValue> ReadValue(const std::string &key,
                                                 const std::string &name) const = 0;
  // Creates the key when missing; false when the store refuses the write.
  virtual bool WriteValue(const std::string &key, const std::string &name,
                          const TSettingValue &value) = 0;
  virtual bool DeleteKey(const std::string &key) = 0;
};

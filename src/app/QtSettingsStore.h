#pragma once

#include "designer/SettingsStore.h"

#include <QSettings>

// The per-user settings in QSettings' native store (organisation "Orvane",
// application "Tallisyn2"). The program's own key "Software\Tallisyn2" is
// the root of that store; any other key becomes a group of it. The store
// keeps text, so every value reads back as a string and Booleans are the
// texts "0" and "1".
class TQtSettingsStore : public TSettingsStore {
public:
  TQtSettingsStore();
  // For tests: a store in a given file.
  explicit TQtSettingsStore(const QString &iniFile);

  bool KeyExists(const std::string &key) const override;
  std::optional<TSettingValue> ReadValue(const std::string &key,
                                         const std::string &name) const override;
  bool WriteValue(const std::string &key, const std::string &name,
                  const TSettingValue &value) override;
  bool DeleteKey(const std::string &key) override;

private:
  QString Path(const std::string &key, const std::string &name) const;
  mutable QSettings FSettings;
};

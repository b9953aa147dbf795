#include "app/QtSettingsStore.h"

namespace {

// The program's own key, compared without case as registry keys are.
bool IsOwnKey(const std::string &key) {
  return QString::fromStdString(key).compare("Software\\Tallisyn2", Qt::CaseInsensitive) == 0;
}

QString Group(const std::string &key) {
  QString g = QString::fromStdString(key);
  g.replace('\\', '/');
  return g;
}

} // namespace

TQtSettingsStore::TQtSettingsStore() : FSettings("Orvane", "Tallisyn2") {}

TQtSettingsStore::TQtSettingsStore(const QString &iniFile)
    : FSettings(iniFile, QSettings::IniFormat) {}

QString TQtSettingsStore::Path(const std::string &key, const std::string &name) const {
  QString n = QString::fromStdString(name);
  return IsOwnKey(key) ? n : Group(key) + "/" + n;
}

bool TQtSettingsStore::KeyExists(const std::string &key) const {
  if (IsOwnKey(key))
    return true;
  FSettings.beginGroup(Group(key));
  bool any = !FSettings.allKeys().isEmpty();
  FSettings.endGroup();
  return any;
}

std::optional<TSettingValue> TQtSettingsStore::ReadValue(const std::string &key,
                                                         const std::string &name) const {
  QVariant v = FSettings.value(Path(key, name));
  if (!v.isValid())
    return std::nullopt;
  if (v.typeId() == QMetaType::Int)
    return TSettingValue(int32_t(v.toInt()));
  if (v.typeId() != QMetaType::QString)
    return std::nullopt;
  return TSettingValue(v.toString().toStdString());
}

bool TQtSettingsStore::WriteValue(const std::string &key, const std::string &name,
                                  const TSettingValue &value) {
  QVariant v;
  if (auto *i = std::get_if<int32_t>(&value))
    v = QVariant(int(*i));
  else
    v = QVariant(QString::fromStdString(std::get<std::string>(value)));
  FSettings.setValue(Path(key, name), v);
  FSettings.sync();
  return FSettings.status() == QSettings::NoError;
}

bool TQtSettingsStore::DeleteKey(const std::string &key) {
  if (IsOwnKey(key))
    FSettings.clear();
  else
    FSettings.remove(Group(key));
  FSettings.sync();
  return FSettings.status() == QSettings::NoError;
}

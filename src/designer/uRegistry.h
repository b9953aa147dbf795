#pragma once

#include "designer/SettingsStore.h"

#include <string>

// Access to the per-user settings under one current key, shared by the
// options store and the dialogs.

// The store every function below works on; the program sets it once at
// start-up. Not owned.
void SetSettingsStore(TSettingsStore *store);
TSettingsStore *GetSettingsStore();

// A name starting with "software\" (any case) is taken unchanged, any other
// gets "Software\" in front.
void SetRegistryKey(const std::string &name);
const std::string &RegistryKey();

// Missing values (or no store, or a key that cannot be read) give the
// default. A value of the wrong type raises "Invalid data type for '<name>'".
bool ReadBool(const std::string &name, bool defaultValue);
std::string ReadString(const std::string &name, const std::string &defaultValue);

// Failed writes are skipped silently.
void WriteBool(const std::string &name, bool value);
void WriteString(const std::string &name, const std::string &value);
void DeleteRegistryKey();

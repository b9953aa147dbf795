#pragma once

#include "base/fsConvert.h"
#include "base/fsError.h"
#include "base/fsPlatformColor.h"
#include "persist/fsPlainXml.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

// The texts of undo values and of properties set by name. They are made and
// read in the C locale whatever the user's settings, so that a value filed
// on one machine reads back the same anywhere.
namespace fsPropertyText {

// Up to 15 significant digits: every single comes back exactly.
inline std::string FloatText(double value) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
  return std::string(buf, res.ptr);
}

// A decimal number with '.' or ',' as separator; anything else, and values
// no single can hold, raise the conversion error.
inline float ToFloat(std::string_view text) {
  std::string t(TrimControl(text));
  for (char &c : t)
    if (c == ',')
      c = '.';
  std::string_view digits = t;
  if (!digits.empty() && digits.front() == '+')
    digits.remove_prefix(1);
  // from_chars also takes "inf" and "nan", which are no numbers here.
  bool ok = !digits.empty() && digits.front() != '+';
  for (char c : digits)
    ok = ok && ((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+');
  double value = 0;
  if (ok) {
    const char *end = digits.data() + digits.size();
    auto res = std::from_chars(digits.data(), end, value, std::chars_format::general);
    // Below this a value rounds to a finite single.
    const double limit = double(std::numeric_limits<float>::max()) + std::ldexp(1.0, 103);
    ok = res.ec == std::errc() && res.ptr == end && std::fabs(value) < limit;
  }
  if (!ok)
    throw EConvertError("'" + PrintableText(text) + "' is not a valid floating point value");
  return static_cast<float>(value);
}

// True when the text starts with "T" or "Y", in either case.
inline bool ToBool(std::string_view text) {
  return !text.empty() && (LowerAscii(text.front()) == 't' || LowerAscii(text.front()) == 'y');
}

} // namespace fsPropertyText

// One class's persisted and by-name settable properties, in file order:
// each entry names its XML key, reads and writes its field with the typed
// XML operations against its file default, and may carry the undoable
// setter that SetPropertyByName (undo, the property panels) goes through.
// Keys whose form or rules are not those of a plain typed value are custom
// entries with hand-written code.
//
// Fields are reached through an accessor: a pointer to a data member or a
// function returning a reference to the field.
template <class TOwner> class TfsPropertyTable {
public:
  using TSave = std::function<void(TOwner &, TXmlNode &)>;
  using TLoad = std::function<void(TOwner &, const TXmlNode &)>;
  using TSetText = std::function<void(TOwner &, const std::string &)>;
  template <class T> using TSetter = std::function<void(TOwner &, T)>;

  struct TEntry {
    std::string Key;
    TSave Save;       // none: the key is not written by the table
    TLoad Load;       // none: the key is not read by the table
    TSetText SetText; // none: not settable by name
  };

  template <class F>
  TfsPropertyTable &Boolean(std::string key, F field, bool def, TSetter<bool> setter = {}) {
    return Add(
        key, [key, field, def](TOwner &o, TXmlNode &n) { n.StoreBool(key, Field(field, o), def); },
        [key, field, def](TOwner &o, const TXmlNode &n) { Field(field, o) = n.LoadBool(key, def); },
        Setter<bool>(std::move(setter),
                     [](const std::string &t) { return fsPropertyText::ToBool(t); }));
  }

  template <class F>
  TfsPropertyTable &Integer(std::string key, F field, int32_t def, TSetter<int32_t> setter = {}) {
    return Add(
        key,
        [key, field, def](TOwner &o, TXmlNode &n) { n.StoreInteger(key, Field(field, o), def); },
        [key, field, def](TOwner &o, const TXmlNode &n) {
          Field(field, o) = n.LoadInteger(key, def);
        },
        Setter<int32_t>(std::move(setter), [](const std::string &t) { return StrToInt(t); }));
  }

  // An integer written as "$" and the given number of upper-case hex digits.
  template <class F>
  TfsPropertyTable &Hex(std::string key, F field, int32_t def, int digits,
                        TSetter<int32_t> setter = {}) {
    return Add(
        key,
        [key, field, def, digits](TOwner &o, TXmlNode &n) {
          int32_t v = Field(field, o);
          if (v == def && !n.Settings().StoreDefaults)
            n.StoreInteger(key, def, def); // removes what an earlier store left
          else
            n.StoreHex(key, v, digits);
        },
        [key, field, def](TOwner &o, const TXmlNode &n) {
          Field(field, o) = n.LoadInteger(key, def);
        },
        Setter<int32_t>(std::move(setter), [](const std::string &t) { return StrToInt(t); }));
  }

  template <class F>
  TfsPropertyTable &Float(std::string key, F field, float def, TSetter<float> setter = {}) {
    return Add(
        key, [key, field, def](TOwner &o, TXmlNode &n) { n.StoreFloat(key, Field(field, o), def); },
        [key, field, def](TOwner &o, const TXmlNode &n) {
          Field(field, o) = n.LoadFloat(key, def);
        },
        Setter<float>(std::move(setter),
                      [](const std::string &t) { return fsPropertyText::ToFloat(t); }));
  }

  template <class F>
  TfsPropertyTable &String(std::string key, F field, std::string def,
                           TSetter<const std::string &> setter = {}) {
    TSetText text;
    if (setter)
      text = [setter](TOwner &o, const std::string &t) { setter(o, t); };
    return Add(
        key,
        [key, field, def](TOwner &o, TXmlNode &n) { n.StoreString(key, Field(field, o), def); },
        [key, field, def](TOwner &o, const TXmlNode &n) {
          Field(field, o) = n.LoadString(key, def);
        },
        std::move(text));
  }

  template <class F>
  TfsPropertyTable &Color(std::string key, F field, TColor def, TSetter<TColor> setter = {}) {
    return Add(
        key, [key, field, def](TOwner &o, TXmlNode &n) { n.StoreColor(key, Field(field, o), def); },
        [key, field, def](TOwner &o, const TXmlNode &n) {
          Field(field, o) = n.LoadColor(key, def);
        },
        Setter<TColor>(std::move(setter), [](const std::string &t) { return StrToInt(t); }));
  }

  TfsPropertyTable &Custom(std::string key, TSave save, TLoad load, TSetText setText = {}) {
    return Add(std::move(key), std::move(save), std::move(load), std::move(setText));
  }

  // Writes the keys in table order.
  void Save(TOwner &owner, TXmlNode &node) const {
    for (const TEntry &e : FEntries)
      if (e.Save)
        e.Save(owner, node);
  }
  // Reads the keys into the fields directly; a missing key reads as its
  // default.
  void Load(TOwner &owner, const TXmlNode &node) const {
    for (const TEntry &e : FEntries)
      if (e.Load)
        e.Load(owner, node);
  }
  // Keys compare without regard to case. True when an entry took the value.
  bool SetByName(TOwner &owner, std::string_view key, const std::string &value) const {
    bool taken = false;
    for (const TEntry &e : FEntries)
      if (e.SetText && SameText(e.Key, key)) {
        e.SetText(owner, value);
        taken = true;
      }
    return taken;
  }

  const std::vector<TEntry> &Entries() const { return FEntries; }

private:
  template <class F> static decltype(auto) Field(const F &field, TOwner &owner) {
    return std::invoke(field, owner);
  }
  template <class T, class TParse> static TSetText Setter(TSetter<T> setter, TParse parse) {
    if (!setter)
      return {};
    return [setter = std::move(setter), parse](TOwner &o, const std::string &t) {
      setter(o, parse(t));
    };
  }
  TfsPropertyTable &Add(std::string key, TSave save, TLoad load, TSetText setText) {
    FEntries.push_back({std::move(key), std::move(save), std::move(load), std::move(setText)});
    return *this;
  }

  std::vector<TEntry> FEntries;
};

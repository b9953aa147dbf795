#pragma once

#include <string>
#include <string_view>
#include <vector>

// A list of key=value items kept as comma text, as template parameters are
// stored in a page's name: items separated by ","; an item holding a blank,
// a comma, a double quote or a control character is quoted with its quotes
// doubled. Reading splits on commas and, outside quotes, on blanks.
class TParamList {
public:
  TParamList() = default;
  explicit TParamList(std::string_view commaText) { SetCommaText(commaText); }

  void SetCommaText(std::string_view text);
  std::string CommaText() const;

  const std::vector<std::string> &Items() const { return FItems; }
  void Clear() { FItems.clear(); }
  // The value of the first item with the key (compared without case);
  // empty when there is none.
  std::string Value(std::string_view key) const;
  // Replaces the item's value or appends the item; an empty value removes
  // it.
  void SetValue(std::string_view key, std::string_view value);
  bool Contains(std::string_view key) const { return IndexOfName(key) >= 0; }

  // Numbers with up to 15 significant digits, as the stored texts are.
  static std::string FloatText(double value);

private:
  int IndexOfName(std::string_view key) const;
  std::vector<std::string> FItems;
};

#pragma once

#include "base/fsConvert.h"

#include <string>
#include <vector>

// A sorted list of folder names that ignores duplicates; order and
// duplicates are decided without regard to letter case.
class TFolderList {
public:
  // Index of the entry (new or the one already there).
  size_t Add(const std::string &folder);
  // -1 when absent.
  int IndexOf(const std::string &folder) const;
  void Delete(size_t index);
  void Clear() { FItems.clear(); }

  size_t Count() const { return FItems.size(); }
  const std::string &operator[](size_t index) const { return FItems.at(index); }
  const std::vector<std::string> &Items() const { return FItems; }

private:
  std::vector<std::string> FItems;
};

#include "designer/TFolderList.h"

#include <algorithm>
#include <cctype>

namespace {
bool Less(const std::string &a, const std::string &b) {
  return CompareText(a, b) < 0;
}
} // namespace

size_t TFolderList::Add(const std::string &folder) {
  auto it = std::lower_bound(FItems.begin(), FItems.end(), folder, Less);
  if (it == FItems.end() || CompareText(*it, folder) != 0)
    it = FItems.insert(it, folder);
  return static_cast<size_t>(it - FItems.begin());
}

int TFolderList::IndexOf(const std::string &folder) const {
  auto it = std::lower_bound(FItems.begin(), FItems.end(), folder, Less);
  if (it == FItems.end() || CompareText(*it, folder) != 0)
    return -1;
  return static_cast<int>(it - FItems.begin());
}

void TFolderList::Delete(size_t index) {
  if (index < FItems.size())
    FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(index));
}

#include "base/fsError.h"
#include "designer/KeyringFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view image(reinterpret_cast<const char *>(data), size);
  try {
    auto sides = SplitSides(image);
    // Only the last length field can be cut short, and by at most 19 bytes.
    std::string joined = JoinSides(sides.SideA, sides.SideB);
    if (joined.size() > size + 19)
      std::abort();
    auto again = SplitSides(joined);
    if (again.SideA != sides.SideA || again.SideB != sides.SideB)
      std::abort();
  } catch (const EfsError &) {
  }
  return 0;
}

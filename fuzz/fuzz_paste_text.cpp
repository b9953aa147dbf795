// Pastes arbitrary text as clipboard content into a document, then copies
// and pastes the result again: text that is no selection pastes nothing,
// damaged snapshots end in an error message.
#include "base/fsError.h"
#include "engine/fsDocument.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  TfsDocument document;
  document.OnLoadError = [](TfsDocument &, TfsShape *shape, const std::string &) {
    if (!shape)
      std::abort();
  };
  const std::string text(reinterpret_cast<const char *>(data), size);
  const int before = document.ShapeCount();
  int pasted = 0;
  try {
    pasted = document.PasteFromText(text);
  } catch (const EfsError &) {
    return 0;
  }
  if (pasted < 0 || document.ShapeCount() != before + pasted)
    std::abort();
  try {
    std::string copy;
    document.CopyToText(copy);
    if ((pasted > 0) != !copy.empty())
      std::abort();
    if (document.PasteFromText(copy) != pasted)
      std::abort();
    document.Undo();
  } catch (const EfsError &) {
  }
  return 0;
}

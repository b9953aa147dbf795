// Opens arbitrary bytes as a document archive, reads every page (pages are
// read lazily, so each one is asked for), then saves the document to memory:
// damaged archives must end in an error message, never in a crash.
#include "base/fsError.h"
#include "base/fsStream.h"
#include "engine/fsDocument.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  TfsDocument document;
  // A shape that fails to load is reported with itself; loading goes on.
  document.OnLoadError = [](TfsDocument &, TfsShape *shape, const std::string &) {
    if (!shape)
      std::abort();
  };
  document.SetUndoEnabled(false);
  try {
    TMemoryStream in(std::string(reinterpret_cast<const char *>(data), size));
    document.LoadFromStream(in);
  } catch (const EfsError &) {
    return 0;
  }
  if (document.IsLoading() || document.IsWorking())
    std::abort();
  for (int i = 0; i < document.PageCount(); ++i) {
    try {
      document.SetCurrentPageIndex(i);
    } catch (const EfsError &) {
      // A missing or damaged page entry fails only that page.
    }
  }
  try {
    TMemoryStream out;
    document.SaveToStream(out);
    // What was written reads back.
    TfsDocument again;
    out.SetPosition(0);
    again.LoadFromStream(out);
    if (again.PageCount() != document.PageCount())
      std::abort();
  } catch (const EfsError &) {
  }
  return 0;
}

// Loads arbitrary XML as a page of a document, as reading a page entry of an
// archive does, then writes the page again and paints a small picture of it
// on screen (grid and dots) and for the printer.
#include "base/fsConvert.h"
#include "base/fsError.h"
#include "engine/fsDocument.h"
#include "engine/fsPage.h"
#include "persist/fsPlainXml.h"
#include "raster/fsGR32.h"

#include "FuzzPage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  TPlainXml xml;
  try {
    xml.ReadFromString(std::string_view(reinterpret_cast<const char *>(data), size));
  } catch (const EfsError &) {
    return 0;
  }
  TXmlNode *root = xml.Root();
  if (!root)
    return 0;
  fuzzpage::KeepOffTheDisk(*root);

  TfsDocument document;
  // A shape that fails to load is reported with itself; loading goes on.
  document.OnLoadError = [](TfsDocument &, TfsShape *shape, const std::string &) {
    if (!shape)
      std::abort();
  };
  TfsPage &page = *document.CurrentPage();
  fuzzpage::LoadAndSave(page, root);
  try {
    document.SetHelperMethod(hmGrid);
    fuzzpage::Render(page, dtScreen);
    document.SetHelperMethod(hmDots);
    fuzzpage::Render(page, dtScreen);
    document.SetHelperMethod(hmPattern);
    fuzzpage::Render(page, dtPrinter);
  } catch (const EfsError &) {
  }
  return 0;
}

// Loads arbitrary XML as a page holding the program's own shape classes
// (polygons, lines, freehand strokes, pictures, metafiles), writes it again,
// paints it for the screen and the printer, and takes every shape through a
// drag of the interactive editor.
#include "base/fsError.h"
#include "engine/fsDocument.h"
#include "engine/fsPage.h"
#include "persist/fsPlainXml.h"
#include "shapes/fsStandardShapes.h"

#include "FuzzPage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

const bool Registered = [] {
  RegisterStandardShapes();
  return true;
}();

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  (void)Registered;
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
  document.OnLoadError = [](TfsDocument &, TfsShape *shape, const std::string &) {
    if (!shape)
      std::abort();
  };
  TfsPage &page = *document.CurrentPage();
  fuzzpage::LoadAndSave(page, root);
  try {
    fuzzpage::Render(page, dtScreen);
    fuzzpage::Render(page, dtPrinter);
  } catch (const EfsError &) {
  }
  // Every shape selected and dragged by a handle corner and by its body.
  try {
    document.SetViewMapping({0, 0, 1});
    for (int i = 0; i < document.ShapeCount(); ++i)
      document.GetShape(i)->SetSelected(true);
    for (TPoint from : {TPoint{2, 2}, TPoint{20, 20}}) {
      document.MouseDown(mbLeft, ssLeft, from);
      document.MouseMove(ssLeft, {from.X + 9, from.Y + 7});
      document.MouseUp(mbLeft, ssLeft, {from.X + 9, from.Y + 7});
    }
  } catch (const EfsError &) {
  }
  return 0;
}

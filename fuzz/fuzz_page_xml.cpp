// Loads arbitrary XML as a page of a document, as reading a page entry of an
// archive does, then writes the page again and paints a small picture of it
// on screen (grid and dots) and for the printer.
#include "base/fsConvert.h"
#include "base/fsError.h"
#include "engine/fsDocument.h"
#include "engine/fsPage.h"
#include "persist/fsPlainXml.h"
#include "raster/fsGR32.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Pictures stored as external files name files of this machine; keep the
// fuzzer off them but keep the extension, which picks the picture format.
void KeepOffTheDisk(TXmlNode &node) {
  for (int i = 0; i < node.ChildCount(); ++i) {
    TXmlNode &child = *node.Child(i);
    if (SameText(child.Name(), "FileName")) {
      const std::string name = child.Text();
      const size_t dot = name.find_last_of("./\\");
      const std::string ext = dot != std::string::npos && name[dot] == '.' ? name.substr(dot) : "";
      child.SetText("/nonexistent/fuzz/picture" + ext);
    }
    KeepOffTheDisk(child);
  }
}

void Render(TfsPage &page, TDeviceType type) {
  constexpr float Dpm = 0.25f; // an A4 page in about 52 x 74 pixels
  TBitmap32 bitmap;
  bitmap.SetSize(64, 80);
  TDeviceContext context;
  context.DeviceType = type;
  context.DestDpm = Dpm;
  context.CacheDpm = Dpm;
  context.DropCache = true;
  TfsShape::RenderShape(page, bitmap, FloatRect(0, 0, 64 / Dpm, 80 / Dpm), context, true);
}

} // namespace

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
  KeepOffTheDisk(*root);

  TfsDocument document;
  // A shape that fails to load is reported with itself; loading goes on.
  document.OnLoadError = [](TfsDocument &, TfsShape *shape, const std::string &) {
    if (!shape)
      std::abort();
  };
  TfsPage &page = *document.CurrentPage();
  try {
    page.LoadFromXml(root);
  } catch (const EfsError &) {
    // A page key that cannot be read ends the page; bad shapes do not.
  }
  try {
    TPlainXml out("Page");
    page.SaveToXml(*out.Root());
    out.WriteToString();
  } catch (const EfsError &) {
  }
  try {
    document.SetHelperMethod(hmGrid);
    Render(page, dtScreen);
    document.SetHelperMethod(hmDots);
    Render(page, dtScreen);
    document.SetHelperMethod(hmPattern);
    Render(page, dtPrinter);
  } catch (const EfsError &) {
  }
  return 0;
}

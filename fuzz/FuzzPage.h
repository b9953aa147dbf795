#pragma once

// What the page fuzz targets share: pictures kept off the disk, and small
// renders of a page for the screen and the printer.
#include "base/fsConvert.h"
#include "base/fsError.h"
#include "engine/fsPage.h"
#include "persist/fsPlainXml.h"
#include "raster/fsGR32.h"

#include <string>

namespace fuzzpage {

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

// Reads the page from the node as an archive entry is read, then writes it
// again; what cannot be read ends there, as it does for the program.
inline void LoadAndSave(TfsPage &page, const TXmlNode *root) {
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
}

} // namespace fuzzpage

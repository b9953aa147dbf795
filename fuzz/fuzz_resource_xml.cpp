// Reads a picture resource from arbitrary XML: the resource form in all four
// storage modes and the older compressed bitmap element.
#include "base/fsError.h"
#include "persist/fsBitmapResource.h"
#include "persist/fsImageFormats.h"
#include "persist/fsPlainXml.h"
#include "persist/nvStorage.h"
#include "raster/fsGR32.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

class TFuzzDocument : public TfsResourceDocument {
public:
  TFuzzDocument() {
    TBitmap32 b;
    b.SetSize(2, 2);
    b.FillAll(0xFF102030);
    TMemoryStream hck;
    CreateRaster(FormatForExtension(".hck"))->SaveToStream(hck, b);
    Archive.WriteStream("TMP0000001.hck", hck);
  }
  TnvStorage *Storage() override { return &Archive; }
  TnvStorage Archive;
};

void RequireSameBytes(TfsResource &r, const std::string &bytes) {
  if (r.Data().Bytes() != bytes) {
    std::fprintf(stderr, "decoding changed the resource's bytes (%zu -> %lld)\n", bytes.size(),
                 static_cast<long long>(r.DataSize()));
    std::abort();
  }
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
  // External pictures name files of this machine; keep the fuzzer off them
  // but keep the extension, which picks the picture format.
  std::string name = root->LoadString("FileName", "");
  if (!name.empty()) {
    size_t dot = name.find_last_of("./\\");
    std::string ext = dot != std::string::npos && name[dot] == '.' ? name.substr(dot) : "";
    root->StoreString("FileName", "/nonexistent/fuzz/picture" + ext, "");
  }

  TFuzzDocument doc;
  TfsBitmapResource r;
  r.SetDocument(&doc);
  try {
    r.ReadFromXml(*root);
    // Decoding only reads the bytes, whatever offsets the picture gives; a
    // change would be written back with the document.
    const std::string bytes = r.Data().Bytes();
    try {
      r.Bitmap();
    } catch (const EfsError &) {
      RequireSameBytes(r, bytes);
      throw;
    }
    RequireSameBytes(r, bytes);
    TPlainXml out("Image");
    r.WriteToXml(*out.Root());
    r.Compact();
  } catch (const EfsError &) {
  }
  if (IsCompressedBitmap(*root)) {
    try {
      TBitmap32 b;
      ReadCompressedBitmap(*root, b);
    } catch (const EfsError &) {
    }
  }
  return 0;
}

#include "persist/fsPlainXml.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

// The reader on arbitrary bytes, in both in-memory text modes; whatever it
// accepts must write out and read back to the same text, unless the 8-bit
// mode announced that characters were lost (a lost character becomes '?',
// which may turn "<x" into "<?" and so change the tree).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char *>(data), size);
  for (bool utf8 : {true, false}) {
    TPlainXml doc;
    doc.Utf8Text = utf8;
    bool lost = false;
    doc.OnCharLoss = [&lost](TPlainXml &) { lost = true; };
    try {
      doc.ReadFromString(bytes);
    } catch (const EXmlError &) {
      continue;
    }
    std::string once;
    try {
      once = doc.WriteToString();
    } catch (const EXmlError &) {
      continue; // e.g. an encoding that can be read but not written
    }
    TPlainXml again;
    again.Utf8Text = utf8;
    try {
      again.ReadFromString(once);
      if (again.WriteToString() != once && !lost)
        std::abort();
    } catch (const EXmlError &) {
      if (!lost)
        std::abort();
    }
    // Typed reads on whatever came in never fail except for colours.
    if (TXmlNode *root = doc.Root()) {
      for (int i = 0; i < root->ChildCount(); ++i) {
        const TXmlNode *n = root->Child(i);
        (void)root->LoadFloat(n->Name(), 0);
        (void)root->LoadDateTime(n->Name(), 0);
        (void)root->LoadString(n->Name(), "");
        try {
          (void)n->BinaryLength();
        } catch (const EXmlError &) {
        }
      }
    }
  }
  return 0;
}

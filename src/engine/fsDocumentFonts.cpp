#include "engine/fsDocumentFonts.h"

#include "text/fsTruetypeFonts.h"

std::shared_ptr<TfsFontManager> NewDocumentFontManager() {
  return std::make_shared<TfsFontManager>();
}

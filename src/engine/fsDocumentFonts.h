#pragma once

#include <memory>

class TfsFontManager;

// A document's font manager, made where the text layer's names are in
// scope (they clash with the shape header's font style names).
std::shared_ptr<TfsFontManager> NewDocumentFontManager();

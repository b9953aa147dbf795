#pragma once

#include "engine/fsDocument.h"

#include <exception>

// Scopes over the document's brackets, shared by its units.

// A bracket of the document for a scope (event batching or an undo group):
// it always closes; a failure to close while another error is on its way
// gives way to that error.
template <void (TfsDocument::*Begin)(), void (TfsDocument::*End)()> class TDocumentScope {
public:
  explicit TDocumentScope(TfsDocument &document)
      : FDocument(document), FErrors(std::uncaught_exceptions()) {
    (FDocument.*Begin)();
  }
  ~TDocumentScope() noexcept(false) {
    if (std::uncaught_exceptions() <= FErrors) {
      (FDocument.*End)();
      return;
    }
    try {
      (FDocument.*End)();
    } catch (...) {
    }
  }
  TDocumentScope(const TDocumentScope &) = delete;
  TDocumentScope &operator=(const TDocumentScope &) = delete;

private:
  TfsDocument &FDocument;
  int FErrors;
};

using TUndoGroupScope = TDocumentScope<&TfsDocument::BeginUndoGroup, &TfsDocument::EndUndoGroup>;
using TUpdateBracket = TDocumentScope<&TfsDocument::BeginUpdate, &TfsDocument::EndUpdate>;

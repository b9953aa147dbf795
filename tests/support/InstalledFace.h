#pragma once

// For tests that draw or outline text: whether a face is installed as
// itself (not a fontconfig substitute). Only for test programs that link
// the text layer.

#include "text/fsFreeType.h"

#include <gtest/gtest.h>

namespace testsupport {

inline bool HaveFace(const char *family) {
  TfsFaceMatch m = MatchFontFace(family, false, false);
  return m.Face && !m.Substituted;
}

} // namespace testsupport

#define REQUIRE_FACE(family)                                                                       \
  if (!testsupport::HaveFace(family))                                                              \
  GTEST_SKIP() << family << " is not installed (fonts-dejavu-core / fonts-liberation2)"

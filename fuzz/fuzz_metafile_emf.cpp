// Enhanced metafile records after a valid header, read and played.
#include "MetafileFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  return metafilefuzz::Run(data, size, true);
}

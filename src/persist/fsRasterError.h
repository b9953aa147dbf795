#pragma once

#include "base/fsError.h"

// Every failure of reading or writing a picture format: the registry, the
// format classes and the HCK codec all raise this one class.
class ERasterError : public EfsError {
public:
  using EfsError::EfsError;
};

#pragma once

#include <stdexcept>
#include <string>

// The one base of every error the engine and the designer raise. The message
// is the English text the user sees, so it is kept exactly as raised.
class EfsError : public std::runtime_error {
public:
  explicit EfsError(const std::string &message) : std::runtime_error(message) {}
};

// A broken call sequence in the caller (an unpaired EndUpdate); raised in
// every build so that the counters never go wrong silently.
class EfsAssertionFailed : public EfsError {
public:
  using EfsError::EfsError;
};

// A text that should have been a number.
class EConvertError : public EfsError {
public:
  using EfsError::EfsError;
};

// Reading or writing a stream or file failed.
class EStreamError : public EfsError {
public:
  using EfsError::EfsError;
};

class EReadError : public EStreamError {
public:
  EReadError() : EStreamError("Stream read error") {}
  using EStreamError::EStreamError;
};

class EWriteError : public EStreamError {
public:
  EWriteError() : EStreamError("Stream write error") {}
  using EStreamError::EStreamError;
};

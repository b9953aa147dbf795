#pragma once

#include "base/fsError.h"

#include <cstdint>
#include <exception>

// Update brackets: while one is open, an object holds back its change
// notifications so that a multi-step change goes out once.
//
// The rule for every bracket of the program: it always closes, also when an
// error leaves it. What was changed before the error is still announced (the
// object did change, and whoever shows it must see what is there); should
// that announcement itself fail while the first error is on its way, the
// first error is the one reported.

class TUpdateCounter {
public:
  void Begin() { ++FCount; }
  // Closes one bracket. Returns true when it was the outermost one and a
  // change was held back meanwhile (the caller delivers it). An unpaired
  // call raises EfsAssertionFailed with the owner's message and leaves the
  // counter at 0.
  bool End(const char *unpairedMessage) {
    if (FCount <= 0) {
      FCount = 0;
      throw EfsAssertionFailed(unpairedMessage);
    }
    if (--FCount > 0 || !FPending)
      return false;
    FPending = false;
    return true;
  }
  // True while a bracket is open: the change is held back (and remembered).
  bool Hold() {
    if (FCount == 0)
      return false;
    FPending = true;
    return true;
  }
  bool Updating() const { return FCount > 0; }
  bool Pending() const { return FPending; }
  int32_t Count() const { return FCount; }

private:
  int32_t FCount = 0;
  bool FPending = false;
};

// Opens a bracket on T (BeginUpdate/EndUpdate) for its lifetime. With
// announce set, one Changed follows the close, for objects whose EndUpdate
// does not deliver held-back changes itself.
template <class T> class TUpdateScope {
public:
  explicit TUpdateScope(T &target, bool announce = false)
      : FTarget(target), FAnnounce(announce), FErrors(std::uncaught_exceptions()) {
    FTarget.BeginUpdate();
  }
  ~TUpdateScope() noexcept(false) {
    if (std::uncaught_exceptions() <= FErrors) {
      Close();
      return;
    }
    try {
      Close();
    } catch (...) {
    }
  }
  TUpdateScope(const TUpdateScope &) = delete;
  TUpdateScope &operator=(const TUpdateScope &) = delete;

private:
  void Close() {
    FTarget.EndUpdate();
    if (FAnnounce)
      FTarget.Changed();
  }

  T &FTarget;
  bool FAnnounce;
  int FErrors;
};

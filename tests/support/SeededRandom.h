#pragma once

#include <cstdint>

namespace testsupport {

// The tests' one reproducible source of arbitrary values: a 32-bit linear
// congruential generator with the Numerical Recipes constants. Unlike the
// standard distributions it gives the same values with every compiler and
// library, so a seed names the same cases everywhere.
class SeededRandom {
public:
  explicit SeededRandom(uint32_t Seed) : FState(Seed) {}

  // The next state, all 32 bits: for pixels, whose every bit is used.
  uint32_t Word() { return FState = FState * 1664525u + 1013904223u; }
  // The high 24 bits of the next state; the low bits of such a generator
  // repeat after short periods.
  uint32_t Next() { return Word() >> 8; }
  // 0 .. N - 1, for N > 0.
  uint32_t Below(uint32_t N) { return Next() % N; }
  // Lo .. Hi, both included, for Lo <= Hi.
  int32_t Between(int32_t Lo, int32_t Hi) {
    return Lo + static_cast<int32_t>(Below(static_cast<uint32_t>(Hi - Lo + 1)));
  }

private:
  uint32_t FState;
};

} // namespace testsupport

#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

// Median wall time of runs calls of work, in seconds, for the closing
// "ratio" lines that compare our code with a peer in the same run. One
// untimed call first, so that neither side pays for first-touch page faults.
template <class F> double MedianSeconds(F work, int runs) {
  std::vector<double> times;
  work();
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    work();
    const auto t1 = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double>(t1 - t0).count());
  }
  std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
  return times[runs / 2];
}

// Runs the registered benchmarks; false when the command line had words the
// library does not know. The ratio lines follow in each program's main.
inline bool RunGoogleBenchmarks(int &argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return false;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return true;
}

#pragma once

// Marks a hot loop to be compiled twice, for AVX2 and for any x86-64, with
// the choice made once when the program loads. ThreadSanitizer cannot run
// that load-time choice (it comes before its runtime is up), so its builds
// take the plain version only.
#if defined(__SANITIZE_THREAD__) || !defined(__x86_64__)
#define FS_AVX2_CLONES
#else
#define FS_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#endif

#include "raster/fsSampler_avx2.h"

#include "raster/fsSampler.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

// The 2 x 2 supersampling of affine maps with AVX2, used when the processor
// has it; elsewhere the sampler takes its plain path.

#if defined(__x86_64__)

namespace {

using fsSamplerKernels::Bilinear;
using fsSamplerKernels::TInt128;
using fsSamplerKernels::To248;

// The sample positions of the four sample rows of pixels First..Last of
// the span (X .. X + Count - 1, Y): per sample row the first and last
// centres transformed, the difference spread over the steps exactly. Pixel
// i's eight values sit at L[8 i]: the four U, then the four V. All eight
// steppers advance together in vector lanes, with no branches.
__attribute__((target("avx2"))) void LatticeQuad(const TfsAffineTransform &Inv, int32_t X,
                                                 int32_t Y, const TFloatPoint *Offsets,
                                                 int32_t Count, int32_t First, int32_t Last,
                                                 int64_t *L) {
  alignas(32) int64_t p[8], e[8], q[8], a[8], sg[8];
  const int64_t n = Count - 1;
  for (int k = 0; k < 4; ++k) {
    const double ox = Offsets[k].X, cy = Y + 0.5 + Offsets[k].Y;
    double u0, v0, u1, v1;
    Inv.Transform(X + 0.5 + ox, cy, u0, v0);
    p[k] = To248(u0);
    p[4 + k] = To248(v0);
    if (Count == 1)
      continue;
    Inv.Transform(X + Count - 1 + 0.5 + ox, cy, u1, v1);
    const int64_t d[2] = {To248(u1) - p[k], To248(v1) - p[4 + k]};
    for (int axis = 0; axis < 2; ++axis) {
      const int j = 4 * axis + k;
      const int64_t r = d[axis] % n;
      q[j] = d[axis] / n;
      sg[j] = r < 0 ? -1 : 1;
      a[j] = r * sg[j];
      e[j] = 0;
      if (First > 0) {
        const TInt128 f = First;
        p[j] += q[j] * First + sg[j] * static_cast<int64_t>(f * a[j] / n);
        e[j] = static_cast<int64_t>(f * a[j] % n);
      }
    }
  }
  if (Count == 1) {
    std::memcpy(L, p, sizeof p);
    return;
  }
  const __m256i *vp = reinterpret_cast<const __m256i *>(p);
  const __m256i *ve = reinterpret_cast<const __m256i *>(e);
  const __m256i *vq = reinterpret_cast<const __m256i *>(q);
  const __m256i *va = reinterpret_cast<const __m256i *>(a);
  const __m256i *vs = reinterpret_cast<const __m256i *>(sg);
  __m256i p0 = _mm256_load_si256(vp), p1 = _mm256_load_si256(vp + 1);
  __m256i e0 = _mm256_load_si256(ve), e1 = _mm256_load_si256(ve + 1);
  const __m256i q0 = _mm256_load_si256(vq), q1 = _mm256_load_si256(vq + 1);
  const __m256i a0 = _mm256_load_si256(va), a1 = _mm256_load_si256(va + 1);
  const __m256i s0 = _mm256_load_si256(vs), s1 = _mm256_load_si256(vs + 1);
  const __m256i nn = _mm256_set1_epi64x(n), below = _mm256_set1_epi64x(n - 1);
  for (int32_t i = First; i <= Last; ++i) {
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(L + static_cast<size_t>(i) * 8), p0);
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(L + static_cast<size_t>(i) * 8 + 4), p1);
    e0 = _mm256_add_epi64(e0, a0);
    e1 = _mm256_add_epi64(e1, a1);
    const __m256i m0 = _mm256_cmpgt_epi64(e0, below);
    const __m256i m1 = _mm256_cmpgt_epi64(e1, below);
    p0 = _mm256_add_epi64(p0, _mm256_add_epi64(q0, _mm256_and_si256(s0, m0)));
    p1 = _mm256_add_epi64(p1, _mm256_add_epi64(q1, _mm256_and_si256(s1, m1)));
    e0 = _mm256_sub_epi64(e0, _mm256_and_si256(nn, m0));
    e1 = _mm256_sub_epi64(e1, _mm256_and_si256(nn, m1));
  }
}

// Entry f: the weight of the left (upper) pixel for the fraction f in four
// lanes, then that of the right (lower) one in four.
struct TWeightPairs {
  __m128i W[256];
  TWeightPairs() {
    for (int f = 0; f < 256; ++f) {
      const int16_t g = GammaWeights[255 - f];
      const int16_t h = static_cast<int16_t>(256 - g);
      W[f] = _mm_set_epi16(h, h, h, h, g, g, g, g);
    }
  }
};

const TWeightPairs &WeightPairs() {
  static const TWeightPairs table;
  return table;
}

// Two bilinear reads, all four pixels of each inside the source: the
// colours in the low four words of each half, as Bilinear computes them.
__attribute__((target("avx2"))) inline __m256i BilinearPair(const TColor32 *Bits, int32_t Width,
                                                            const __m128i *W, int64_t Ua,
                                                            int64_t Va, int64_t Ub, int64_t Vb) {
  const TColor32 *pa = Bits + (Ua >> 8) + static_cast<ptrdiff_t>(Va >> 8) * Width;
  const TColor32 *pb = Bits + (Ub >> 8) + static_cast<ptrdiff_t>(Vb >> 8) * Width;
  int64_t ta, tb, ba, bb;
  std::memcpy(&ta, pa, 8);
  std::memcpy(&tb, pb, 8);
  std::memcpy(&ba, pa + Width, 8);
  std::memcpy(&bb, pb + Width, 8);
  const __m256i wx = _mm256_inserti128_si256(_mm256_castsi128_si256(W[Ua & 255]), W[Ub & 255], 1);
  const __m256i wy = _mm256_inserti128_si256(_mm256_castsi128_si256(W[Va & 255]), W[Vb & 255], 1);
  const __m256i top = _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_set_epi64x(tb, ta)), wx);
  const __m256i bottom = _mm256_mullo_epi16(_mm256_cvtepu8_epi16(_mm_set_epi64x(bb, ba)), wx);
  const __m256i t = _mm256_srli_epi16(_mm256_add_epi16(top, _mm256_srli_si256(top, 8)), 8);
  const __m256i b = _mm256_srli_epi16(_mm256_add_epi16(bottom, _mm256_srli_si256(bottom, 8)), 8);
  const __m256i v = _mm256_mullo_epi16(_mm256_unpacklo_epi64(t, b), wy);
  return _mm256_srli_epi16(_mm256_add_epi16(v, _mm256_srli_si256(v, 8)), 8);
}

// The mean of four samples per pixel at the positions LatticeQuad made.
__attribute__((target("avx2"))) void QuadMeans(TColor32 *Out, const int64_t *L, int32_t First,
                                               int32_t Last, const TBitmap32 &Src) {
  const int32_t width = Src.Width();
  const int64_t limX = static_cast<int64_t>(width - 1) * 256;
  const int64_t limY = static_cast<int64_t>(Src.Height() - 1) * 256;
  const TColor32 *bits = Src.Bits();
  const TColor32 outer = Src.OuterColor();
  const __m128i *w = WeightPairs().W;
  const auto u = [L](int k, int32_t i) { return L[static_cast<size_t>(i) * 8 + k]; };
  const auto v = [L](int k, int32_t i) { return L[static_cast<size_t>(i) * 8 + 4 + k]; };
  auto inside = [&](int k, int32_t i) {
    const int64_t x = u(k, i), y = v(k, i);
    return x > 0 && y > 0 && x < limX && y < limY;
  };
  // Each sample row moves monotonically in both axes, so its samples inside
  // the source form one run; where the four runs overlap no pixel needs a
  // check.
  int32_t a = First, b = Last;
  for (int k = 0; k < 4 && a <= b; ++k) {
    while (a <= b && !inside(k, a))
      ++a;
    while (a <= b && !inside(k, b))
      --b;
  }
  for (int32_t i = First; i <= Last; ++i) {
    bool all = i >= a && i <= b;
    if (!all) {
      all = true;
      for (int k = 0; k < 4; ++k)
        all &= inside(k, i);
    }
    if (all) {
      const __m256i s =
          _mm256_add_epi16(BilinearPair(bits, width, w, u(0, i), v(0, i), u(1, i), v(1, i)),
                           BilinearPair(bits, width, w, u(2, i), v(2, i), u(3, i), v(3, i)));
      const __m128i m = _mm_srli_epi16(
          _mm_add_epi16(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1)), 2);
      Out[i] = static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(m, m)));
    } else {
      uint32_t sums[4] = {0, 0, 0, 0};
      for (int k = 0; k < 4; ++k) {
        const TColor32 c = Bilinear(bits, width, limX, limY, outer, u(k, i), v(k, i));
        for (int l = 0; l < 4; ++l)
          sums[l] += (c >> (8 * l)) & 255;
      }
      Out[i] = (sums[0] >> 2) | (sums[1] >> 2) << 8 | (sums[2] >> 2) << 16 | (sums[3] >> 2) << 24;
    }
  }
}

// LatticeQuad's steppers in 32-bit lanes, for spans whose positions all
// stay well inside that range: the eight values of a pixel in one vector.
// QS holds Q plus the sign, the step when the spread carries.
struct TQuadSteps32 {
  alignas(32) int32_t P[8], E[8], Q[8], QS[8], A[8];
  int32_t N = 1;
  // K steps at once (K in Jumps), as K single steps would go: K a = Carry n
  // + A, and the position moves by K Q + sign * Carry plus the sign once
  // more when the spread carries. Valid is false when some of these could
  // leave the 32-bit range; the runs of pixels are not tried then.
  static constexpr int32_t Jumps[4] = {3, 4, 7, 8};
  alignas(32) int32_t JQ[4][8], JQS[4][8], JA[4][8];
  bool Valid = true;
};

// The same first positions and spreads as LatticeQuad; false when some
// value could leave the 32-bit range.
bool QuadSteps32(const TfsAffineTransform &Inv, int32_t X, int32_t Y, const TFloatPoint *Offsets,
                 int32_t Count, int32_t First, TQuadSteps32 &S) {
  constexpr int64_t Safe = int64_t(1) << 29;
  const int64_t n = std::max(Count - 1, 1);
  if (n >= Safe)
    return false;
  S.N = static_cast<int32_t>(n);
  for (int k = 0; k < 4; ++k) {
    const double ox = Offsets[k].X, cy = Y + 0.5 + Offsets[k].Y;
    double u0, v0, u1, v1;
    Inv.Transform(X + 0.5 + ox, cy, u0, v0);
    Inv.Transform(X + Count - 1 + 0.5 + ox, cy, u1, v1);
    const int64_t start[2] = {To248(u0), To248(v0)};
    const int64_t end[2] = {To248(u1), To248(v1)};
    for (int axis = 0; axis < 2; ++axis) {
      const int j = 4 * axis + k;
      // Every position lies between the two ends.
      if (std::abs(start[axis]) >= Safe || std::abs(end[axis]) >= Safe)
        return false;
      int64_t p = start[axis], q = 0, sg = 1, a = 0, e = 0;
      if (Count > 1) {
        const int64_t d = end[axis] - start[axis];
        const int64_t r = d % n;
        q = d / n;
        sg = r < 0 ? -1 : 1;
        a = r * sg;
        if (First > 0) {
          p += q * First + sg * (First * a / n);
          e = First * a % n;
        }
      }
      S.P[j] = static_cast<int32_t>(p);
      S.E[j] = static_cast<int32_t>(e);
      S.Q[j] = static_cast<int32_t>(q);
      S.QS[j] = static_cast<int32_t>(q + sg);
      S.A[j] = static_cast<int32_t>(a);
      for (int t = 0; t < 4; ++t) {
        const int64_t k = TQuadSteps32::Jumps[t];
        const int64_t jq = k * q + sg * (k * a / n);
        S.Valid &= std::abs(jq) + 1 < Safe * 2;
        S.JQ[t][j] = static_cast<int32_t>(jq);
        S.JQS[t][j] = static_cast<int32_t>(jq + sg);
        S.JA[t][j] = static_cast<int32_t>(k * a % n);
      }
    }
  }
  return true;
}

// The mean of a pixel's four samples at the positions P (the four U, then
// the four V), as QuadMeans takes them.
__attribute__((target("avx2"))) TColor32 QuadMean(const int32_t *P, bool Inside,
                                                  const TColor32 *Bits, int32_t Width, int64_t LimX,
                                                  int64_t LimY, TColor32 Outer, const __m128i *W) {
  if (Inside) {
    const __m256i s = _mm256_add_epi16(BilinearPair(Bits, Width, W, P[0], P[4], P[1], P[5]),
                                       BilinearPair(Bits, Width, W, P[2], P[6], P[3], P[7]));
    const __m128i m =
        _mm_srli_epi16(_mm_add_epi16(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1)), 2);
    return static_cast<TColor32>(_mm_cvtsi128_si32(_mm_packus_epi16(m, m)));
  }
  uint32_t sums[4] = {0, 0, 0, 0};
  for (int k = 0; k < 4; ++k) {
    const TColor32 c = Bilinear(Bits, Width, LimX, LimY, Outer, P[k], P[4 + k]);
    for (int l = 0; l < 4; ++l)
      sums[l] += (c >> (8 * l)) & 255;
  }
  return (sums[0] >> 2) | (sums[1] >> 2) << 8 | (sums[2] >> 2) << 16 | (sums[3] >> 2) << 24;
}

// One step of the eight steppers.
struct TStepper32 {
  __m256i Q, QS, A, N, Below;
};

__attribute__((target("avx2"))) inline __m256i Step32(__m256i P, __m256i &E, const TStepper32 &S) {
  E = _mm256_add_epi32(E, S.A);
  const __m256i m = _mm256_cmpgt_epi32(E, S.Below);
  E = _mm256_sub_epi32(E, _mm256_and_si256(S.N, m));
  return _mm256_add_epi32(P, _mm256_blendv_epi8(S.Q, S.QS, m));
}

// The least (greatest) of the four U and of the four V, in every lane of
// their half.
__attribute__((target("avx2"))) inline __m256i Least4(__m256i v) {
  v = _mm256_min_epi32(v, _mm256_shuffle_epi32(v, 0xB1));
  return _mm256_min_epi32(v, _mm256_shuffle_epi32(v, 0x4E));
}
__attribute__((target("avx2"))) inline __m256i Greatest4(__m256i v) {
  v = _mm256_max_epi32(v, _mm256_shuffle_epi32(v, 0xB1));
  return _mm256_max_epi32(v, _mm256_shuffle_epi32(v, 0x4E));
}

// The uniform squares QuadRun32 reads: bit x of row y (Stride words a row)
// in Small marks the 4 x 4 square from (x, y) holding one colour, in Large
// the 10 x 10 one, in Huge the 16 x 16 one. The last square found is kept with its colour: two
// uniform squares that overlap share a pixel, so a colour, and along a run
// the source need not be read again.
struct TSquareRun {
  const uint64_t *Small, *Large, *Huge;
  size_t Stride;
  const TColor32 *Bits;
  int32_t Width;
  int32_t X0 = std::numeric_limits<int32_t>::min() / 2, Y0 = X0, X1 = X0, Y1 = X0;
  TColor32 Color = 0;

  // Whether the Size x Size square from (X, Y), X and Y inside the source,
  // is uniform; its colour in C if so.
  bool Uniform(const uint64_t *Map, int32_t X, int32_t Y, int32_t Size, TColor32 &C) {
    if (!((Map[static_cast<size_t>(Y) * Stride + (static_cast<uint32_t>(X) >> 6)] >> (X & 63)) & 1))
      return false;
    const int32_t x1 = X + Size - 1, y1 = Y + Size - 1;
    if (X > X1 || x1 < X0 || Y > Y1 || y1 < Y0)
      Color = Bits[X + static_cast<ptrdiff_t>(Y) * Width];
    X0 = X, Y0 = Y, X1 = x1, Y1 = y1;
    C = Color;
    return true;
  }
};

// LatticeQuad and QuadMeans in one pass over 32-bit positions. With squares
// (TfsMapSampler::FSquares), pixels whose 2 x 2 reads all lie in one uniform
// square of the source take that square's colour: every bilinear read of
// equal pixels gives that pixel back exactly, and so does the mean of four
// equal colours. Eight or four pixels at a time are tried against the
// 16 x 16 or 10 x 10 squares (each sample row moves monotonically, so the
// reads of a run lie in the box of its first's and its last's), single
// pixels against the 4 x 4 ones.
__attribute__((target("avx2"))) void QuadRun32(TColor32 *Out, const TQuadSteps32 &S, int32_t First,
                                               int32_t Last, const TBitmap32 &Src,
                                               const uint64_t *Squares, size_t SquareStride) {
  const int32_t width = Src.Width();
  const int64_t limX = static_cast<int64_t>(width - 1) * 256;
  const int64_t limY = static_cast<int64_t>(Src.Height() - 1) * 256;
  const TColor32 *bits = Src.Bits();
  const TColor32 outer = Src.OuterColor();
  const __m128i *w = WeightPairs().W;
  __m256i p, e;
  TStepper32 st;
  std::memcpy(&p, S.P, sizeof p);
  std::memcpy(&e, S.E, sizeof e);
  std::memcpy(&st.Q, S.Q, sizeof st.Q);
  std::memcpy(&st.QS, S.QS, sizeof st.QS);
  std::memcpy(&st.A, S.A, sizeof st.A);
  st.N = _mm256_set1_epi32(S.N);
  st.Below = _mm256_set1_epi32(S.N - 1);
  TStepper32 jump[4];
  for (int t = 0; t < 4; ++t) {
    jump[t] = st;
    std::memcpy(&jump[t].Q, S.JQ[t], sizeof jump[t].Q);
    std::memcpy(&jump[t].QS, S.JQS[t], sizeof jump[t].QS);
    std::memcpy(&jump[t].A, S.JA[t], sizeof jump[t].A);
  }
  if (!S.Valid)
    Squares = nullptr;
  const int32_t lx = static_cast<int32_t>(limX - 1), ly = static_cast<int32_t>(limY - 1);
  // Inside for 0 < position < limit, as Bilinear reads.
  const __m256i last = _mm256_setr_epi32(lx, lx, lx, lx, ly, ly, ly, ly);
  const __m256i one = _mm256_set1_epi32(1);
  TSquareRun run{Squares,
                 Squares + SquareStride * Src.Height(),
                 Squares + 2 * SquareStride * Src.Height(),
                 SquareStride,
                 bits,
                 width};
  alignas(32) int32_t at[8];
  // Where a run fails (near edges and details) the next pixels are taken
  // one by one before runs are tried again.
  int32_t singles = 0;
  for (int32_t i = First; i <= Last;) {
    if (Squares && singles == 0 && i + 3 <= Last) {
      // Eight pixels against the 16 x 16 squares, else four against the
      // 10 x 10 ones.
      bool found = false;
      for (int t = i + 7 <= Last ? 0 : 1; t < 2 && !found; ++t) {
        const int32_t size = t == 0 ? 16 : 10, span = t == 0 ? 8 : 4;
        __m256i eEnd = e;
        const __m256i pEnd = Step32(p, eEnd, jump[t == 0 ? 2 : 0]);
        const __m256i lo = Least4(_mm256_min_epi32(p, pEnd));
        const __m256i hi = Greatest4(_mm256_max_epi32(p, pEnd));
        const __m256i ilo = _mm256_srai_epi32(lo, 8);
        // Inside, and the blocks from ilo to ihi + 1 within the square.
        const __m256i bad = _mm256_or_si256(
            _mm256_or_si256(_mm256_cmpgt_epi32(one, lo), _mm256_cmpgt_epi32(hi, last)),
            _mm256_cmpgt_epi32(_mm256_sub_epi32(_mm256_srai_epi32(hi, 8), ilo),
                               _mm256_set1_epi32(size - 2)));
        TColor32 c;
        if (_mm256_movemask_epi8(bad) == 0 &&
            run.Uniform(t == 0 ? run.Huge : run.Large, _mm256_cvtsi256_si32(ilo),
                        _mm_cvtsi128_si32(_mm256_extracti128_si256(ilo, 1)), size, c)) {
          const __m128i four = _mm_set1_epi32(static_cast<int32_t>(c));
          std::memcpy(Out + i, &four, sizeof four);
          if (span == 8)
            std::memcpy(Out + i + 4, &four, sizeof four);
          p = Step32(p, e, jump[t == 0 ? 3 : 1]);
          i += span;
          found = true;
        }
      }
      if (found)
        continue;
      singles = 4;
    }
    const int outside = _mm256_movemask_epi8(
        _mm256_or_si256(_mm256_cmpgt_epi32(one, p), _mm256_cmpgt_epi32(p, last)));
    bool done = false;
    if (outside == 0 && Squares) {
      // Block k starts at (x_k, y_k); all within one of sample 0's start
      // lie in the square from (x_0 - 1, y_0 - 1).
      const __m256i ip = _mm256_srai_epi32(p, 8);
      const __m256i d = _mm256_abs_epi32(_mm256_sub_epi32(ip, _mm256_shuffle_epi32(ip, 0)));
      if (_mm256_movemask_epi8(_mm256_cmpgt_epi32(d, one)) == 0) {
        const int32_t x = _mm256_cvtsi256_si32(ip) - 1;
        const int32_t y = _mm_cvtsi128_si32(_mm256_extracti128_si256(ip, 1)) - 1;
        done = x >= 0 && y >= 0 && run.Uniform(run.Small, x, y, 4, Out[i]);
      }
    }
    if (!done) {
      _mm256_store_si256(reinterpret_cast<__m256i *>(at), p);
      Out[i] = QuadMean(at, outside == 0, bits, width, limX, limY, outer, w);
    }
    p = Step32(p, e, st);
    ++i;
    singles -= singles > 0;
  }
}

// Bit x of row y of Eq: pixel (x, y) equals its neighbour at Step.
__attribute__((target("avx2"))) void EqualNeighbours(uint64_t *Eq, const TColor32 *Row,
                                                     ptrdiff_t Step, int32_t Count) {
  int32_t x = 0;
  for (; x + 8 <= Count; x += 8) {
    __m256i a, b;
    std::memcpy(&a, Row + x, sizeof a);
    std::memcpy(&b, Row + x + Step, sizeof b);
    const uint64_t bits =
        static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(a, b))));
    Eq[x >> 6] |= bits << (x & 63);
  }
  for (; x < Count; ++x)
    if (Row[x] == Row[x + Step])
      Eq[x >> 6] |= uint64_t(1) << (x & 63);
}

// Bit x of each row: the 4 x 4 square from (x, y) holds one colour; then
// the same for the 10 x 10 and the 16 x 16 squares.
__attribute__((target("avx2"))) void UniformSquares(const TBitmap32 &Src,
                                                    std::vector<uint64_t> &Squares, size_t Stride) {
  const int32_t width = Src.Width(), height = Src.Height();
  Squares.assign(3 * Stride * height, 0);
  if (width < 4 || height < 4)
    return;
  // Across: pixel x equals x + 1; down: pixel x equals the one below. The
  // stride keeps a zero word past each row for the shifts below.
  std::vector<uint64_t> across(Stride * height, 0), down(Stride * height, 0);
  for (int32_t y = 0; y < height; ++y) {
    const TColor32 *row = Src.Bits() + static_cast<ptrdiff_t>(y) * width;
    EqualNeighbours(across.data() + Stride * y, row, 1, width - 1);
    if (y + 1 < height)
      EqualNeighbours(down.data() + Stride * y, row, width, width);
  }
  // A row of four from x: x, x + 1 and x + 2 equal their right neighbours.
  for (int32_t y = 0; y < height; ++y) {
    uint64_t *r = across.data() + Stride * y;
    for (size_t j = 0; j + 1 < Stride; ++j)
      r[j] = r[j] & (r[j] >> 1 | r[j + 1] << 63) & (r[j] >> 2 | r[j + 1] << 62);
  }
  for (int32_t y = 0; y + 4 <= height; ++y) {
    const uint64_t *r = across.data() + Stride * y;
    const uint64_t *v = down.data() + Stride * y;
    uint64_t *out = Squares.data() + Stride * y;
    for (size_t j = 0; j + 1 < Stride; ++j)
      out[j] = r[j] & r[j + Stride] & r[j + 2 * Stride] & r[j + 3 * Stride] & v[j] & v[j + Stride] &
               v[j + 2 * Stride];
  } // The 10 x 10 squares: the nine 4 x 4 ones from x, x + 3, x + 6 on rows y,
  // y + 3, y + 6, each overlapping the next.
  const uint64_t *small = Squares.data();
  uint64_t *large = Squares.data() + Stride * height;
  for (int32_t y = 0; y < height; ++y) {
    uint64_t *r = across.data() + Stride * y;
    const uint64_t *q = small + Stride * y;
    for (size_t j = 0; j + 1 < Stride; ++j)
      r[j] = q[j] & (q[j] >> 3 | q[j + 1] << 61) & (q[j] >> 6 | q[j + 1] << 58);
  }
  for (int32_t y = 0; y + 10 <= height; ++y) {
    const uint64_t *r = across.data() + Stride * y;
    for (size_t j = 0; j + 1 < Stride; ++j)
      large[Stride * y + j] = r[j] & r[j + 3 * Stride] & r[j + 6 * Stride];
  }
  // The 16 x 16 squares: the four 10 x 10 ones from x, x + 6 on rows y,
  // y + 6, overlapping.
  uint64_t *huge = large + Stride * height;
  for (int32_t y = 0; y < height; ++y) {
    uint64_t *r = across.data() + Stride * y;
    const uint64_t *q = large + Stride * y;
    for (size_t j = 0; j + 1 < Stride; ++j)
      r[j] = q[j] & (q[j] >> 6 | q[j + 1] << 58);
  }
  for (int32_t y = 0; y + 16 <= height; ++y) {
    const uint64_t *r = across.data() + Stride * y;
    for (size_t j = 0; j + 1 < Stride; ++j)
      huge[Stride * y + j] = r[j] & r[j + 6 * Stride];
  }
}

} // namespace

namespace {

// Four pixels widened to 16-bit lanes.
__attribute__((target("avx2"))) inline __m256i LoadWide(const TColor32 *Q) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(Q)));
}

// AddFixedBilinear four pixels at a time: 16 lanes of 16 bits hold the
// same exact sums as the plain form.
__attribute__((target("avx2"))) void AddFixedBilinearAvx2(uint16_t *Sums, const TColor32 *P,
                                                          int32_t Width, int32_t Count, uint32_t Fx,
                                                          uint32_t Fy) {
  const int16_t gx = static_cast<int16_t>(GammaWeights[255 - Fx]);
  const int16_t gy = static_cast<int16_t>(GammaWeights[255 - Fy]);
  const __m256i wx = _mm256_set1_epi16(gx), wx1 = _mm256_set1_epi16(static_cast<int16_t>(256 - gx));
  const __m256i wy = _mm256_set1_epi16(gy), wy1 = _mm256_set1_epi16(static_cast<int16_t>(256 - gy));

  int32_t i = 0;
  for (; i + 4 <= Count; i += 4) {
    const TColor32 *q = P + i;
    const __m256i t = _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(LoadWide(q), wx),
                                                         _mm256_mullo_epi16(LoadWide(q + 1), wx1)),
                                        8);
    const __m256i b =
        _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(LoadWide(q + Width), wx),
                                           _mm256_mullo_epi16(LoadWide(q + Width + 1), wx1)),
                          8);
    const __m256i c = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(t, wy), _mm256_mullo_epi16(b, wy1)), 8);
    __m256i *s = reinterpret_cast<__m256i *>(Sums + static_cast<size_t>(i) * 4);
    _mm256_storeu_si256(s, _mm256_add_epi16(_mm256_loadu_si256(s), c));
  }
  if (i < Count)
    fsSamplerKernels::AddFixedBilinearPlain(Sums + static_cast<size_t>(i) * 4, P + i, Width,
                                            Count - i, Fx, Fy);
}

} // namespace

void fsSamplerKernels::AddFixedBilinear(uint16_t *Sums, const TColor32 *P, int32_t Width,
                                        int32_t Count, uint32_t Fx, uint32_t Fy) {
  if (Avx2Allowed && __builtin_cpu_supports("avx2"))
    AddFixedBilinearAvx2(Sums, P, Width, Count, Fx, Fy);
  else
    AddFixedBilinearPlain(Sums, P, Width, Count, Fx, Fy);
}

bool TfsMapSampler::QuadSpan(int32_t X, int32_t Y, int32_t Count, int32_t First, int32_t Last) {
  if (!fsSamplerKernels::Avx2Allowed || !__builtin_cpu_supports("avx2"))
    return false;
  const auto &inv = static_cast<const TfsAffineTransform &>(*FInverse);
  TQuadSteps32 steps;
  if (QuadSteps32(inv, X, Y, FOffsets.data(), Count, First, steps)) {
    if (FSquaresWanted && FSquares.empty()) {
      FSquareStride = (static_cast<size_t>(FSource->Width()) + 63) / 64 + 1;
      UniformSquares(*FSource, FSquares, FSquareStride);
    }
    QuadRun32(FSpan.data(), steps, First, Last, *FSource,
              FSquaresWanted ? FSquares.data() : nullptr, FSquareStride);
    return true;
  }
  if (FLattice.size() < static_cast<size_t>(Count) * 8)
    FLattice.resize(static_cast<size_t>(Count) * 8);
  LatticeQuad(static_cast<const TfsAffineTransform &>(*FInverse), X, Y, FOffsets.data(), Count,
              First, Last, FLattice.data());
  QuadMeans(FSpan.data(), FLattice.data(), First, Last, *FSource);
  return true;
}

#else

void fsSamplerKernels::AddFixedBilinear(uint16_t *Sums, const TColor32 *P, int32_t Width,
                                        int32_t Count, uint32_t Fx, uint32_t Fy) {
  AddFixedBilinearPlain(Sums, P, Width, Count, Fx, Fy);
}

// No AVX2 off x86-64.
bool TfsMapSampler::QuadSpan(int32_t, int32_t, int32_t, int32_t, int32_t) {
  return false;
}

#endif

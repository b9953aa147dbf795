#include "raster/fsGR32_Transforms.h"

#include "raster/fsGR32_Transforms_avx2.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>
#include <vector>

namespace {

using fsStretchKernels::BlockMeans16;
using fsStretchKernels::PlainBlockMeans;
using fsStretchKernels::ColumnSums16;
using fsStretchKernels::HorizontalPass;
using fsStretchKernels::PowerOfTwo;
using fsStretchKernels::THorizontalWindows;
using fsStretchKernels::TWindows;
using fsStretchKernels::VerticalPass;
using fsStretchKernels::VerticalWindows;

float SinC(float x) {
  if (x == 0.0f)
    return 1.0f;
  const float px = std::numbers::pi_v<float> * x;
  return std::sin(px) / px;
}

// Writes one row of source colours onto the destination by the draw mode.
class TRowWriter {
public:
  TRowWriter(const TBitmap32 &Src, TDrawMode Mode, const TPixelCombineEvent &Callback)
      : FMode(Mode), FCallback(Callback), FMaster(Src.MasterAlpha()),
        FSpan(BlendSpanProcs[Src.CombineMode()]), FScaled(BlendScaledSpanProcs[Src.CombineMode()]) {
  }

  bool Opaque() const { return FMode == dmOpaque; }

  void Write(const TColor32 *Colours, TColor32 *Dst, int32_t Count) const {
    switch (FMode) {
    case dmOpaque:
      std::memcpy(Dst, Colours, static_cast<size_t>(Count) * sizeof(TColor32));
      break;
    case dmBlend:
      if (FMaster >= 255)
        FSpan(Colours, Dst, Count);
      else
        FScaled(Colours, Dst, Count, FMaster);
      break;
    case dmCustom:
      for (int32_t i = 0; i < Count; ++i)
        FCallback(Colours[i], Dst[i], FMaster);
      break;
    }
  }

private:
  TDrawMode FMode;
  const TPixelCombineEvent &FCallback;
  TColor32 FMaster;
  TBlendSpanProc FSpan;
  TBlendScaledSpanProc FScaled;
};

struct TStretchJob {
  TBitmap32 &Dst;
  const TRect &DstRect;
  const TRect &Clip; // inside DstRect and the destination
  const TBitmap32 &Src;
  const TRect &SrcRect;
  const TRowWriter &Writer;
};

// ---------------------------------------------------------------------------
// Nearest

void StretchNearest(const TStretchJob &J, bool Opaque) {
  auto mapping = [](int32_t dstLen, int32_t srcLo, int32_t srcHi, int32_t from, int32_t to,
                    int32_t dstLo) {
    std::vector<int32_t> m(static_cast<size_t>(to - from));
    const double s = static_cast<double>(srcHi - srcLo) / dstLen;
    for (int32_t i = from; i < to; ++i) {
      int32_t v;
      if (dstLen < 2)
        v = (srcLo + srcHi - 1) / 2;
      else
        v = static_cast<int32_t>(srcLo + (i - dstLo) * s);
      m[i - from] = std::clamp(v, srcLo, srcHi - 1);
    }
    return m;
  };
  const auto cols = mapping(J.DstRect.Width(), J.SrcRect.Left, J.SrcRect.Right, J.Clip.Left,
                            J.Clip.Right, J.DstRect.Left);
  const auto rows = mapping(J.DstRect.Height(), J.SrcRect.Top, J.SrcRect.Bottom, J.Clip.Top,
                            J.Clip.Bottom, J.DstRect.Top);
  const int32_t w = J.Clip.Width();
  std::vector<TColor32> buf(static_cast<size_t>(w));
  for (int32_t y = J.Clip.Top; y < J.Clip.Bottom; ++y) {
    const int32_t sy = rows[y - J.Clip.Top];
    TColor32 *dst = J.Dst.PixelPtr(J.Clip.Left, y);
    if (Opaque && y > J.Clip.Top && rows[y - 1 - J.Clip.Top] == sy) {
      std::memcpy(dst, J.Dst.PixelPtr(J.Clip.Left, y - 1), static_cast<size_t>(w) * 4);
      continue;
    }
    const TColor32 *src = J.Src.ScanLine(sy);
    for (int32_t i = 0; i < w; ++i)
      buf[i] = src[cols[i]];
    J.Writer.Write(buf.data(), dst, w);
  }
}

// ---------------------------------------------------------------------------
// Draft shrinking: block means

// Block starts (Count + 1 entries, absolute source positions) of the
// destination pixels from ClipOffset on. The boundaries are those of the
// whole transfer, so that a clipped redraw shows the same pixels.
std::vector<int32_t> DraftBlocks(int32_t DstLen, int32_t SrcLo, int32_t SrcHi, int32_t ClipOffset,
                                 int32_t Count) {
  const double s = static_cast<double>(SrcHi - SrcLo) / DstLen;
  const int64_t S = static_cast<int64_t>(s * 65536.0);
  std::vector<int32_t> b(static_cast<size_t>(Count) + 1);
  for (int32_t i = 0; i <= Count; ++i) {
    const int64_t k = static_cast<int64_t>(ClipOffset) + i;
    const int64_t bk = k == 0 ? 0 : (k == 1 ? static_cast<int64_t>(s) : (k * S) >> 16);
    b[i] = static_cast<int32_t>(std::clamp<int64_t>(SrcLo + bk, SrcLo, SrcHi));
  }
  // Every block keeps at least one pixel, even where rounding ran out of
  // source at the far end.
  for (int32_t k = Count - 1; k >= 0; --k)
    if (b[k] >= b[k + 1])
      b[k] = b[k + 1] - 1;
  return b;
}

// One destination row of block means: source rows RowLo..RowHi - 1, the
// blocks between Cols[x] and Cols[x + 1] (Count + 1 entries).
class TBlockAverager {
public:
  TBlockAverager(const int32_t *Cols, int32_t Count) : FCols(Cols), FCount(Count) {
    FUniformWidth = Count > 0 ? Cols[1] - Cols[0] : 0;
    for (int32_t x = 0; x < Count; ++x) {
      FMaxWidth = std::max(FMaxWidth, Cols[x + 1] - Cols[x]);
      if (Cols[x + 1] - Cols[x] != FUniformWidth)
        FUniformWidth = 0;
    }
    FLanes = static_cast<size_t>(Cols[Count] - Cols[0]) * 4;
  }

  void Row(TColor32 *Out, const TBitmap32 &Src, int32_t RowLo, int32_t RowHi) {
    const int32_t c0 = FCols[0];
    const int64_t h = RowHi - RowLo;
    if (h <= 257 && h * FMaxWidth <= (int64_t(1) << 24)) {
      FSums16.resize(FLanes);
      for (int32_t sy = RowLo; sy < RowHi; ++sy)
        ColumnSums16(FSums16.data(), reinterpret_cast<const uint8_t *>(Src.PixelPtr(c0, sy)),
                     FLanes, sy == RowLo);
      BlockMeans16(Out, FCols, FCount, c0, FSums16.data(), static_cast<uint64_t>(h), FUniformWidth);
      return;
    }
    FSums.assign(FLanes, 0);
    for (int32_t sy = RowLo; sy < RowHi; ++sy) {
      const uint8_t *src = reinterpret_cast<const uint8_t *>(Src.PixelPtr(c0, sy));
      uint32_t *s = FSums.data();
      for (size_t k = 0; k < FLanes; ++k)
        s[k] += src[k];
    }
    PlainBlockMeans(Out, FCols, FCount, c0, FSums.data(), static_cast<uint64_t>(h));
  }

private:
  const int32_t *FCols;
  int32_t FCount;
  int32_t FMaxWidth = 0;
  int32_t FUniformWidth = 0; // 0 when the blocks differ
  size_t FLanes = 0;
  std::vector<uint16_t> FSums16;
  std::vector<uint32_t> FSums;
};

void StretchDraftShrink(const TStretchJob &J) {
  const int32_t w = J.Clip.Width();
  const int32_t h = J.Clip.Height();
  const auto cols = DraftBlocks(J.DstRect.Width(), J.SrcRect.Left, J.SrcRect.Right,
                                J.Clip.Left - J.DstRect.Left, w);
  const auto rows = DraftBlocks(J.DstRect.Height(), J.SrcRect.Top, J.SrcRect.Bottom,
                                J.Clip.Top - J.DstRect.Top, h);
  TBlockAverager averager(cols.data(), w);
  std::vector<TColor32> buf(static_cast<size_t>(w));
  for (int32_t y = 0; y < h; ++y) {
    averager.Row(buf.data(), J.Src, rows[y], rows[y + 1]);
    J.Writer.Write(buf.data(), J.Dst.PixelPtr(J.Clip.Left, J.Clip.Top + y), w);
  }
}

// ---------------------------------------------------------------------------
// Bilinear enlargement

struct TLinearTap {
  int32_t P;  // source position
  uint32_t W; // weight of P; P + 1 gets 256 - W
};

std::vector<TLinearTap> LinearTaps(int32_t DstLen, int32_t SrcLo, int32_t SrcHi, int32_t From,
                                   int32_t To, int32_t DstLo) {
  const double s = static_cast<double>(SrcHi - SrcLo) / DstLen;
  std::vector<TLinearTap> taps(static_cast<size_t>(To - From));
  for (int32_t i = From; i < To; ++i) {
    const double x = std::clamp((i - DstLo + 0.5) * s + SrcLo - 0.5, static_cast<double>(SrcLo),
                                static_cast<double>(SrcHi - 1));
    int32_t p = static_cast<int32_t>(std::floor(x));
    int32_t w = 256 - static_cast<int32_t>(std::lrint((x - p) * 256.0));
    if (p + 1 >= SrcHi) {
      p = SrcHi - 2;
      w = 0;
    }
    taps[i - From] = {p, static_cast<uint32_t>(w)};
  }
  return taps;
}

// One lane mix a * w + b * (256 - w) >> 8. The true sum stays below 65536,
// so 16-bit arithmetic holds it exactly and the loops vectorise wide.
inline uint8_t MixByte(uint16_t a, uint16_t b, uint16_t w, uint16_t w2) {
  return static_cast<uint8_t>(
      static_cast<uint16_t>(static_cast<uint16_t>(a * w) + static_cast<uint16_t>(b * w2)) >> 8);
}

void StretchBilinear(const TStretchJob &J) {
  const int32_t w = J.Clip.Width();
  const size_t lanes = static_cast<size_t>(w) * 4;
  const auto cols = LinearTaps(J.DstRect.Width(), J.SrcRect.Left, J.SrcRect.Right, J.Clip.Left,
                               J.Clip.Right, J.DstRect.Left);
  const auto rows = LinearTaps(J.DstRect.Height(), J.SrcRect.Top, J.SrcRect.Bottom, J.Clip.Top,
                               J.Clip.Bottom, J.DstRect.Top);
  // The horizontally mixed source rows q and q + 1, kept while q repeats.
  std::vector<uint16_t> upper(lanes), lower(lanes);
  int32_t cachedUpper = -1, cachedLower = -1;
  auto mixRow = [&](int32_t sy, std::vector<uint16_t> &out) {
    const uint8_t *src = reinterpret_cast<const uint8_t *>(J.Src.ScanLine(sy));
    for (int32_t i = 0; i < w; ++i) {
      const TLinearTap &t = cols[i];
      const uint8_t *a = src + static_cast<size_t>(t.P) * 4;
      const uint16_t wa = static_cast<uint16_t>(t.W), wb = static_cast<uint16_t>(256 - t.W);
      for (int l = 0; l < 4; ++l)
        out[static_cast<size_t>(i) * 4 + l] = MixByte(a[l], a[4 + l], wa, wb);
    }
  };
  std::vector<TColor32> buf(static_cast<size_t>(w));
  for (int32_t y = J.Clip.Top; y < J.Clip.Bottom; ++y) {
    const TLinearTap &r = rows[y - J.Clip.Top];
    if (cachedUpper != r.P) {
      if (cachedLower == r.P) {
        std::swap(upper, lower);
        cachedUpper = r.P;
        cachedLower = -1;
      } else {
        mixRow(r.P, upper);
        cachedUpper = r.P;
      }
    }
    if (cachedLower != r.P + 1) {
      mixRow(r.P + 1, lower);
      cachedLower = r.P + 1;
    }
    const uint16_t wa = static_cast<uint16_t>(r.W), wb = static_cast<uint16_t>(256 - r.W);
    uint8_t *out = reinterpret_cast<uint8_t *>(buf.data());
    const uint16_t *u = upper.data();
    const uint16_t *d = lower.data();
    for (size_t l = 0; l < lanes; ++l)
      out[l] = MixByte(u[l], d[l], wa, wb);
    J.Writer.Write(buf.data(), J.Dst.PixelPtr(J.Clip.Left, y), w);
  }
}

// ---------------------------------------------------------------------------
// General resampler

struct TWeights {
  std::vector<int32_t> Start; // per destination pixel, into Pos/W; one extra
  std::vector<int32_t> Pos;
  std::vector<int32_t> W;
  int32_t MinPos = 0;
  int32_t MaxPos = 0;
};

TWeights BuildWeights(TStretchFilter Filter, int32_t DstLen, int32_t SrcLo, int32_t SrcHi,
                      int32_t From, int32_t To, int32_t DstLo) {
  TWeights t;
  const int32_t srcLen = SrcHi - SrcLo;
  const double sc = static_cast<double>(DstLen) / srcLen; // s'
  const float scf = static_cast<float>(sc);
  const int32_t r = StretchKernelRadius(Filter);
  t.Start.reserve(static_cast<size_t>(To - From) + 1);
  for (int32_t i = From; i < To; ++i) {
    t.Start.push_back(static_cast<int32_t>(t.Pos.size()));
    const size_t first = t.Pos.size();
    if (srcLen == 1) {
      t.Pos.push_back(SrcLo);
      t.W.push_back(256);
      continue;
    }
    const double c = (i - DstLo + 0.5) / sc + SrcLo - 0.5;
    if (sc >= 1) {
      for (int64_t j = static_cast<int64_t>(std::floor(c - r)); j <= std::ceil(c + r); ++j) {
        const float k = StretchKernel(Filter, static_cast<float>(c - j));
        const int32_t w = static_cast<int32_t>(std::lrint(k * 256.0f));
        if (w != 0) {
          t.Pos.push_back(static_cast<int32_t>(std::clamp<int64_t>(j, SrcLo, SrcHi - 1)));
          t.W.push_back(w);
        }
      }
    } else {
      const double reach = r / sc;
      for (int64_t j = static_cast<int64_t>(std::floor(c - reach)); j <= std::ceil(c + reach);
           ++j) {
        const float k = StretchKernel(Filter, static_cast<float>((c - j) * sc));
        const int32_t w = static_cast<int32_t>(std::lrint(scf * k * 256.0f));
        if (w != 0) {
          t.Pos.push_back(static_cast<int32_t>(std::clamp<int64_t>(j, SrcLo, SrcHi - 1)));
          t.W.push_back(w);
        }
      }
      if (t.Pos.size() == first) {
        t.Pos.push_back(std::clamp(static_cast<int32_t>(std::floor(c)), SrcLo, SrcHi - 1));
        t.W.push_back(256);
      }
    }
    if (t.Pos.size() == first) {
      // Only an enlarging kernel that vanished everywhere gets here.
      t.Pos.push_back(std::clamp(static_cast<int32_t>(std::floor(c + 0.5)), SrcLo, SrcHi - 1));
      t.W.push_back(256);
    }
    const size_t count = t.Pos.size() - first;
    int32_t sum = 0;
    for (size_t k = first; k < t.Pos.size(); ++k)
      sum += t.W[k];
    t.W[first + (count - 1) / 2] -= sum - 256;
  }
  t.Start.push_back(static_cast<int32_t>(t.Pos.size()));
  t.MinPos = *std::min_element(t.Pos.begin(), t.Pos.end());
  t.MaxPos = *std::max_element(t.Pos.begin(), t.Pos.end());
  return t;
}

// ---------------------------------------------------------------------------
// Kernel resampling with weights in 0..256, the common case of every kernel
// without negative lobes. Each weight set sums to 256, so any partial sum of
// weight x channel stays below 65536 and 16-bit lanes hold it exactly. The
// horizontal pass runs first, once per source row, and the exact total is
// the same in either order.

bool MakeWindows(const TWeights &T, int32_t SrcLo, int32_t SrcHi, int32_t Multiple, TWindows &Out) {
  const size_t count = T.Start.size() - 1;
  int32_t taps = 1;
  uint32_t g = 0;
  for (size_t x = 0; x < count; ++x) {
    int32_t lo = T.Pos[T.Start[x]], hi = lo;
    for (int32_t k = T.Start[x]; k < T.Start[x + 1]; ++k) {
      if (T.W[k] < 0 || T.W[k] > 256)
        return false;
      lo = std::min(lo, T.Pos[k]);
      hi = std::max(hi, T.Pos[k]);
      g = std::gcd(g, static_cast<uint32_t>(T.W[k]));
    }
    taps = std::max(taps, hi - lo + 1);
  }
  taps = (taps + Multiple - 1) / Multiple * Multiple;
  if (taps > SrcHi - SrcLo || g == 0)
    return false;
  Out.Taps = taps;
  Out.Divisor = g;
  Out.Start.resize(count);
  Out.W.assign(count * static_cast<size_t>(taps), 0);
  for (size_t x = 0; x < count; ++x) {
    int32_t lo = T.Pos[T.Start[x]];
    for (int32_t k = T.Start[x]; k < T.Start[x + 1]; ++k)
      lo = std::min(lo, T.Pos[k]);
    lo = std::min(lo, SrcHi - taps);
    Out.Start[x] = lo;
    for (int32_t k = T.Start[x]; k < T.Start[x + 1]; ++k)
      Out.W[x * taps + (T.Pos[k] - lo)] += static_cast<uint16_t>(T.W[k]);
  }
  return true;
}

void Divide(TWindows &T) {
  for (uint16_t &w : T.W)
    w = static_cast<uint16_t>(w / T.Divisor);
}

// False when the weights do not allow it; then nothing is drawn.
bool StretchWindows(const TStretchJob &J, const TWeights &Cols, const TWeights &Rows) {
  TWindows cw, rw;
  if (!MakeWindows(Cols, J.SrcRect.Left, J.SrcRect.Right, 4, cw) &&
      !MakeWindows(Cols, J.SrcRect.Left, J.SrcRect.Right, 2, cw))
    return false;
  if (!MakeWindows(Rows, J.SrcRect.Top, J.SrcRect.Bottom, 1, rw))
    return false;
  const uint32_t product = cw.Divisor * rw.Divisor;
  int shift = -1;
  if (PowerOfTwo(product) && product >= 256) {
    shift = 16 - std::countr_zero(product);
    Divide(cw);
    Divide(rw);
  }
  const int32_t w = J.Clip.Width();
  const THorizontalWindows horizontal(cw, shift >= 0);
  // The horizontal sums of the last source rows, slot = row mod taps: the
  // windows only move down, so the rows of one window never share a slot.
  const size_t lanes = static_cast<size_t>(w) * 4;
  const int32_t slots = rw.Taps;
  std::vector<uint16_t> cache(lanes * static_cast<size_t>(slots));
  std::vector<int32_t> cached(static_cast<size_t>(slots), -1);
  std::vector<const uint16_t *> rows(static_cast<size_t>(slots));
  std::vector<TColor32> buf(static_cast<size_t>(w));
  for (int32_t y = J.Clip.Top; y < J.Clip.Bottom; ++y) {
    const int32_t ry = y - J.Clip.Top;
    const int32_t top = rw.Start[ry];
    for (int32_t t = 0; t < rw.Taps; ++t) {
      const int32_t sy = top + t;
      const int32_t slot = sy % slots;
      uint16_t *h = cache.data() + lanes * static_cast<size_t>(slot);
      if (cached[slot] != sy) {
        horizontal.Row(h, reinterpret_cast<const uint8_t *>(J.Src.ScanLine(sy)),
                       reinterpret_cast<const uint8_t *>(
                           J.Src.ScanLine(std::min(sy + 1, J.SrcRect.Bottom - 1))));
        cached[slot] = sy;
      }
      rows[t] = h;
    }
    TColor32 *dst = J.Dst.PixelPtr(J.Clip.Left, y);
    const bool direct = J.Writer.Opaque();
    VerticalWindows(reinterpret_cast<uint8_t *>(direct ? dst : buf.data()), lanes, rows.data(),
                    rw.W.data() + static_cast<size_t>(ry) * rw.Taps, rw.Taps, shift);
    if (!direct)
      J.Writer.Write(buf.data(), dst, w);
  }
  return true;
}

void StretchGeneral(const TStretchJob &J, TStretchFilter Filter) {
  const int32_t w = J.Clip.Width();
  const TWeights cols = BuildWeights(Filter, J.DstRect.Width(), J.SrcRect.Left, J.SrcRect.Right,
                                     J.Clip.Left, J.Clip.Right, J.DstRect.Left);
  const TWeights rows = BuildWeights(Filter, J.DstRect.Height(), J.SrcRect.Top, J.SrcRect.Bottom,
                                     J.Clip.Top, J.Clip.Bottom, J.DstRect.Top);
  if (StretchWindows(J, cols, rows))
    return;
  const int32_t c0 = cols.MinPos;
  const size_t lanes = static_cast<size_t>(cols.MaxPos - c0 + 1) * 4;
  std::vector<int32_t> offsets(cols.Pos.size());
  for (size_t k = 0; k < offsets.size(); ++k)
    offsets[k] = (cols.Pos[k] - c0) * 4;
  std::vector<int32_t> vsum(lanes);
  std::vector<const uint8_t *> srcRows;
  std::vector<TColor32> buf(static_cast<size_t>(w));
  for (int32_t y = J.Clip.Top; y < J.Clip.Bottom; ++y) {
    const int32_t ry = y - J.Clip.Top;
    const int32_t k0 = rows.Start[ry], k1 = rows.Start[ry + 1];
    srcRows.clear();
    for (int32_t k = k0; k < k1; ++k)
      srcRows.push_back(reinterpret_cast<const uint8_t *>(J.Src.PixelPtr(c0, rows.Pos[k])));
    VerticalPass(vsum.data(), lanes, srcRows.data(), rows.W.data() + k0, k1 - k0);
    HorizontalPass(buf.data(), w, vsum.data(), cols.Start.data(), offsets.data(), cols.W.data());
    J.Writer.Write(buf.data(), J.Dst.PixelPtr(J.Clip.Left, y), w);
  }
}

bool SourceRectValid(const TBitmap32 &Src, const TRect &R) {
  return R.Left >= 0 && R.Top >= 0 && R.Right <= Src.Width() && R.Bottom <= Src.Height();
}

} // namespace

// ---------------------------------------------------------------------------

float StretchKernel(TStretchFilter Filter, float X) {
  const float t = std::fabs(X);
  switch (Filter) {
  case sfNearest:
    return (X > -0.5f && X <= 0.5f) ? 1.0f : 0.0f;
  case sfDraft:
  case sfLinear:
    return t < 1.0f ? 1.0f - t : 0.0f;
  case sfCosine:
    return t < 1.0f ? (std::cos(std::numbers::pi_v<float> * X) + 1.0f) / 2.0f : 0.0f;
  case sfSpline:
    if (t < 1.0f)
      return 0.5f * t * t * t - t * t + 2.0f / 3.0f;
    if (t < 2.0f)
      return (2.0f - t) * (2.0f - t) * (2.0f - t) / 6.0f;
    return 0.0f;
  case sfLanczos:
    return t < 3.0f ? SinC(t) * SinC(t / 3.0f) : 0.0f;
  case sfMitchell:
    if (t < 1.0f)
      return (7.0f * t * t * t - 12.0f * t * t + 16.0f / 3.0f) / 6.0f;
    if (t < 2.0f)
      return (-7.0f / 3.0f * t * t * t + 12.0f * t * t - 20.0f * t + 32.0f / 3.0f) / 6.0f;
    return 0.0f;
  }
  return 0.0f;
}

int32_t StretchKernelRadius(TStretchFilter Filter) {
  switch (Filter) {
  case sfSpline:
  case sfMitchell:
    return 2;
  case sfLanczos:
    return 3;
  default:
    return 1;
  }
}

void TransferStretched(TBitmap32 &Dst, const TRect &DstRect, const TRect &DstClip,
                       const TBitmap32 &Src, const TRect &SrcRect, TStretchFilter Filter,
                       TDrawMode Mode, const TPixelCombineEvent &CombineCallback) {
  if (Src.IsBlank())
    return;
  if (Dst.IsBlank())
    throw EBitmapTransferError("Destination bitmap is nil or empty");
  if (IsRectEmpty(SrcRect))
    return;
  if (!SourceRectValid(Src, SrcRect))
    throw EBitmapTransferError("Source rectangle is invalid");
  TRect clip;
  if (!IntersectRect(clip, DstClip, Dst.BoundsRect()) || !IntersectRect(clip, clip, DstRect))
    return;
  if (Mode == dmCustom && !CombineCallback)
    Mode = dmOpaque;
  if (Mode == dmBlend && Src.MasterAlpha() == 0)
    return;
  const TRowWriter writer(Src, Mode, CombineCallback);
  const TStretchJob job{Dst, DstRect, clip, Src, SrcRect, writer};
  const int32_t dw = DstRect.Width(), dh = DstRect.Height();
  const int32_t sw = SrcRect.Width(), sh = SrcRect.Height();
  if (dw == sw && dh == sh) {
    const int32_t sx = SrcRect.Left + clip.Left - DstRect.Left;
    for (int32_t y = clip.Top; y < clip.Bottom; ++y)
      writer.Write(Src.PixelPtr(sx, SrcRect.Top + y - DstRect.Top), Dst.PixelPtr(clip.Left, y),
                   clip.Width());
    return;
  }
  switch (Filter) {
  case sfNearest:
    StretchNearest(job, Mode == dmOpaque);
    break;
  case sfDraft:
    if (dw > sw || dh > sh) {
      if (sw < 2 || sh < 2)
        StretchGeneral(job, sfLinear);
      else
        StretchBilinear(job);
    } else {
      StretchDraftShrink(job);
    }
    break;
  case sfLinear:
    if (dw > sw && dh > sh && sw > 1 && sh > 1)
      StretchBilinear(job);
    else
      StretchGeneral(job, sfLinear);
    break;
  default:
    StretchGeneral(job, Filter);
    break;
  }
}

void TBitmap32::DrawOnto(TBitmap32 &Dst, const TRect &DstRect) {
  DrawOnto(Dst, DstRect, BoundsRect());
}

void TBitmap32::DrawOnto(TBitmap32 &Dst, const TRect &DstRect, const TRect &SrcRect) {
  if (IsBlank() || Dst.IsBlank())
    return;
  TransferStretched(Dst, DstRect, Dst.ClipBox(), *this, SrcRect, FStretchFilter, FDrawMode,
                    OnPixelCombine);
  Dst.Changed();
}

void DrawOntoAveraged(TBitmap32 &Dst, const TRect &DstRect, const TBitmap32 &Src,
                      const TRect &SrcRect, TStretchFilter Filter, TDrawMode Mode) {
  if (Src.IsBlank() || Dst.IsBlank() || IsRectEmpty(SrcRect))
    return;
  if (!SourceRectValid(Src, SrcRect))
    throw EBitmapTransferError("Source rectangle is invalid");
  const int32_t sw = SrcRect.Width(), sh = SrcRect.Height();
  const int32_t dw = DstRect.Width(), dh = DstRect.Height();
  if (!(sw >= dw && sh >= dh && Filter == sfLinear && Mode == dmOpaque)) {
    TransferStretched(Dst, DstRect, Dst.BoundsRect(), Src, SrcRect, Filter, Mode,
                      Src.OnPixelCombine);
    Dst.Changed();
    return;
  }
  TRect clip;
  if (IsRectEmpty(DstRect) || !IntersectRect(clip, DstRect, Dst.BoundsRect()))
    return;
  // Source blocks spread as evenly as whole pixels allow.
  auto blocks = [](int32_t srcLen, int32_t dstLen, int32_t srcLo) {
    std::vector<int32_t> b(static_cast<size_t>(dstLen) + 1);
    const int32_t base = srcLen / dstLen;
    const int64_t extra = srcLen - static_cast<int64_t>(dstLen) * base;
    int64_t acc = 0;
    int32_t pos = srcLo;
    for (int32_t i = 0; i < dstLen; ++i) {
      b[i] = pos;
      int32_t n = base;
      acc += extra;
      if (acc >= dstLen) {
        ++n;
        acc -= dstLen;
      }
      pos += n;
    }
    b[dstLen] = pos;
    return b;
  };
  const auto cols = blocks(sw, dw, SrcRect.Left);
  const auto rows = blocks(sh, dh, SrcRect.Top);
  const int32_t x0 = clip.Left - DstRect.Left, x1 = clip.Right - DstRect.Left;
  TBlockAverager averager(cols.data() + x0, x1 - x0);
  TUpdateScope bracket(Dst, true);
  for (int32_t y = clip.Top; y < clip.Bottom; ++y) {
    const int32_t ry = y - DstRect.Top;
    averager.Row(Dst.PixelPtr(clip.Left, y), Src, rows[ry], rows[ry + 1]);
  }
}

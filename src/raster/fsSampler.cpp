#include "raster/fsSampler.h"

#include "raster/fsSampler_avx2.h"

#include <algorithm>
#include <cmath>
#include <limits>

using fsSamplerKernels::AddFixedBilinear;
using fsSamplerKernels::Bilinear;
using fsSamplerKernels::TInt128;
using fsSamplerKernels::To248;

void TfsSampler::SetTransform(const TfsTransform *Transform) {
  FTransform = Transform;
  FInverse.reset();
  FSingular = true;
  if (!Transform)
    return;
  FInverse = Transform->Clone();
  if (Transform->IsAffine()) {
    const auto &a = static_cast<const TfsAffineTransform &>(*Transform);
    FSingular = a.IsSingular();
  } else {
    FSingular = false;
  }
  FInverse->Invert();
}

TfsMapSampler::TfsMapSampler() {
  FFactor = 0;
  FSamples = 0;
  SetOversampling(2);
}

void TfsMapSampler::SetOversampling(int32_t N) {
  if (static_cast<int64_t>(N) * N == FSamples)
    return;
  if (N < 1 || N > 6)
    throw ESamplerError("Illegal oversampling value");
  FFactor = N;
  FSamples = N * N;
  FOffsets.clear();
  if (N > 1)
    for (int32_t j = 0; j < N; ++j)
      for (int32_t i = 0; i < N; ++i)
        FOffsets.push_back({(i + 0.5f) / N - 0.5f, (j + 0.5f) / N - 0.5f});
}

void TfsMapSampler::SampleRow(int32_t X, int32_t Y, int32_t Count, int32_t First, int32_t Last,
                              double Ox, double Oy, TColor32 *Out) {
  const TBitmap32 &src = *FSource;
  const int32_t width = src.Width();
  const int64_t limX = static_cast<int64_t>(width - 1) * 256;
  const int64_t limY = static_cast<int64_t>(src.Height() - 1) * 256;
  const TColor32 *bits = src.Bits();
  const TColor32 outer = src.OuterColor();
  const double cy = Y + 0.5 + Oy;
  if (FInverse->IsAffine()) {
    const auto &inv = static_cast<const TfsAffineTransform &>(*FInverse);
    double u0, v0, u1, v1;
    inv.Transform(X + 0.5 + Ox, cy, u0, v0);
    int64_t U = To248(u0);
    int64_t V = To248(v0);
    if (Count == 1) {
      Out[0] = Bilinear(bits, width, limX, limY, outer, U, V);
      return;
    }
    inv.Transform(X + Count - 1 + 0.5 + Ox, cy, u1, v1);
    // The differences are spread over the steps exactly, so every sample
    // lands on the lattice the per-pixel computation would give. After i
    // steps the spread has added q * i + sign * floor(i * |r| / n).
    const int64_t n = Count - 1;
    const int64_t du = To248(u1) - U;
    const int64_t dv = To248(v1) - V;
    const int64_t qu = du / n, ru = du % n, qv = dv / n, rv = dv % n;
    const int64_t su = ru < 0 ? -1 : 1, sv = rv < 0 ? -1 : 1;
    const int64_t au = ru * su, av = rv * sv;
    int64_t eu = 0, ev = 0;
    if (First > 0) {
      const TInt128 f = First;
      U += qu * First + su * static_cast<int64_t>(f * au / n);
      V += qv * First + sv * static_cast<int64_t>(f * av / n);
      eu = static_cast<int64_t>(f * au % n);
      ev = static_cast<int64_t>(f * av % n);
    }
    for (int32_t i = First; i <= Last; ++i) {
      Out[i] = Bilinear(bits, width, limX, limY, outer, U, V);
      U += qu;
      eu += au;
      if (eu >= n) {
        U += su;
        eu -= n;
      }
      V += qv;
      ev += av;
      if (ev >= n) {
        V += sv;
        ev -= n;
      }
    }
  } else {
    for (int32_t i = First; i <= Last; ++i) {
      TFloatPoint p;
      FInverse->TransformPoint({static_cast<float>(X + i + 0.5 + Ox), static_cast<float>(cy)}, p);
      Out[i] = Bilinear(bits, width, limX, limY, outer, To248(p.X), To248(p.Y));
    }
  }
}

void TfsMapSampler::GetSpan(int32_t X, int32_t Y, int32_t Count) {
  if (Count > 0)
    SpanRange(X, Y, Count, 0, Count - 1);
}

void TfsMapSampler::SpanRange(int32_t X, int32_t Y, int32_t Count, int32_t First, int32_t Last) {
  if (FSpan.size() < static_cast<size_t>(Count))
    FSpan.resize(Count);
  if (!FSource || FSource->IsBlank() || !FInverse || FSingular) {
    std::fill(FSpan.begin() + First, FSpan.begin() + Last + 1, FSource ? FSource->OuterColor() : 0);
    return;
  }
  if (FInverse->IsAffine() && ShiftSpan(X, Y, Count, First, Last))
    return;
  if (FSamples <= 1) {
    SampleRow(X, Y, Count, First, Last, 0, 0, FSpan.data());
    return;
  }
  if (FSamples == 4 && FInverse->IsAffine() && QuadSpan(X, Y, Count, First, Last))
    return;
  const size_t lanes = static_cast<size_t>(Count) * 4;
  if (FSums.size() < lanes)
    FSums.resize(lanes);
  if (FSampleRow.size() < static_cast<size_t>(Count))
    FSampleRow.resize(Count);
  const size_t l0 = static_cast<size_t>(First) * 4, l1 = static_cast<size_t>(Last + 1) * 4;
  std::fill(FSums.begin() + l0, FSums.begin() + l1, 0);
  // 36 samples of 255 stay below 65536: 16-bit lane sums, a loop that
  // vectorises.
  uint16_t *sums = FSums.data();
  for (const TFloatPoint &o : FOffsets) {
    SampleRow(X, Y, Count, First, Last, o.X, o.Y, FSampleRow.data());
    const uint8_t *b = reinterpret_cast<const uint8_t *>(FSampleRow.data());
    for (size_t l = l0; l < l1; ++l)
      sums[l] = static_cast<uint16_t>(sums[l] + b[l]);
  }
  uint8_t *out = reinterpret_cast<uint8_t *>(FSpan.data());
  if (FSamples == 4) {
    for (size_t l = l0; l < l1; ++l)
      out[l] = static_cast<uint8_t>(sums[l] >> 2);
  } else {
    const uint16_t n = static_cast<uint16_t>(FSamples);
    for (size_t l = l0; l < l1; ++l)
      out[l] = static_cast<uint8_t>(sums[l] / n);
  }
}

bool TfsMapSampler::ShiftSpan(int32_t X, int32_t Y, int32_t Count, int32_t First, int32_t Last) {
  const auto &inv = static_cast<const TfsAffineTransform &>(*FInverse);
  const TFloatPoint centre{0, 0};
  const TFloatPoint *offsets = FSamples <= 1 ? &centre : FOffsets.data();
  const int32_t samples = std::max(FSamples, 1);
  int64_t U[36], V[36];
  for (int32_t k = 0; k < samples; ++k) {
    // The lattice SampleRow steps along: the first and last centres.
    const double ox = offsets[k].X, cy = Y + 0.5 + offsets[k].Y;
    double u0, v0, u1, v1;
    inv.Transform(X + 0.5 + ox, cy, u0, v0);
    U[k] = To248(u0);
    V[k] = To248(v0);
    if (Count > 1) {
      inv.Transform(X + Count - 1 + 0.5 + ox, cy, u1, v1);
      if (To248(u1) - U[k] != static_cast<int64_t>(Count - 1) * 256 || To248(v1) != V[k])
        return false;
    }
    if (std::abs(U[k]) > (int64_t(1) << 40) || std::abs(V[k]) > (int64_t(1) << 40))
      return false;
  }
  const TBitmap32 &src = *FSource;
  const int32_t width = src.Width();
  const int64_t limX = static_cast<int64_t>(width - 1) * 256;
  const int64_t limY = static_cast<int64_t>(src.Height() - 1) * 256;
  const TColor32 outer = src.OuterColor();
  const size_t lanes = static_cast<size_t>(Count) * 4;
  if (FSums.size() < lanes)
    FSums.resize(lanes);
  uint16_t *sums = FSums.data();
  std::fill(sums + static_cast<size_t>(First) * 4, sums + static_cast<size_t>(Last + 1) * 4, 0);
  auto floorDiv = [](int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
  };
  for (int32_t k = 0; k < samples; ++k) {
    // Pixel i reads at (U + 256 i, V): inside for 0 < U + 256 i < limX.
    int64_t lo = Last + 1, hi = Last;
    if (V[k] > 0 && V[k] < limY) {
      lo = std::max<int64_t>(First, floorDiv(-U[k], 256) + 1);
      hi = std::min<int64_t>(Last, floorDiv(limX - U[k] - 1, 256));
      if (lo > hi)
        lo = Last + 1, hi = Last;
    }
    auto addOuter = [&](int64_t a, int64_t b) {
      for (int64_t i = a; i <= b; ++i)
        for (int l = 0; l < 4; ++l)
          sums[i * 4 + l] = static_cast<uint16_t>(sums[i * 4 + l] + ((outer >> (8 * l)) & 255));
    };
    addOuter(First, std::min<int64_t>(lo, Last + 1) - 1);
    if (lo <= hi) {
      const int64_t x = (U[k] >> 8) + lo, y = V[k] >> 8;
      AddFixedBilinear(sums + lo * 4, src.Bits() + x + y * width, width,
                       static_cast<int32_t>(hi - lo + 1), static_cast<uint32_t>(U[k] & 255),
                       static_cast<uint32_t>(V[k] & 255));
      addOuter(hi + 1, Last);
    }
  }
  uint8_t *out = reinterpret_cast<uint8_t *>(FSpan.data());
  const size_t l0 = static_cast<size_t>(First) * 4, l1 = static_cast<size_t>(Last + 1) * 4;
  if (samples == 1) {
    for (size_t l = l0; l < l1; ++l)
      out[l] = static_cast<uint8_t>(sums[l]);
  } else if (samples == 4) {
    for (size_t l = l0; l < l1; ++l)
      out[l] = static_cast<uint8_t>(sums[l] >> 2);
  } else {
    const uint16_t n = static_cast<uint16_t>(samples);
    for (size_t l = l0; l < l1; ++l)
      out[l] = static_cast<uint8_t>(sums[l] / n);
  }
  return true;
}

// The pixels of the span from X that may have a sample inside the source's
// interior lattice: a range a little wider than the exact one, in which
// every sample is still taken on the lattice of the whole span.
bool TfsMapSampler::InsideRange(int32_t X, int32_t Y, int32_t Count, int32_t &First,
                                int32_t &Last) const {
  First = 0;
  Last = Count - 1;
  if (!FInverse->IsAffine())
    return true;
  const auto &inv = static_cast<const TfsAffineTransform &>(*FInverse);
  const double limX = FSource->Width() - 1.0;
  const double limY = FSource->Height() - 1.0;
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  const std::vector<TFloatPoint> centre = {{0, 0}};
  for (const TFloatPoint &o : FOffsets.empty() ? centre : FOffsets) {
    // u(i) = u0 + i * du on the sample row, likewise v.
    double u0, v0, u1, v1;
    inv.Transform(X + 0.5 + o.X, Y + 0.5 + o.Y, u0, v0);
    inv.Transform(X + 1.5 + o.X, Y + 0.5 + o.Y, u1, v1);
    double a = -std::numeric_limits<double>::infinity(), b = -a;
    auto clip = [&](double c0, double d, double lim) {
      // 0 < c0 + i * d < lim, widened by two 1/256 units of stepping error.
      const double e = 2.0 / 256;
      if (d == 0) {
        if (!(c0 > -e && c0 < lim + e))
          a = 1, b = 0;
        return;
      }
      double t0 = (-e - c0) / d, t1 = (lim + e - c0) / d;
      if (t0 > t1)
        std::swap(t0, t1);
      a = std::max(a, t0);
      b = std::min(b, t1);
    };
    clip(u0, u1 - u0, limX);
    clip(v0, v1 - v0, limY);
    if (a <= b) {
      lo = std::min(lo, a);
      hi = std::max(hi, b);
    }
  }
  if (!(lo <= hi))
    return false;
  First = static_cast<int32_t>(std::clamp(std::floor(lo) - 1, 0.0, Count - 1.0));
  Last = static_cast<int32_t>(std::clamp(std::ceil(hi) + 1, 0.0, Count - 1.0));
  return First <= Last;
}

void TfsMapSampler::Draw(const TFloatRect &SrcRect) {
  FRect = SrcRect;
  if (!FDestination || FDestination->IsBlank() || !FSource || FSource->IsBlank() || !FTransform ||
      !FInverse || FSingular)
    return;
  const TFloatPoint corners[4] = {{SrcRect.Left, SrcRect.Top},
                                  {SrcRect.Right, SrcRect.Top},
                                  {SrcRect.Right, SrcRect.Bottom},
                                  {SrcRect.Left, SrcRect.Bottom}};
  float minX = std::numeric_limits<float>::infinity(), minY = minX;
  float maxX = -minX, maxY = -minX;
  for (const TFloatPoint &c : corners) {
    TFloatPoint p;
    FTransform->TransformPoint(c, p);
    if (!std::isfinite(p.X) || !std::isfinite(p.Y))
      return;
    minX = std::min(minX, p.X);
    minY = std::min(minY, p.Y);
    maxX = std::max(maxX, p.X);
    maxY = std::max(maxY, p.Y);
  }
  TRect clip;
  if (!IntersectRect(clip, FDestination->ClipBox(), FDestination->BoundsRect()))
    return;
  auto limit = [](double v, int32_t lo, int32_t hi) {
    return static_cast<int32_t>(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi)));
  };
  // One past each side so that the clamping cannot turn an empty box into
  // a border row.
  const int32_t x0 = limit(std::floor(minX), clip.Left, clip.Right);
  const int32_t x1 = limit(std::ceil(maxX), clip.Left - 1, clip.Right - 1);
  const int32_t y0 = limit(std::floor(minY), clip.Top, clip.Bottom);
  const int32_t y1 = limit(std::ceil(maxY), clip.Top - 1, clip.Bottom - 1);
  if (x0 > x1 || y0 > y1)
    return;
  const int32_t count = x1 - x0 + 1;
  const TColor32 master = FSource->MasterAlpha();
  TUpdateScope bracket(*FDestination, true);
  // A transparent outer colour merges to no change, so the pixels whose
  // samples all fall outside the source need not be sampled at all.
  const bool skipOutside = (FSource->OuterColor() >> 24) == 0;
  // Where a pixel's samples land within a few source pixels of each other,
  // uniform areas of the source can be told apart before sampling them.
  struct TSquaresScope {
    TfsMapSampler &S;
    ~TSquaresScope() {
      S.FSquaresWanted = false;
      S.FSquares.clear();
    }
  } squaresScope{*this};
  if (FSamples == 4 && FInverse->IsAffine()) {
    const auto &inv = static_cast<const TfsAffineTransform &>(*FInverse);
    FSquares.clear();
    FSquaresWanted =
        std::max(std::abs(inv.m11) + std::abs(inv.m21), std::abs(inv.m12) + std::abs(inv.m22)) <= 2;
  }
  for (int32_t y = y0; y <= y1; ++y) {
    int32_t first = 0, last = count - 1;
    if (skipOutside && !InsideRange(x0, y, count, first, last))
      continue;
    TColor32 *dst = FDestination->PixelPtr(x0 + first, y);
    SpanRange(x0, y, count, first, last);
    if (master >= 255)
      ColorMergeSpan(FSpan.data() + first, dst, last - first + 1);
    else
      ColorMergeScaledSpan(FSpan.data() + first, dst, last - first + 1, master);
  }
}

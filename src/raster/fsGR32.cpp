#include "raster/fsGR32.h"

#include "raster/fsGR32_Merge_avx2.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

static_assert(std::endian::native == std::endian::little,
              "pixels are kept in memory as blue, green, red, alpha");

// ---------------------------------------------------------------------------
// Tables

const std::array<uint64_t, 256> MixTable = [] {
  std::array<uint64_t, 256> t{};
  for (uint64_t i = 0; i < 256; ++i)
    t[i] = i | (i << 16) | (i << 32) | (i << 48);
  return t;
}();

const std::array<uint8_t, 256> GammaWeights = [] {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i)
    t[i] = static_cast<uint8_t>(std::lrint(255.0 * std::pow(i / 255.0, 0.7)));
  return t;
}();

// ---------------------------------------------------------------------------
// Colour functions

TColor32 ToColor32(TColor c) {
  const uint32_t u = static_cast<uint32_t>(ColorToRGB(c));
  return 0xFF000000 | ((u & 0xFF) << 16) | (u & 0xFF00) | ((u >> 16) & 0xFF);
}

TColor ToPlatformColor(TColor32 c) {
  return static_cast<TColor>(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
}

TColor32 WithAlpha(TColor32 c, int32_t alpha) {
  alpha = std::clamp(alpha, 0, 255);
  return (c & 0xFFFFFF) | (static_cast<TColor32>(alpha) << 24);
}

namespace {

int32_t ChannelByte(float v) {
  const float scaled = v * 255.0f;
  if (!(scaled > 0.0f))
    return 0;
  if (scaled >= 255.0f)
    return 255;
  return static_cast<int32_t>(std::lrint(scaled));
}

float HueChannel(float m1, float m2, float h) {
  h = h - std::floor(h);
  if (6.0f * h < 1.0f)
    return m1 + (m2 - m1) * h * 6.0f;
  if (2.0f * h < 1.0f)
    return m2;
  if (3.0f * h < 2.0f)
    return m1 + (m2 - m1) * (2.0f / 3.0f - h) * 6.0f;
  return m1;
}

} // namespace

TColor32 HSLToColor32(float H, float S, float L) {
  if (S == 0.0f) {
    const int32_t g = ChannelByte(L);
    return Color32(g, g, g);
  }
  const float m2 = L > 0.5f ? S + L - S * L : L * (S + 1.0f);
  const float m1 = 2.0f * L - m2;
  return Color32(ChannelByte(HueChannel(m1, m2, H + 1.0f / 3.0f)),
                 ChannelByte(HueChannel(m1, m2, H)),
                 ChannelByte(HueChannel(m1, m2, H - 1.0f / 3.0f)));
}

void Color32ToHSL(TColor32 c, float &H, float &S, float &L) {
  const float r = static_cast<float>(RedComponent(c)) / 255.0f;
  const float g = static_cast<float>(GreenComponent(c)) / 255.0f;
  const float b = static_cast<float>(BlueComponent(c)) / 255.0f;
  const float mx = std::max({r, g, b});
  const float mn = std::min({r, g, b});
  L = (mx + mn) / 2.0f;
  if (mx == mn) {
    H = 0.0f;
    S = 0.0f;
    return;
  }
  const float d = mx - mn;
  S = L >= 0.5f ? d / (2.0f - mx - mn) : d / (mx + mn);
  if (mx == r)
    H = (g - b) / d;
  else if (mx == g)
    H = (b - r) / d + 2.0f;
  else
    H = (r - g) / d + 4.0f;
  H = H / 6.0f;
  if (H < 0.0f)
    H += 1.0f;
}

// ---------------------------------------------------------------------------
// Blend arithmetic: the four lanes widened to 16 bits inside one 64-bit word.

namespace {

constexpr uint64_t LaneMask = 0x00FF00FF00FF00FFull;
constexpr uint64_t Bias = 0x0080008000800080ull;

inline uint64_t Expand(TColor32 c) {
  uint64_t x = c;
  x = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
  return (x | (x << 8)) & LaneMask;
}

inline TColor32 Pack(uint64_t x) {
  x &= LaneMask;
  x = (x | (x >> 8)) & 0x0000FFFF0000FFFFull;
  return static_cast<TColor32>(x | (x >> 16));
}

// (X * W + Y * (256 - W) + 128) >> 8 per lane; W in 0..256 keeps every lane
// below 65536, so lanes never carry into each other.
inline TColor32 Lerp(TColor32 X, TColor32 Y, uint32_t W) {
  return Pack((Expand(X) * W + Expand(Y) * (256 - W) + Bias) >> 8);
}

inline uint32_t Weight(TColor32 W) {
  return W > 255 ? 255 : W;
}

inline TColor32 MasterWeight(TColor32 M) {
  return M > 255 ? 255 : M;
}

inline uint32_t MergeLane(uint32_t Fc, uint32_t Bc, uint32_t Fa, uint32_t Ba, uint32_t k) {
  const uint32_t Bp = (Bc * Ba) >> 8;
  const uint32_t Fp = (Fc * Fa) >> 8;
  const int32_t x = static_cast<int32_t>(std::min<uint32_t>(Bp + Fp, 65535)) -
                    static_cast<int32_t>((Fa * Bp) >> 8);
  const uint32_t X = x < 0 ? 0 : static_cast<uint32_t>(x);
  // For 8-bit lanes the product always stays within 16 bits.
  return ((X * k) & 0xFFFF) >> 8;
}

} // namespace

TColor32 ColorMix(TColor32 X, TColor32 Y, TColor32 W) {
  return Lerp(X, Y, Weight(W));
}

void ColorMixInPlace(TColor32 X, TColor32 &B, TColor32 W) {
  W = Weight(W);
  if (W == 0)
    return;
  if (W == 255) {
    B = X;
    return;
  }
  B = Lerp(X, B, W);
}

TColor32 ColorBlend(TColor32 F, TColor32 B) {
  return Lerp(F, B, F >> 24);
}

void ColorBlendInPlace(TColor32 F, TColor32 &B) {
  const uint32_t a = F >> 24;
  if (a == 0)
    return;
  if (a == 255) {
    B = F;
    return;
  }
  B = Lerp(F, B, a);
}

void ColorBlendSpan(const TColor32 *Src, TColor32 *Dst, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) {
    const TColor32 F = Src[i];
    const uint32_t a = F >> 24;
    if (a == 255)
      Dst[i] = F;
    else if (a != 0)
      Dst[i] = Lerp(F, Dst[i], a);
  }
}

TColor32 ColorBlendScaled(TColor32 F, TColor32 B, TColor32 M) {
  const uint32_t W = ((F >> 24) * (MasterWeight(M) + 1)) >> 8;
  if (W == 0)
    return B;
  return Lerp(F, B, W);
}

void ColorBlendScaledInPlace(TColor32 F, TColor32 &B, TColor32 M) {
  B = ColorBlendScaled(F, B, M);
}

void ColorBlendScaledSpan(const TColor32 *Src, TColor32 *Dst, int32_t Count, TColor32 M) {
  M = MasterWeight(M);
  for (int32_t i = 0; i < Count; ++i) {
    const TColor32 F = Src[i];
    const uint32_t a = F >> 24;
    if (a == 0)
      continue;
    const uint32_t W = ((a + 1) * M) >> 8;
    if (W != 0)
      Dst[i] = Lerp(F, Dst[i], W);
  }
}

TColor32 ColorMerge(TColor32 F, TColor32 B) {
  const uint32_t Fa = F >> 24;
  const uint32_t Ba = B >> 24;
  if (Fa == 0)
    return B;
  if (Ba == 0 || Fa == 255)
    return F;
  const uint32_t Ra = Fa + Ba - (Fa * Ba) / 255;
  const uint32_t k = 65535 / Ra;
  const uint32_t r = MergeLane((F >> 16) & 255, (B >> 16) & 255, Fa, Ba, k);
  const uint32_t g = MergeLane((F >> 8) & 255, (B >> 8) & 255, Fa, Ba, k);
  const uint32_t b = MergeLane(F & 255, B & 255, Fa, Ba, k);
  return (Ra << 24) | (r << 16) | (g << 8) | b;
}

void ColorMergeInPlace(TColor32 F, TColor32 &B) {
  B = ColorMerge(F, B);
}

void ColorMergeSpan(const TColor32 *Src, TColor32 *Dst, int32_t Count) {
  // Scaling by 255 leaves every alpha as it is.
  if (Count <= 0 || fsMergeKernels::MergeScaledSpanAvx2(Src, Dst, Count, 255))
    return;
  for (int32_t i = 0; i < Count; ++i)
    Dst[i] = ColorMerge(Src[i], Dst[i]);
}

namespace {
inline TColor32 ScaleAlpha(TColor32 F, TColor32 M) {
  const uint32_t a = (MasterWeight(M) * (F >> 24)) / 255;
  return (F & 0xFFFFFF) | (a << 24);
}
} // namespace

TColor32 ColorMergeScaled(TColor32 F, TColor32 B, TColor32 M) {
  return ColorMerge(ScaleAlpha(F, M), B);
}

void ColorMergeScaledInPlace(TColor32 F, TColor32 &B, TColor32 M) {
  B = ColorMerge(ScaleAlpha(F, M), B);
}

void fsMergeKernels::MergeScaledSpanPlain(const TColor32 *Src, TColor32 *Dst, int32_t Count,
                                          TColor32 M) {
  for (int32_t i = 0; i < Count; ++i)
    Dst[i] = ColorMerge(ScaleAlpha(Src[i], M), Dst[i]);
}

void ColorMergeScaledSpan(const TColor32 *Src, TColor32 *Dst, int32_t Count, TColor32 M) {
  M = MasterWeight(M);
  if (Count > 0 && !fsMergeKernels::MergeScaledSpanAvx2(Src, Dst, Count, M))
    fsMergeKernels::MergeScaledSpanPlain(Src, Dst, Count, M);
}

TColor32 ColorMergeScaledExact(TColor32 F, TColor32 B, TColor32 M) {
  M = MasterWeight(M);
  const int32_t Fa = static_cast<int32_t>(F >> 24);
  if (Fa == 255) {
    if (M == 255)
      return F;
    if (M == 0)
      return B;
  } else if (Fa == 0) {
    return B;
  }
  const int32_t Fw = static_cast<int32_t>(M) * Fa / 255;
  const int32_t Ba = static_cast<int32_t>(B >> 24);
  if (Fw == 255 || Ba == 0)
    return (F & 0xFFFFFF) | (static_cast<TColor32>(Fw) << 24);
  const int32_t Ra = Fw + Ba - (Ba * Fw) / 255;
  const int32_t k = 65536 / Ra;
  auto lane = [&](int shift) {
    const int32_t Fc = static_cast<int32_t>((F >> shift) & 255);
    const int32_t Bp = (Ba * static_cast<int32_t>((B >> shift) & 255)) >> 8;
    const int32_t C = (k * (Bp + ((Fw * (Fc - Bp)) >> 8))) >> 8;
    return static_cast<TColor32>(C) & 255;
  };
  return (static_cast<TColor32>(Ra) << 24) | (lane(16) << 16) | (lane(8) << 8) | lane(0);
}

TColor32 ColorMergeMix(TColor32 F, TColor32 B, TColor32 W) {
  return ColorMerge((F & 0xFFFFFF) | (Weight(W) << 24), B);
}

void ColorMergeMixInPlace(TColor32 F, TColor32 &B, TColor32 W) {
  B = ColorMergeMix(F, B, W);
}

const std::array<TBlendValueProc, 2> BlendValueProcs = {ColorBlend, ColorMerge};
const std::array<TBlendInPlaceProc, 2> BlendInPlaceProcs = {ColorBlendInPlace, ColorMergeInPlace};
const std::array<TBlendScaledValueProc, 2> BlendScaledValueProcs = {ColorBlendScaled,
                                                                    ColorMergeScaled};
const std::array<TBlendScaledInPlaceProc, 2> BlendScaledInPlaceProcs = {ColorBlendScaledInPlace,
                                                                        ColorMergeScaledInPlace};
const std::array<TMixValueProc, 2> MixValueProcs = {ColorMix, ColorMergeMix};
const std::array<TMixInPlaceProc, 2> MixInPlaceProcs = {ColorMixInPlace, ColorMergeMixInPlace};
const std::array<TBlendSpanProc, 2> BlendSpanProcs = {ColorBlendSpan, ColorMergeSpan};
const std::array<TBlendScaledSpanProc, 2> BlendScaledSpanProcs = {ColorBlendScaledSpan,
                                                                  ColorMergeScaledSpan};

// ---------------------------------------------------------------------------
// Fixed point and rectangles

TFixed Fixed(double v) {
  const double scaled = std::nearbyint(v * 65536.0);
  if (std::isnan(scaled))
    return 0;
  if (scaled >= 2147483647.0)
    return std::numeric_limits<TFixed>::max();
  if (scaled <= -2147483648.0)
    return std::numeric_limits<TFixed>::min();
  return static_cast<TFixed>(scaled);
}

TFixed FixedDiv(TFixed a, TFixed b) {
  if (b == 0)
    return a >= 0 ? std::numeric_limits<TFixed>::max() : std::numeric_limits<TFixed>::min();
  const int64_t q = (static_cast<int64_t>(a) * 65536) / b;
  return static_cast<TFixed>(std::clamp<int64_t>(q, std::numeric_limits<TFixed>::min(),
                                                 std::numeric_limits<TFixed>::max()));
}

// ---------------------------------------------------------------------------
// TThreadPersistent and TCustomMap

namespace {
// Guards the lock counters of every object.
std::mutex &LibraryLock() {
  static std::mutex m;
  return m;
}
} // namespace

void TThreadPersistent::EndUpdate() {
  FUpdate.End("Unpaired TThreadPersistent.EndUpdate");
}

void TThreadPersistent::Changed() {
  if (!FUpdate.Updating() && OnChange)
    OnChange(*this);
}

void TThreadPersistent::Lock() {
  {
    std::lock_guard<std::mutex> g(LibraryLock());
    ++FLockCount;
  }
  FLock.lock();
}

void TThreadPersistent::Unlock() {
  {
    std::lock_guard<std::mutex> g(LibraryLock());
    if (FLockCount <= 0)
      throw EfsAssertionFailed("Unpaired TThreadPersistent.Unlock");
    --FLockCount;
  }
  FLock.unlock();
}

int32_t TThreadPersistent::LockCount() const {
  std::lock_guard<std::mutex> g(LibraryLock());
  return FLockCount;
}

bool TCustomMap::Resize(int32_t NewWidth, int32_t NewHeight) {
  NewWidth = std::max(NewWidth, 0);
  NewHeight = std::max(NewHeight, 0);
  if (NewWidth == FWidth && NewHeight == FHeight)
    return false;
  ChangeSize(FWidth, FHeight, NewWidth, NewHeight);
  Changed();
  Resized();
  return true;
}

void TCustomMap::Resized() {
  if (OnResize)
    OnResize(*this);
}

// ---------------------------------------------------------------------------
// TBitmap32: store, properties, pixels, boxes

TBitmap32::TBitmap32() = default;

TBitmap32::~TBitmap32() {
  Lock();
  ReleaseStore();
  FWidth = 0;
  FHeight = 0;
  Unlock();
}

void TBitmap32::ReleaseStore() {
  std::free(FBits);
  FBits = nullptr;
}

void TBitmap32::HandleChanged() {
  if (OnHandleChanged)
    OnHandleChanged(*this);
}

void TBitmap32::ChangeSize(int32_t &Width, int32_t &Height, int32_t NewWidth, int32_t NewHeight) {
  ReleaseStore();
  Width = 0;
  Height = 0;
  if (NewWidth > 0 && NewHeight > 0) {
    const int64_t count = static_cast<int64_t>(NewWidth) * NewHeight;
    // calloc: zero pages come straight from the system, already transparent
    // black.
    void *p = count <= MaxBitmap32Pixels ? std::calloc(static_cast<size_t>(count), 4) : nullptr;
    if (!p) {
      SetClipBox(BoundsRect());
      HandleChanged();
      throw EfsError("Can't allocate the DIB handle");
    }
    FBits = static_cast<TColor32 *>(p);
  }
  Width = NewWidth;
  Height = NewHeight;
  SetClipBox(BoundsRect());
  HandleChanged();
}

void TBitmap32::SetClipBox(const TRect &Value) {
  IntersectRect(FClipRect, Value, BoundsRect());
  auto scale = [](int32_t v, int shift) {
    return static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(v) << shift,
                                                    std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
  };
  FFixedClipRect = {scale(FClipRect.Left, 16), scale(FClipRect.Top, 16), scale(FClipRect.Right, 16),
                    scale(FClipRect.Bottom, 16)};
  F256ClipRect = {scale(FClipRect.Left, 8), scale(FClipRect.Top, 8), scale(FClipRect.Right, 8),
                  scale(FClipRect.Bottom, 8)};
  FClipping = !(FClipRect == BoundsRect());
}

void TBitmap32::SetDrawMode(TDrawMode Value) {
  if (Value != FDrawMode) {
    FDrawMode = Value;
    Changed();
  }
}

void TBitmap32::SetCombineMode(TCombineMode Value) {
  FCombineMode = Value;
  Changed();
}

void TBitmap32::SetMasterAlpha(uint32_t Value) {
  Value = std::min<uint32_t>(Value, 255);
  if (Value != FMasterAlpha) {
    FMasterAlpha = Value;
    Changed();
  }
}

void TBitmap32::SetStretchFilter(TStretchFilter Value) {
  if (Value != FStretchFilter) {
    FStretchFilter = Value;
    Changed();
  }
}

void TBitmap32::FillAll(TColor32 c) {
  if (IsBlank())
    return;
  std::fill_n(FBits, PixelCount(), c);
  Changed();
}

void TBitmap32::SetAlphaAll(uint8_t Alpha) {
  if (IsBlank())
    return;
  const TColor32 a = static_cast<TColor32>(Alpha) << 24;
  TColor32 *p = FBits;
  const size_t n = PixelCount();
  for (size_t i = 0; i < n; ++i)
    p[i] = (p[i] & 0xFFFFFF) | a;
  Changed();
}

void TBitmap32::Assign(const TBitmap32 &Source) {
  if (&Source == this)
    return;
  TUpdateScope bracket(*this, true);
  Resize(Source.Width(), Source.Height());
  if (!IsBlank() && !Source.IsBlank())
    std::memcpy(FBits, Source.FBits, PixelCount() * sizeof(TColor32));
  SetDrawMode(Source.FDrawMode);
  SetMasterAlpha(Source.FMasterAlpha);
  FOuterColor = Source.FOuterColor;
  SetStretchFilter(Source.FStretchFilter);
}

void TBitmap32::BlendPixel(int32_t X, int32_t Y, TColor32 c) {
  BlendInPlaceProcs[FCombineMode](c, *PixelPtr(X, Y));
}

TColor32 TBitmap32::GetPixelClipped(int32_t X, int32_t Y) const {
  if (X >= FClipRect.Left && X < FClipRect.Right && Y >= FClipRect.Top && Y < FClipRect.Bottom)
    return *PixelPtr(X, Y);
  return FOuterColor;
}

void TBitmap32::PutPixelClipped(int32_t X, int32_t Y, TColor32 c) {
  if (X >= FClipRect.Left && X < FClipRect.Right && Y >= FClipRect.Top && Y < FClipRect.Bottom)
    *PixelPtr(X, Y) = c;
}

void TBitmap32::BlendPixelClipped(int32_t X, int32_t Y, TColor32 c) {
  if (X >= FClipRect.Left && X < FClipRect.Right && Y >= FClipRect.Top && Y < FClipRect.Bottom)
    BlendInPlaceProcs[FCombineMode](c, *PixelPtr(X, Y));
}

namespace {

// One colour blended over a run of pixels, the combine mode chosen once.
void BlendRun(TColor32 *p, int64_t count, TColor32 c, TCombineMode mode) {
  const uint32_t a = c >> 24;
  if (a == 0 || count <= 0)
    return;
  if (a == 255) {
    std::fill_n(p, count, c);
    return;
  }
  if (mode == cmBlend) {
    const uint64_t f = Expand(c) * a + Bias;
    const uint32_t w = 256 - a;
    for (int64_t i = 0; i < count; ++i)
      p[i] = Pack((f + Expand(p[i]) * w) >> 8);
  } else {
    for (int64_t i = 0; i < count; ++i)
      p[i] = ColorMerge(c, p[i]);
  }
}

// The mix-table entry with weight W over a run, the combine mode chosen once.
void MixRun(TColor32 *p, int64_t count, TColor32 c, uint32_t W, TCombineMode mode) {
  if (W == 0 || count <= 0)
    return;
  if (mode == cmBlend) {
    if (W >= 255) {
      std::fill_n(p, count, c);
      return;
    }
    const uint64_t f = Expand(c) * W + Bias;
    const uint32_t w = 256 - W;
    for (int64_t i = 0; i < count; ++i)
      p[i] = Pack((f + Expand(p[i]) * w) >> 8);
  } else {
    const TColor32 m = (c & 0xFFFFFF) | (std::min<uint32_t>(W, 255) << 24);
    for (int64_t i = 0; i < count; ++i)
      p[i] = ColorMerge(m, p[i]);
  }
}

} // namespace

// The plain spans skip the clip box but still keep to the store.
void TBitmap32::HorzLine(int32_t X1, int32_t Y, int32_t X2, TColor32 c) {
  if (Y < 0 || Y >= FHeight)
    return;
  X1 = std::max(X1, 0);
  X2 = std::min(X2, FWidth - 1);
  if (X2 >= X1)
    std::fill_n(PixelPtr(X1, Y), static_cast<int64_t>(X2) - X1 + 1, c);
}

void TBitmap32::HorzLineBlend(int32_t X1, int32_t Y, int32_t X2, TColor32 c) {
  if (Y < 0 || Y >= FHeight)
    return;
  X1 = std::max(X1, 0);
  X2 = std::min(X2, FWidth - 1);
  if (X2 >= X1)
    BlendRun(PixelPtr(X1, Y), static_cast<int64_t>(X2) - X1 + 1, c, FCombineMode);
}

void TBitmap32::HorzLineClipped(int32_t X1, int32_t Y, int32_t X2, TColor32 c) {
  if (X1 > X2)
    std::swap(X1, X2);
  if (Y < FClipRect.Top || Y >= FClipRect.Bottom || X2 < FClipRect.Left || X1 >= FClipRect.Right)
    return;
  HorzLine(std::max(X1, FClipRect.Left), Y, std::min(X2, FClipRect.Right - 1), c);
}

void TBitmap32::HorzLineBlendClipped(int32_t X1, int32_t Y, int32_t X2, TColor32 c) {
  if (X1 > X2)
    std::swap(X1, X2);
  if (Y < FClipRect.Top || Y >= FClipRect.Bottom || X2 < FClipRect.Left || X1 >= FClipRect.Right)
    return;
  HorzLineBlend(std::max(X1, FClipRect.Left), Y, std::min(X2, FClipRect.Right - 1), c);
}

void TBitmap32::VertLine(int32_t X, int32_t Y1, int32_t Y2, TColor32 c) {
  if (X < 0 || X >= FWidth)
    return;
  Y1 = std::max(Y1, 0);
  Y2 = std::min(Y2, FHeight - 1);
  if (Y2 < Y1)
    return;
  TColor32 *p = PixelPtr(X, Y1);
  for (int64_t y = Y1; y <= Y2; ++y, p += FWidth)
    *p = c;
}

void TBitmap32::VertLineBlend(int32_t X, int32_t Y1, int32_t Y2, TColor32 c) {
  if (X < 0 || X >= FWidth)
    return;
  Y1 = std::max(Y1, 0);
  Y2 = std::min(Y2, FHeight - 1);
  if (Y2 < Y1)
    return;
  const auto blend = BlendInPlaceProcs[FCombineMode];
  TColor32 *p = PixelPtr(X, Y1);
  for (int64_t y = Y1; y <= Y2; ++y, p += FWidth)
    blend(c, *p);
}

void TBitmap32::VertLineClipped(int32_t X, int32_t Y1, int32_t Y2, TColor32 c) {
  if (Y1 > Y2)
    std::swap(Y1, Y2);
  if (X < FClipRect.Left || X >= FClipRect.Right || Y2 < FClipRect.Top || Y1 >= FClipRect.Bottom)
    return;
  VertLine(X, std::max(Y1, FClipRect.Top), std::min(Y2, FClipRect.Bottom - 1), c);
}

void TBitmap32::VertLineBlendClipped(int32_t X, int32_t Y1, int32_t Y2, TColor32 c) {
  if (Y1 > Y2)
    std::swap(Y1, Y2);
  if (X < FClipRect.Left || X >= FClipRect.Right || Y2 < FClipRect.Top || Y1 >= FClipRect.Bottom)
    return;
  VertLineBlend(X, std::max(Y1, FClipRect.Top), std::min(Y2, FClipRect.Bottom - 1), c);
}

void TBitmap32::FillBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c) {
  TRect r;
  if (X1 >= X2 || Y1 >= Y2 || !IntersectRect(r, Rect(X1, Y1, X2, Y2), FClipRect))
    return;
  const int32_t w = r.Width();
  if (w == FWidth) {
    std::fill_n(PixelPtr(0, r.Top), static_cast<size_t>(w) * r.Height(), c);
  } else {
    for (int32_t y = r.Top; y < r.Bottom; ++y)
      std::fill_n(PixelPtr(r.Left, y), w, c);
  }
  Changed();
}

void TBitmap32::BlendBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c) {
  const uint32_t a = c >> 24;
  if (a == 255) {
    FillBox(X1, Y1, X2, Y2, c);
    return;
  }
  TRect r;
  if (X1 >= X2 || Y1 >= Y2 || !IntersectRect(r, Rect(X1, Y1, X2, Y2), FClipRect))
    return;
  for (int32_t y = r.Top; y < r.Bottom; ++y)
    MixRun(PixelPtr(r.Left, y), r.Width(), c, a, FCombineMode);
  Changed();
}

void TBitmap32::FrameBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c) {
  if (X1 >= X2 || Y1 >= Y2)
    return;
  HorzLineClipped(X1, Y1, X2 - 1, c);
  if (Y2 - 1 > Y1)
    HorzLineClipped(X1, Y2 - 1, X2 - 1, c);
  if (static_cast<int64_t>(Y2) - 2 >= static_cast<int64_t>(Y1) + 1) {
    VertLineClipped(X1, Y1 + 1, Y2 - 2, c);
    if (X2 - 1 > X1)
      VertLineClipped(X2 - 1, Y1 + 1, Y2 - 2, c);
  }
  Changed();
}

void TBitmap32::FrameBoxBlend(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c) {
  if (X1 >= X2 || Y1 >= Y2)
    return;
  HorzLineBlendClipped(X1, Y1, X2 - 1, c);
  if (Y2 - 1 > Y1)
    HorzLineBlendClipped(X1, Y2 - 1, X2 - 1, c);
  if (static_cast<int64_t>(Y2) - 2 >= static_cast<int64_t>(Y1) + 1) {
    VertLineBlendClipped(X1, Y1 + 1, Y2 - 2, c);
    if (X2 - 1 > X1)
      VertLineBlendClipped(X2 - 1, Y1 + 1, Y2 - 2, c);
  }
  Changed();
}

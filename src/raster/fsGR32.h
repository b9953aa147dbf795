#pragma once

#include "base/fsError.h"
#include "base/fsGeometry.h"
#include "base/fsPlatformColor.h"
#include "base/fsStream.h"
#include "base/fsUpdateBracket.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The drawing surface of the engine: 32-bit colours, their blend arithmetic
// and the bitmap every shape and effect paints into. The pixel store is plain
// memory; text drawing and the BMP stream form are supplied by the text and
// persistence layers through the seams declared at the end of this file.

// ---------------------------------------------------------------------------
// Colours

// $AARRGGBB, straight (not premultiplied) alpha; in memory the bytes are
// blue, green, red, alpha.
using TColor32 = uint32_t;
using PColor32 = TColor32 *;

constexpr TColor32 clBlack32 = 0xFF000000;
constexpr TColor32 clDimGray32 = 0xFF3F3F3F;
constexpr TColor32 clGray32 = 0xFF7F7F7F;
constexpr TColor32 clLightGray32 = 0xFFBFBFBF;
constexpr TColor32 clWhite32 = 0xFFFFFFFF;
constexpr TColor32 clMaroon32 = 0xFF7F0000;
constexpr TColor32 clGreen32 = 0xFF007F00;
constexpr TColor32 clOlive32 = 0xFF7F7F00;
constexpr TColor32 clNavy32 = 0xFF00007F;
constexpr TColor32 clPurple32 = 0xFF7F007F;
constexpr TColor32 clTeal32 = 0xFF007F7F;
constexpr TColor32 clRed32 = 0xFFFF0000;
constexpr TColor32 clLime32 = 0xFF00FF00;
constexpr TColor32 clYellow32 = 0xFFFFFF00;
constexpr TColor32 clBlue32 = 0xFF0000FF;
constexpr TColor32 clFuchsia32 = 0xFFFF00FF;
constexpr TColor32 clAqua32 = 0xFF00FFFF;
constexpr TColor32 clTransparent32 = 0x00000000;

constexpr int32_t RedComponent(TColor32 c) {
  return static_cast<int32_t>((c >> 16) & 255);
}
constexpr int32_t GreenComponent(TColor32 c) {
  return static_cast<int32_t>((c >> 8) & 255);
}
constexpr int32_t BlueComponent(TColor32 c) {
  return static_cast<int32_t>(c & 255);
}
constexpr int32_t AlphaComponent(TColor32 c) {
  return static_cast<int32_t>(c >> 24);
}

// Composes from channel values; out-of-range values are masked, as stored
// colours have always been made.
constexpr TColor32 Color32(int32_t r, int32_t g, int32_t b, int32_t a = 255) {
  return (static_cast<TColor32>(a) << 24) | ((static_cast<TColor32>(r) << 16) & 0xFFFFFF) |
         ((static_cast<TColor32>(g) << 8) & 0xFFFF) | (static_cast<TColor32>(b) & 255);
}

// Alpha 255 always; system colours are resolved first.
TColor32 ToColor32(TColor c);
// The low 24 bits with red and blue exchanged.
TColor ToPlatformColor(TColor32 c);
constexpr TColor32 GreyColor(int32_t intensity, int32_t alpha = 255) {
  return (static_cast<TColor32>(alpha) << 24) | (static_cast<TColor32>(intensity) * 0x010101u);
}
// Alpha clamped to 0..255.
TColor32 WithAlpha(TColor32 c, int32_t alpha);
constexpr int32_t Luma(TColor32 c) {
  return (61 * RedComponent(c) + 174 * GreenComponent(c) + 21 * BlueComponent(c)) >> 8;
}
// H, S, L in 0..1; alpha 255.
TColor32 HSLToColor32(float H, float S, float L);
void Color32ToHSL(TColor32 c, float &H, float &S, float &L);

// ---------------------------------------------------------------------------
// Blend arithmetic. Value forms return the result, in-place forms update B,
// span forms run over count pixels (count <= 0: nothing).

// lerp(X, Y, W) per lane with the rounding bias 128.
TColor32 ColorMix(TColor32 X, TColor32 Y, TColor32 W);
void ColorMixInPlace(TColor32 X, TColor32 &B, TColor32 W);

TColor32 ColorBlend(TColor32 F, TColor32 B);
void ColorBlendInPlace(TColor32 F, TColor32 &B);
void ColorBlendSpan(const TColor32 *Src, TColor32 *Dst, int32_t Count);

TColor32 ColorBlendScaled(TColor32 F, TColor32 B, TColor32 M);
void ColorBlendScaledInPlace(TColor32 F, TColor32 &B, TColor32 M);
// Rounds its weight differently from the single-pixel forms.
void ColorBlendScaledSpan(const TColor32 *Src, TColor32 *Dst, int32_t Count, TColor32 M);

// F composited over B with a resulting alpha.
TColor32 ColorMerge(TColor32 F, TColor32 B);
void ColorMergeInPlace(TColor32 F, TColor32 &B);
void ColorMergeSpan(const TColor32 *Src, TColor32 *Dst, int32_t Count);

TColor32 ColorMergeScaled(TColor32 F, TColor32 B, TColor32 M);
void ColorMergeScaledInPlace(TColor32 F, TColor32 &B, TColor32 M);
void ColorMergeScaledSpan(const TColor32 *Src, TColor32 *Dst, int32_t Count, TColor32 M);

// The second merge rule, with its own rounding, used by MergeUnder.
TColor32 ColorMergeScaledExact(TColor32 F, TColor32 B, TColor32 M);

// The merge counterpart of the mix: F with its alpha replaced by W, merged.
TColor32 ColorMergeMix(TColor32 F, TColor32 B, TColor32 W);
void ColorMergeMixInPlace(TColor32 F, TColor32 &B, TColor32 W);

enum TCombineMode : uint8_t { cmBlend = 0, cmMerge = 1 };

using TBlendValueProc = TColor32 (*)(TColor32 F, TColor32 B);
using TBlendInPlaceProc = void (*)(TColor32 F, TColor32 &B);
using TBlendScaledValueProc = TColor32 (*)(TColor32 F, TColor32 B, TColor32 M);
using TBlendScaledInPlaceProc = void (*)(TColor32 F, TColor32 &B, TColor32 M);
using TMixValueProc = TColor32 (*)(TColor32 F, TColor32 B, TColor32 W);
using TMixInPlaceProc = void (*)(TColor32 F, TColor32 &B, TColor32 W);
using TBlendSpanProc = void (*)(const TColor32 *Src, TColor32 *Dst, int32_t Count);
using TBlendScaledSpanProc = void (*)(const TColor32 *Src, TColor32 *Dst, int32_t Count,
                                      TColor32 M);

// Indexed by TCombineMode: [cmBlend] the blend form, [cmMerge] the merge form.
extern const std::array<TBlendValueProc, 2> BlendValueProcs;
extern const std::array<TBlendInPlaceProc, 2> BlendInPlaceProcs;
extern const std::array<TBlendScaledValueProc, 2> BlendScaledValueProcs;
extern const std::array<TBlendScaledInPlaceProc, 2> BlendScaledInPlaceProcs;
extern const std::array<TMixValueProc, 2> MixValueProcs;
extern const std::array<TMixInPlaceProc, 2> MixInPlaceProcs;
extern const std::array<TBlendSpanProc, 2> BlendSpanProcs;
extern const std::array<TBlendScaledSpanProc, 2> BlendScaledSpanProcs;

// Entry i: the weight i in each of four 16-bit lanes; entry 128 doubles as
// the rounding bias.
extern const std::array<uint64_t, 256> MixTable;
// round(255 * (i / 255) ^ 0.7): the weights of subpixel splats and bilinear
// reads.
extern const std::array<uint8_t, 256> GammaWeights;

// ---------------------------------------------------------------------------
// Fixed point and geometry

// 16.16: the real value times 65536. 24.8: the real value times 256.
using TFixed = int32_t;
constexpr TFixed FixedOne = 65536;
constexpr TFixed FixedHalf = 32768;

// round(v * 65536), saturated to the 32-bit range; NaN gives 0.
TFixed Fixed(double v);
constexpr int32_t FixedRound(TFixed v) {
  return static_cast<int32_t>((static_cast<int64_t>(v) + 0x7FFF) >> 16);
}
constexpr int32_t FixedFloor(TFixed v) {
  return v >> 16;
}
constexpr int32_t FixedCeil(TFixed v) {
  return static_cast<int32_t>((static_cast<int64_t>(v) + 0xFFFF) >> 16);
}
constexpr TFixed FixedMul(TFixed a, TFixed b) {
  return static_cast<TFixed>((static_cast<int64_t>(a) * b) >> 16);
}
// (a * 65536) / b in 64 bits; b = 0 saturates towards the sign of a.
TFixed FixedDiv(TFixed a, TFixed b);
constexpr float FixedToFloat(TFixed v) {
  return static_cast<float>(v) / 65536.0f;
}

struct TFixedPoint {
  TFixed X = 0;
  TFixed Y = 0;
  friend bool operator==(const TFixedPoint &, const TFixedPoint &) = default;
};

struct TFixedRect {
  TFixed Left = 0;
  TFixed Top = 0;
  TFixed Right = 0;
  TFixed Bottom = 0;
  friend bool operator==(const TFixedRect &, const TFixedRect &) = default;
};

constexpr TFixedPoint FixedPoint(TFixed X, TFixed Y) {
  return {X, Y};
}

using TArrayOfColor32 = std::vector<TColor32>;
using TArrayOfByte = std::vector<uint8_t>;
using TArrayOfInteger = std::vector<int32_t>;
using TArrayOfArrayOfInteger = std::vector<TArrayOfInteger>;
using TArrayOfPoint = std::vector<TPoint>;
using TArrayOfArrayOfPoint = std::vector<TArrayOfPoint>;
using TArrayOfFixedPoint = std::vector<TFixedPoint>;
using TArrayOfArrayOfFixedPoint = std::vector<TArrayOfFixedPoint>;

// ---------------------------------------------------------------------------
// Enumerations

enum TDrawMode : uint8_t { dmOpaque = 0, dmBlend = 1, dmCustom = 2 };
enum TStretchFilter : uint8_t {
  sfNearest = 0,
  sfDraft = 1,
  sfLinear = 2,
  sfCosine = 3,
  sfSpline = 4,
  sfLanczos = 5,
  sfMitchell = 6
};

// Source colour F, destination B (updated), master alpha M.
using TPixelCombineEvent = std::function<void(TColor32 F, TColor32 &B, TColor32 M)>;

// ---------------------------------------------------------------------------
// Change notification and locking

class TThreadPersistent {
public:
  using TNotifyEvent = std::function<void(TThreadPersistent &Sender)>;

  TThreadPersistent() = default;
  virtual ~TThreadPersistent() = default;
  TThreadPersistent(const TThreadPersistent &) = delete;
  TThreadPersistent &operator=(const TThreadPersistent &) = delete;

  void BeginUpdate() { FUpdate.Begin(); }
  // "Unpaired TThreadPersistent.EndUpdate" when no bracket is open; the
  // counter stays at 0. Changes made inside the bracket are not announced
  // here: the bracket's owner calls Changed once it is closed.
  void EndUpdate();
  // Fires OnChange unless an update bracket is open.
  virtual void Changed();
  int32_t UpdateCount() const { return FUpdate.Count(); }

  // Library-wide lock for the counter, then the object's own (recursive)
  // lock, so one thread may lock an object several times.
  void Lock();
  void Unlock();
  int32_t LockCount() const;

  TNotifyEvent OnChange;

private:
  TUpdateCounter FUpdate;
  int32_t FLockCount = 0;
  std::recursive_mutex FLock;
};

class TCustomMap : public TThreadPersistent {
public:
  using TResizeEvent = std::function<void(TCustomMap &Sender)>;

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  void SetWidth(int32_t NewWidth) { Resize(NewWidth, FHeight); }
  void SetHeight(int32_t NewHeight) { Resize(FWidth, NewHeight); }
  // Negative sizes become 0. Returns whether the size changed.
  virtual bool Resize(int32_t NewWidth, int32_t NewHeight);
  bool SetSize(int32_t NewWidth, int32_t NewHeight) { return Resize(NewWidth, NewHeight); }
  // Resize to 0 x 0.
  virtual void Delete() { Resize(0, 0); }
  virtual bool IsBlank() const { return FWidth == 0 || FHeight == 0; }
  // Fires OnResize.
  virtual void Resized();

  TResizeEvent OnResize;

protected:
  // Stores the new size (and the storage for it) in the given fields.
  virtual void ChangeSize(int32_t &Width, int32_t &Height, int32_t NewWidth, int32_t NewHeight) = 0;

  int32_t FWidth = 0;
  int32_t FHeight = 0;
};

// ---------------------------------------------------------------------------
// Text: a seam filled by the text layer

// Text formatting flags of DrawText (values as the platform's).
enum TTextFormat : uint32_t {
  tfTop = 0x0000,
  tfLeft = 0x0000,
  tfCenter = 0x0001,
  tfRight = 0x0002,
  tfVCenter = 0x0004,
  tfBottom = 0x0008,
  tfWordBreak = 0x0010,
  tfSingleLine = 0x0020,
  tfExpandTabs = 0x0040,
  tfNoClip = 0x0100,
  tfCalcRect = 0x0400,
  tfNoPrefix = 0x0800,
  tfEndEllipsis = 0x8000,
};

struct TBitmap32Font {
  std::string Name = "Arial";
  // As the platform's font height: > 0 the cell height in pixels (ascent +
  // descent), < 0 the character height (pixels per em, without internal
  // leading), 0 the default (13 pixels per em).
  int32_t Height = 13;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  TColor32 Color = clBlack32; // only the RGB is drawn
  friend bool operator==(const TBitmap32Font &, const TBitmap32Font &) = default;
};

class TBitmap32;

// Implemented by the text layer and installed once per process. Text is
// UTF-8. Drawing writes the font colour into the colour bytes of the covered
// pixels (antialiased over what is there) and leaves alpha untouched.
class TBitmap32TextBackend {
public:
  virtual ~TBitmap32TextBackend() = default;
  // Extent of one line of text; empty text gives 0 x 0.
  virtual TSize TextExtent(const TBitmap32Font &Font, std::string_view Text) = 0;
  // Draws into Bitmap inside Rect, formatted by Flags (TTextFormat); with
  // tfCalcRect only updates Rect to the space needed. Returns the text
  // height. Must clip to the bitmap's ClipBox.
  virtual int32_t DrawText(TBitmap32 &Bitmap, const TBitmap32Font &Font, std::string_view Text,
                           TRect &Rect, uint32_t Flags) = 0;
  // Face names of the installed font families, in any order.
  virtual std::vector<std::string> FontFamilies() = 0;
};

// The backend in use (nullptr: none); not owned.
void SetBitmap32TextBackend(TBitmap32TextBackend *Backend);
TBitmap32TextBackend *Bitmap32TextBackend();

// ---------------------------------------------------------------------------
// Bitmap streams (the BMP file form): a seam filled by the image codecs

using TBitmap32StreamLoader = std::function<void(TBitmap32 &Bitmap, TStream &Stream)>;
using TBitmap32StreamSaver = std::function<void(const TBitmap32 &Bitmap, TStream &Stream)>;
// Installs the codec behind TBitmap32::LoadFromStream / SaveToStream; empty
// functions uninstall it.
void SetBitmap32StreamHandlers(TBitmap32StreamLoader Load, TBitmap32StreamSaver Save);

// ---------------------------------------------------------------------------
// The bitmap

class TBitmap32 : public TCustomMap {
public:
  using THandleChangedEvent = std::function<void(TBitmap32 &Sender)>;

  TBitmap32();
  ~TBitmap32() override;

  bool IsBlank() const override { return FWidth == 0 || FHeight == 0 || !FBits; }

  // The store: Width x Height pixels, row-major, top row first, no padding.
  // Null on a blank bitmap. No checks on coordinates.
  TColor32 *Bits() { return FBits; }
  const TColor32 *Bits() const { return FBits; }
  TColor32 *PixelPtr(int32_t X, int32_t Y) {
    return FBits + X + static_cast<ptrdiff_t>(Y) * FWidth;
  }
  const TColor32 *PixelPtr(int32_t X, int32_t Y) const {
    return FBits + X + static_cast<ptrdiff_t>(Y) * FWidth;
  }
  TColor32 *ScanLine(int32_t Y) { return PixelPtr(0, Y); }
  const TColor32 *ScanLine(int32_t Y) const { return PixelPtr(0, Y); }
  TColor32 GetPixel(int32_t X, int32_t Y) const { return *PixelPtr(X, Y); }
  void SetPixel(int32_t X, int32_t Y, TColor32 c) { *PixelPtr(X, Y) = c; }
  // The bitmap's blend (by CombineMode) of c onto (X, Y), unchecked.
  void BlendPixel(int32_t X, int32_t Y, TColor32 c);
  // Number of pixels.
  size_t PixelCount() const { return static_cast<size_t>(FWidth) * static_cast<size_t>(FHeight); }

  // Properties. Setting DrawMode, MasterAlpha or StretchFilter to another
  // value, or setting CombineMode at all, calls Changed.
  TDrawMode DrawMode() const { return FDrawMode; }
  void SetDrawMode(TDrawMode Value);
  TCombineMode CombineMode() const { return FCombineMode; }
  void SetCombineMode(TCombineMode Value);
  // 0..255 (clamped).
  uint32_t MasterAlpha() const { return FMasterAlpha; }
  void SetMasterAlpha(uint32_t Value);
  TStretchFilter StretchFilter() const { return FStretchFilter; }
  void SetStretchFilter(TStretchFilter Value);
  // Read for pixels outside ClipBox.
  TColor32 OuterColor() const { return FOuterColor; }
  void SetOuterColor(TColor32 Value) { FOuterColor = Value; }
  // Colour of the pen-position line operations.
  TColor32 LineColor() const { return FLineColor; }
  void SetLineColor(TColor32 Value) { FLineColor = Value; }

  // Every resize resets the clip box to the bounds; a new clip box is
  // limited to the bounds.
  const TRect &ClipBox() const { return FClipRect; }
  void SetClipBox(const TRect &Value);
  void ResetClipBox() { SetClipBox(BoundsRect()); }
  TRect BoundsRect() const { return {0, 0, FWidth, FHeight}; }
  bool Clipping() const { return FClipping; }

  THandleChangedEvent OnHandleChanged;
  TPixelCombineEvent OnPixelCombine;

  // Whole-bitmap operations (each ends with Changed; nothing on a blank
  // bitmap).
  void FillAll(TColor32 c);
  void Clear(TColor32 c = 0) { FillAll(c); }
  void SetAlphaAll(uint8_t Alpha = 255);

  // From a TBitmap32: size, pixels, DrawMode, MasterAlpha, OuterColor and
  // StretchFilter (not CombineMode).
  void Assign(const TBitmap32 &Source);

  // Clipped pixel access.
  TColor32 GetPixelClipped(int32_t X, int32_t Y) const;
  void PutPixelClipped(int32_t X, int32_t Y, TColor32 c);
  void BlendPixelClipped(int32_t X, int32_t Y, TColor32 c);
  // X, Y in 24.8 fixed: c spread over four pixels by the gamma weights
  // (ignores ClipBox, never leaves the store).
  void PutPixelSubpixel(int32_t X, int32_t Y, TColor32 c);
  // X, Y in 16.16 fixed.
  void PutPixelSubpixelClipped(TFixed X, TFixed Y, TColor32 c);
  // X, Y in 24.8 fixed; OuterColor outside the interior.
  TColor32 ReadPixelBilinear(int32_t X, int32_t Y) const;

  // Spans, both ends inclusive. The plain forms ignore ClipBox (but never
  // leave the store); the clipped forms order the ends and clamp them to
  // ClipBox.
  void HorzLine(int32_t X1, int32_t Y, int32_t X2, TColor32 c);
  void HorzLineBlend(int32_t X1, int32_t Y, int32_t X2, TColor32 c);
  void HorzLineClipped(int32_t X1, int32_t Y, int32_t X2, TColor32 c);
  void HorzLineBlendClipped(int32_t X1, int32_t Y, int32_t X2, TColor32 c);
  void VertLine(int32_t X, int32_t Y1, int32_t Y2, TColor32 c);
  void VertLineBlend(int32_t X, int32_t Y1, int32_t Y2, TColor32 c);
  void VertLineClipped(int32_t X, int32_t Y1, int32_t Y2, TColor32 c);
  void VertLineBlendClipped(int32_t X, int32_t Y1, int32_t Y2, TColor32 c);

  // Boxes: right and bottom exclusive, clipped to ClipBox, then Changed.
  void FillBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c);
  void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c) {
    FillBox(X1, Y1, X2, Y2, c);
  }
  void FillRect(const TRect &R, TColor32 c) { FillBox(R.Left, R.Top, R.Right, R.Bottom, c); }
  void BlendBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c);
  void FrameBox(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c);
  void FrameBoxBlend(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c);

  // Bresenham lines, clipped to exactly the pixels of the unclipped line
  // inside ClipBox.
  void DrawLine(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c,
                bool IncludeLast = false);
  void DrawLineBlend(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c,
                     bool IncludeLast = false);
  // Antialiased lines, coordinates in 16.16 fixed.
  void DrawLineSmooth(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, TColor32 c,
                      bool IncludeLast = false);
  // As DrawLineSmooth, colours taken from the stipple pattern.
  void DrawLineStippled(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, bool IncludeLast = false);

  // The pen: integer pixels for MoveTo/LineTo, 16.16 for the smooth ones.
  // LineTo draws in LineColor without the last pixel and moves the pen.
  void MoveTo(int32_t X, int32_t Y);
  void LineTo(int32_t X, int32_t Y);
  void LineToBlend(int32_t X, int32_t Y);
  void MoveToSmooth(TFixed X, TFixed Y);
  void LineToSmooth(TFixed X, TFixed Y);
  void LineToStippled(TFixed X, TFixed Y);
  TPoint PenPos() const { return {FPenPosX, FPenPosY}; }

  // Stipple: setting the pattern resets the counter to 0.
  void SetStipple(const TArrayOfColor32 &Pattern);
  const TArrayOfColor32 &StipplePattern() const { return FStipplePattern; }
  float StippleStep() const { return FStippleStep; }
  void SetStippleStep(float Value) { FStippleStep = Value; }
  float StippleCounter() const { return FStippleCounter; }
  void SetStippleCounter(float Value) { FStippleCounter = Value; }
  // The next colour of the pattern; advances the counter by the step.
  TColor32 GetStippleColor();
  // Advances the counter over a length of line not drawn.
  void AdvanceStippleCounter(float LengthPixels);

  // Draws this bitmap (or SrcRect of it) into DstRect of Dst, clipped to
  // Dst's ClipBox, with this bitmap's DrawMode, StretchFilter, MasterAlpha,
  // CombineMode and OnPixelCombine, then Dst.Changed(). Nothing when either
  // bitmap is blank. Equal sizes go through TransferSameSize, other sizes
  // through TransferStretched. Defined with the stretch transfer in
  // fsGR32_Transforms.cpp.
  void DrawOnto(TBitmap32 &Dst, const TRect &DstRect);
  void DrawOnto(TBitmap32 &Dst, const TRect &DstRect, const TRect &SrcRect);

  // Text (through the installed text backend; without one these raise
  // EfsError "No text renderer is available").
  const TBitmap32Font &Font() const { return FFont; }
  void SetFont(const TBitmap32Font &Value) { FFont = Value; }
  TSize TextExtent(std::string_view Text) const;
  TSize TextExtentW(std::u16string_view Text) const;
  // Draws Text inside Rect with TTextFormat flags, then Changed. With
  // tfCalcRect only Rect is updated. Returns the text height.
  int32_t DrawText(std::string_view Text, TRect &Rect, uint32_t Flags);
  int32_t DrawTextW(std::u16string_view Text, TRect &Rect, uint32_t Flags);
  // Clears List and fills it with the installed font family names, sorted.
  static void ListFontFamilies(std::vector<std::string> &List);

  // BMP file form through the installed stream handlers (without them:
  // EfsError "No bitmap file format is available").
  void LoadFromStream(TStream &Stream);
  void SaveToStream(TStream &Stream) const;
  void LoadFromFile(const std::filesystem::path &FileName);
  void SaveToFile(const std::filesystem::path &FileName) const;

  // The raw form of the "Data" property: Width and Height as 32-bit
  // little-endian, then the pixels in memory order. Reading damaged data
  // raises EReadError and leaves the bitmap as it was.
  void ReadData(TStream &Stream);
  void WriteData(TStream &Stream) const;

protected:
  void ChangeSize(int32_t &Width, int32_t &Height, int32_t NewWidth, int32_t NewHeight) override;

private:
  void HandleChanged();
  void LineClipped(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor32 c, bool IncludeLast,
                   bool Blend);
  void SmoothLine(TFixed X1, TFixed Y1, TFixed X2, TFixed Y2, TColor32 c, bool IncludeLast,
                  bool Stippled);
  void ReleaseStore();

  TColor32 *FBits = nullptr;
  TRect FClipRect;
  TFixedRect FFixedClipRect;
  TRect F256ClipRect; // ClipBox in 24.8
  bool FClipping = false;
  TDrawMode FDrawMode = dmOpaque;
  TBitmap32Font FFont;
  uint32_t FMasterAlpha = 255;
  TColor32 FOuterColor = 0;
  TColor32 FLineColor = 0xFFFFFFFF;
  TArrayOfColor32 FStipplePattern;
  float FStippleCounter = 0;
  float FStippleStep = 1.0f;
  TStretchFilter FStretchFilter = sfNearest;
  TCombineMode FCombineMode = cmBlend;
  int32_t FPenPosX = 0;
  int32_t FPenPosY = 0;
};

// The largest number of pixels a bitmap may hold; larger sizes raise "Can't
// allocate the DIB handle".
constexpr int64_t MaxBitmap32Pixels = int64_t(1) << 30;

// Same-size transfer of SrcRect of Src onto Dst at (DstX, DstY); both
// rectangles already clipped and of equal size. Uses Src's DrawMode,
// CombineMode, MasterAlpha and OnPixelCombine.
void TransferSameSize(TBitmap32 &Dst, int32_t DstX, int32_t DstY, const TBitmap32 &Src,
                      const TRect &SrcRect);

// Stretch transfer of SrcRect of Src onto DstRect of Dst within DstClip.
// Provided by fsGR32_Transforms.cpp.
void TransferStretched(TBitmap32 &Dst, const TRect &DstRect, const TRect &DstClip,
                       const TBitmap32 &Src, const TRect &SrcRect, TStretchFilter Filter,
                       TDrawMode Mode, const TPixelCombineEvent &CombineCallback);

// ---------------------------------------------------------------------------
// Bitmap utilities of the effects: in place, each a no-op on a blank bitmap,
// each ending with Changed.

// New size Height x Width; (x, y) goes to (y, Width - 1 - x).
void Rotate90Left(TBitmap32 &B);
// New size Height x Width; (x, y) goes to (Height - 1 - y, x).
void Rotate90Right(TBitmap32 &B);
void Rotate180(TBitmap32 &B);
// Reverses each row.
void MirrorHorizontal(TBitmap32 &B);
// Reverses the order of rows.
void MirrorVertical(TBitmap32 &B);
// alpha := 255 - alpha, colour bits kept.
void InvertAlpha(TBitmap32 &B);
// Every pixel equals c exactly (an empty bitmap counts as uniform).
bool IsUniform(const TBitmap32 &B, TColor32 c);
// Moves the linear pixel sequence by dx + dy * Width (rows wrap), filling
// the vacated positions with 0.
void ShiftPixels(TBitmap32 &B, int32_t dx, int32_t dy);
// Every pixel := round(f * alpha * 256): a weight, no longer a colour.
void AlphaToWeights(TBitmap32 &B, float f);
// Weights above 255 become colour c with alpha min(v, 65280) >> 8.
void WeightsToColor(TBitmap32 &B, TColor32 c);
// One running-sum box pass over the pixel sequences as integers; Src and Dst
// may be the same bitmap.
void BoxBlurPass(const TBitmap32 &Src, TBitmap32 &Dst, int32_t Offset, int32_t Window);
// Dst (same pixel count, another bitmap) receives at x * Height + y the
// pixel (x, y) of Src.
void Transpose(const TBitmap32 &Src, TBitmap32 &Dst);
void BlurSmooth(TBitmap32 &B, float Radius);
void BlurFast(TBitmap32 &B, float Radius);
// Every pixel p := ColorMergeScaledExact(p, Other's pixel, Alpha); both need
// the same pixel count.
void MergeUnder(TBitmap32 &B, const TBitmap32 &Other, TColor32 Alpha);

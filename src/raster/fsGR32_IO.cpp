// TBitmap32 beyond its own pixels: same-size transfer onto another bitmap,
// text through the text layer, and the stream forms.

#include "raster/fsGR32.h"

#include "base/fsUtf.h"

#include <algorithm>
#include <cstring>
#include <mutex>

// ---------------------------------------------------------------------------
// Same-size transfer

void TransferSameSize(TBitmap32 &Dst, int32_t DstX, int32_t DstY, const TBitmap32 &Src,
                      const TRect &SrcRect) {
  if (Dst.IsBlank() || Src.IsBlank())
    return;
  // Callers clip already; this keeps a careless caller inside both stores.
  TRect s;
  if (!IntersectRect(s, SrcRect, Src.BoundsRect()))
    return;
  const int64_t dx0 = static_cast<int64_t>(DstX) + (s.Left - SrcRect.Left);
  const int64_t dy0 = static_cast<int64_t>(DstY) + (s.Top - SrcRect.Top);
  const TRect &clip = Dst.ClipBox();
  const int64_t left = std::max<int64_t>(dx0, clip.Left);
  const int64_t top = std::max<int64_t>(dy0, clip.Top);
  const int64_t right = std::min<int64_t>(dx0 + s.Width(), clip.Right);
  const int64_t bottom = std::min<int64_t>(dy0 + s.Height(), clip.Bottom);
  if (left >= right || top >= bottom)
    return;
  const int32_t sx = static_cast<int32_t>(s.Left + (left - dx0));
  const int32_t sy = static_cast<int32_t>(s.Top + (top - dy0));
  const int32_t count = static_cast<int32_t>(right - left);
  const int32_t rows = static_cast<int32_t>(bottom - top);
  const uint32_t M = Src.MasterAlpha();

  TDrawMode mode = Src.DrawMode();
  if (mode == dmCustom && !Src.OnPixelCombine)
    mode = dmOpaque;
  if (mode == dmBlend && M == 0)
    return;
  const TBlendSpanProc blend = BlendSpanProcs[Src.CombineMode()];
  const TBlendScaledSpanProc blendScaled = BlendScaledSpanProcs[Src.CombineMode()];
  for (int32_t r = 0; r < rows; ++r) {
    const TColor32 *from = Src.PixelPtr(sx, sy + r);
    TColor32 *to = Dst.PixelPtr(static_cast<int32_t>(left), static_cast<int32_t>(top) + r);
    switch (mode) {
    case dmOpaque:
      std::memmove(to, from, static_cast<size_t>(count) * sizeof(TColor32));
      break;
    case dmBlend:
      if (M < 255)
        blendScaled(from, to, count, M);
      else
        blend(from, to, count);
      break;
    case dmCustom:
      for (int32_t i = 0; i < count; ++i)
        Src.OnPixelCombine(from[i], to[i], M);
      break;
    }
  }
}

// ---------------------------------------------------------------------------
// Text

namespace {

std::mutex GSeamLock;
TBitmap32TextBackend *GTextBackend = nullptr;
TBitmap32StreamLoader GStreamLoader;
TBitmap32StreamSaver GStreamSaver;

TBitmap32TextBackend &TextBackend() {
  std::lock_guard<std::mutex> g(GSeamLock);
  if (!GTextBackend)
    throw EfsError("No text renderer is available");
  return *GTextBackend;
}

} // namespace

void SetBitmap32TextBackend(TBitmap32TextBackend *Backend) {
  std::lock_guard<std::mutex> g(GSeamLock);
  GTextBackend = Backend;
}

TBitmap32TextBackend *Bitmap32TextBackend() {
  std::lock_guard<std::mutex> g(GSeamLock);
  return GTextBackend;
}

TSize TBitmap32::TextExtent(std::string_view Text) const {
  TBitmap32TextBackend &backend = TextBackend();
  if (Text.empty())
    return {};
  return backend.TextExtent(FFont, Text);
}

TSize TBitmap32::TextExtentW(std::u16string_view Text) const {
  return TextExtent(Utf16ToUtf8(Text));
}

int32_t TBitmap32::DrawText(std::string_view Text, TRect &Rect, uint32_t Flags) {
  TBitmap32TextBackend &backend = TextBackend();
  const int32_t height = backend.DrawText(*this, FFont, Text, Rect, Flags);
  if (!(Flags & tfCalcRect))
    Changed();
  return height;
}

int32_t TBitmap32::DrawTextW(std::u16string_view Text, TRect &Rect, uint32_t Flags) {
  return DrawText(Utf16ToUtf8(Text), Rect, Flags);
}

void TBitmap32::ListFontFamilies(std::vector<std::string> &List) {
  List = TextBackend().FontFamilies();
  std::sort(List.begin(), List.end());
}

// ---------------------------------------------------------------------------
// Streams

void SetBitmap32StreamHandlers(TBitmap32StreamLoader Load, TBitmap32StreamSaver Save) {
  std::lock_guard<std::mutex> g(GSeamLock);
  GStreamLoader = std::move(Load);
  GStreamSaver = std::move(Save);
}

void TBitmap32::LoadFromStream(TStream &Stream) {
  TBitmap32StreamLoader load;
  {
    std::lock_guard<std::mutex> g(GSeamLock);
    load = GStreamLoader;
  }
  if (!load)
    throw EfsError("No bitmap file format is available");
  load(*this, Stream);
}

void TBitmap32::SaveToStream(TStream &Stream) const {
  TBitmap32StreamSaver save;
  {
    std::lock_guard<std::mutex> g(GSeamLock);
    save = GStreamSaver;
  }
  if (!save)
    throw EfsError("No bitmap file format is available");
  save(*this, Stream);
}

void TBitmap32::LoadFromFile(const std::filesystem::path &FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(f);
}

void TBitmap32::SaveToFile(const std::filesystem::path &FileName) const {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

void TBitmap32::ReadData(TStream &Stream) {
  int32_t size[2];
  Stream.ReadBuffer(size, sizeof size);
  const int32_t w = size[0], h = size[1];
  if (w < 0 || h < 0)
    throw EReadError();
  // The pixels must really be there before anything is allocated for them.
  const int64_t available = Stream.Size() - Stream.Position();
  if (w != 0 && h > available / 4 / w)
    throw EReadError();
  const int64_t bytes = static_cast<int64_t>(w) * h * 4;
  std::vector<TColor32> pixels(static_cast<size_t>(bytes / 4));
  Stream.ReadBuffer(pixels.data(), bytes);
  TUpdateScope bracket(*this, true);
  Resize(w, h);
  if (!IsBlank())
    std::memcpy(FBits, pixels.data(), static_cast<size_t>(bytes));
}

void TBitmap32::WriteData(TStream &Stream) const {
  const int32_t size[2] = {FWidth, FHeight};
  Stream.WriteBuffer(size, sizeof size);
  if (!IsBlank())
    Stream.WriteBuffer(FBits, static_cast<int64_t>(PixelCount()) * 4);
}

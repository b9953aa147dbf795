#include "engine/fsPrinting.h"

#include "base/fsError.h"
#include "engine/fsDocument.h"
#include "engine/fsPage.h"

#include <algorithm>
#include <cmath>

namespace {

int32_t RoundSize(double v) {
  if (!std::isfinite(v) || v <= 0)
    return 0;
  return static_cast<int32_t>(std::lrint(std::min(v, double(1 << 30))));
}

// One page on its way to the printer: the device rectangle it is centred
// in, how it is turned and mirrored, and the band bitmap reused by every
// band.
struct TPagePrint {
  TfsDocument &Document;
  TfsPage &Page;
  TfsPrinter &Printer;
  TRect Sheet; // after turning: (p, q, r, s)
  bool MirrorX;
  bool MirrorY;
  int Rotation;
  float Dpm;
  TDeviceContext Context;
  TColor32 PageColor;
  TBitmap32 Band;

  void Split(const TRect &device, const TRect &source, double lo, double hi);
  void PrintBand(const TRect &device, const TRect &source);
  bool IsBlank() const;
};

bool TPagePrint::IsBlank() const {
  const TColor32 *p = Band.Bits();
  const int64_t n = static_cast<int64_t>(Band.Width()) * Band.Height();
  const TColor32 colour = PageColor & 0x00FFFFFF;
  for (int64_t i = 0; i < n; ++i)
    if ((p[i] & 0x00FFFFFF) != colour)
      return false;
  return true;
}

void TPagePrint::Split(const TRect &device, const TRect &source, double lo, double hi) {
  const int64_t w = source.Width(), h = source.Height();
  if (w * h < MaxBandPixels + 1) {
    PrintBand(device, source);
    Document.BandPrinted(hi);
    return;
  }
  const double m = (lo + hi) / 2;
  TRect d1 = device, d2 = device, s1 = source, s2 = source;
  if (w > h) {
    s1.Right = s2.Left = source.Left + source.Width() / 2;
    d1.Right = d2.Left = device.Left + device.Width() / 2;
  } else {
    s1.Bottom = s2.Top = source.Top + source.Height() / 2;
    d1.Bottom = d2.Top = device.Top + device.Height() / 2;
  }
  Split(d1, s1, lo, m);
  Split(d2, s2, m, hi);
}

void TPagePrint::PrintBand(const TRect &device, const TRect &source) {
  if (source.Width() <= 0 || source.Height() <= 0 || device.Width() <= 0 || device.Height() <= 0)
    return;
  Band.SetSize(source.Width(), source.Height());
  Band.Clear(PageColor);
  const TFloatRect r =
      FloatRect(static_cast<float>(source.Left) / Dpm, static_cast<float>(source.Top) / Dpm,
                static_cast<float>(source.Right) / Dpm, static_cast<float>(source.Bottom) / Dpm);
  TfsShape::RenderShape(Page, Band, r, Context, true);
  if (Document.OptimizedPrinting() && IsBlank())
    return;
  switch (Rotation) {
  case 1:
    Rotate90Left(Band);
    break;
  case 2:
    Rotate180(Band);
    break;
  case 3:
    Rotate90Right(Band);
    break;
  default:
    break;
  }
  if (MirrorX)
    MirrorHorizontal(Band);
  if (MirrorY)
    MirrorVertical(Band);
  // The band's place in the unturned page reflected so that, once turned,
  // the device's x follows MirrorX and its y MirrorY: for a quarter turn
  // the page's x runs along the device's y.
  const bool turned = Rotation == 1 || Rotation == 3;
  const bool reflectX = turned ? MirrorY : MirrorX;
  const bool reflectY = turned ? MirrorX : MirrorY;
  const int32_t p = Sheet.Left, q = Sheet.Top, rr = Sheet.Right, s = Sheet.Bottom;
  int32_t left = device.Left, top = device.Top;
  const int32_t w = device.Width(), h = device.Height();
  if (reflectX)
    left = p + rr - left - w;
  if (reflectY)
    top = q + s - top - h;
  TRect place;
  switch (Rotation) {
  case 1:
    place = Rect(p + top - q, q + rr - left - w, 0, 0);
    place.Right = place.Left + h;
    place.Bottom = place.Top + w;
    break;
  case 2:
    place = Rect(p + rr - left - w, q + s - top - h, 0, 0);
    place.Right = place.Left + w;
    place.Bottom = place.Top + h;
    break;
  case 3:
    place = Rect(p + s - top - h, q + left - p, 0, 0);
    place.Right = place.Left + h;
    place.Bottom = place.Top + w;
    break;
  default:
    place = Rect(left, top, left + w, top + h);
    break;
  }
  Printer.DrawBand(Band, place);
}

} // namespace

void PrintPage(TfsPage &page, TfsPrinter &printer, const TRect &sheet, bool mirrorX, bool mirrorY,
               int rotation, float dpm) {
  page.EnsureLoaded();
  auto *document = dynamic_cast<TfsDocument *>(page.Document());
  if (!document)
    return;
  document->BeginPrinting();
  struct TEnd {
    TfsDocument &Document;
    ~TEnd() { Document.EndPrinting(); }
  } end{*document};
  if (page.DocAngle() != 0) {
    TfsUnrecordedScope unrecorded(document);
    page.SetDocAngle(0);
  }
  rotation &= 3;
  TRect p = sheet;
  if (rotation == 1 || rotation == 3) {
    p.Right = p.Left + sheet.Height();
    p.Bottom = p.Top + sheet.Width();
  }
  const float pageW = page.DocWidth(), pageH = page.DocHeight();
  if (!(pageW > 0) || !(pageH > 0))
    return;
  const double k =
      std::min(static_cast<double>(p.Height()) / pageH, static_cast<double>(p.Width()) / pageW);
  if (dpm == 0)
    dpm = static_cast<float>(k);
  const int32_t dw = RoundSize(k * pageW), dh = RoundSize(k * pageH);
  const int32_t dx = p.Left + (p.Width() - dw) / 2, dy = p.Top + (p.Height() - dh) / 2;
  const TRect device = Rect(dx, dy, dx + dw, dy + dh);
  const TRect source = Rect(0, 0, RoundSize(static_cast<double>(dpm) * pageW),
                            RoundSize(static_cast<double>(dpm) * pageH));
  if (IsRectEmpty(device) || IsRectEmpty(source))
    return;
  TPagePrint print{*document,
                   page,
                   printer,
                   p,
                   mirrorX,
                   mirrorY,
                   rotation,
                   dpm,
                   document->PrintContext(page, dpm),
                   ToColor32(page.PageColor()),
                   {}};
  print.Split(device, source, 0, 1);
  if (document->Performance() == dpMemoryOverSpeed)
    page.ClearCacheAll();
}

void PrintPageDefault(TfsPage &page, TfsPrinter &printer, const TRect &sheet, bool mirrorX,
                      bool mirrorY, int rotation) {
  PrintPage(page, printer, sheet, mirrorX, mirrorY, rotation, Dpm150);
}

// ---------------------------------------------------------------------------
// The document's part

void TfsDocument::BandPrinted(double fraction) {
  if (FPrintTotal > 0)
    Progress(ptPrint, FPrintCount, FPrintTotal,
             (fraction + static_cast<double>(FPrintCount) - 1) / static_cast<double>(FPrintTotal));
}

void TfsDocument::PrintPages(const std::vector<int> &indexes, TfsPrinter &printer) {
  CheckNotWorking();
  const int64_t n = static_cast<int64_t>(indexes.size());
  struct TEnd {
    TfsDocument &Document;
    ~TEnd() { Document.FPrintCount = Document.FPrintTotal = 0; }
  } end{*this};
  FPrintCount = 0;
  FPrintTotal = n;
  Progress(ptPrint, 0, n, 0);
  printer.BeginDoc("Tallisyn");
  for (int64_t i = 0; i < n; ++i) {
    FPrintCount = i + 1;
    Progress(ptPrint, i + 1, n, static_cast<double>(i) / static_cast<double>(n));
    if (TfsPage *page = GetPage(indexes[static_cast<size_t>(i)])) {
      // The whole sheet in the printable area's coordinates.
      const TSize size = printer.PhysicalSize();
      const TPoint offset = printer.PhysicalOffset();
      const TRect p = Rect(-offset.X, -offset.Y, size.cx - offset.X, size.cy - offset.Y);
      const double w = page->DocWidth(), h = page->DocHeight();
      const double s1 = std::min(p.Height() / h, p.Width() / w);
      const double s2 = std::min(p.Width() / h, p.Height() / w);
      PrintPage(*page, printer, p, false, false, s2 > s1 ? 1 : 0, PrinterDpm());
    }
    if (i < n - 1) {
      printer.NewPage();
      Progress(ptPrint, i + 1, n, static_cast<double>(i + 1) / static_cast<double>(n));
    }
  }
  printer.EndDoc();
  Progress(ptPrint, n, n, 1);
}

#include "cli/CliFonts.h"

#include "persist/fsImageFormats.h"
#include "base/fsConvert.h"
#include "raster/fsGR32.h"
#include "text/fsTextLayer.h"

#include <ostream>

namespace {

// Blank space around the drawn line, in pixels.
constexpr int32_t TextMargin = 4;
constexpr int32_t MaxTextSize = 1000;

} // namespace

void RunFonts(const TCliArgs &args, std::ostream &out) {
  if (!args.empty())
    throw ECliUsage{FontsUsage};
  InstallTextLayer();
  std::vector<std::string> families;
  TBitmap32::ListFontFamilies(families);
  for (const auto &f : families)
    out << f << '\n';
}

void RunText(const TCliArgs &args, std::ostream &out) {
  std::string text, face, size, output;
  bool haveText = false;
  TBitmap32Font font;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    auto value = [&](std::string &into) {
      if (i + 1 >= args.size() || !into.empty())
        throw ECliUsage{TextUsage};
      into = args[++i];
    };
    if (a == "--font")
      value(face);
    else if (a == "--size")
      value(size);
    else if (a == "-o")
      value(output);
    else if (a == "--bold")
      font.Bold = true;
    else if (a == "--italic")
      font.Italic = true;
    else if (!haveText && (a.empty() || a[0] != '-')) {
      text = a;
      haveText = true;
    } else
      throw ECliUsage{TextUsage};
  }
  if (!haveText || face.empty() || size.empty() || output.empty())
    throw ECliUsage{TextUsage};
  int32_t px = StrToInt(size);
  if (px < 1 || px > MaxTextSize)
    throw EfsError("Text size must be between 1 and " + std::to_string(MaxTextSize) + " pixels");

  InstallTextLayer();
  font.Name = face;
  font.Height = -px;
  font.Color = clBlack32;
  TBitmap32 bmp;
  bmp.SetFont(font);
  TSize extent = bmp.TextExtent(text);
  bmp.SetSize(extent.cx + 2 * TextMargin, std::max(extent.cy, px) + 2 * TextMargin);
  bmp.FillAll(0xFFFFFFFF);
  TRect r = Rect(TextMargin, TextMargin, TextMargin + extent.cx, TextMargin + extent.cy);
  bmp.DrawText(text, r, tfSingleLine | tfNoPrefix | tfNoClip);
  SaveBitmapToFile(output, bmp);
  out << output << ' ' << bmp.Width() << 'x' << bmp.Height() << " (" << TextLayerFaceName(font)
      << ")\n";
}

static TCliRegistrar FontsRegistrar({"fonts", FontsUsage, RunFonts});
static TCliRegistrar TextRegistrar({"text", TextUsage, RunText});

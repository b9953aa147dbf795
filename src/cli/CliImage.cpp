#include "cli/CliImage.h"

#include "persist/fsImageFormats.h"
#include "base/fsConvert.h"
#include "raster/fsGR32.h"

#include <ostream>

namespace {

int32_t PositiveArg(const std::string &text) {
  int32_t v = 0;
  if (!TryStrToInt(text, v) || v <= 0)
    throw ECliUsage{ImageUsage};
  return v;
}

} // namespace

void RunImage(const TCliArgs &args, std::ostream &out) {
  if (args.empty() || args[0] != "convert" || (args.size() != 3 && args.size() != 6) ||
      (args.size() == 6 && args[3] != "--max"))
    throw ECliUsage{ImageUsage};
  const std::string &in = args[1], &outName = args[2];

  TfsImageFiler reader;
  reader.SetFileName(in);
  // Without --max the picture keeps its full size.
  reader.MaxWidth = 0;
  reader.MaxHeight = 0;
  if (args.size() == 6) {
    reader.MaxWidth = PositiveArg(args[4]);
    reader.MaxHeight = PositiveArg(args[5]);
  }
  TBitmap32 bitmap;
  reader.LoadBitmap(&bitmap);

  // The format saves into a file beside OUT and renames it over OUT, so a
  // failure leaves OUT as it was.
  TfsImageFiler writer;
  writer.SetFileName(outName);
  writer.SaveBitmap(&bitmap);
  out << outName << ' ' << bitmap.Width() << 'x' << bitmap.Height() << ", " << writer.ByteCount()
      << " bytes\n";
}

static TCliRegistrar ImageRegistrar({"image", ImageUsage, RunImage});

#include "designer/KeyringFile.h"

#include "base/fsAtomicFile.h"
#include "base/fsConvert.h"
#include "base/fsError.h"
#include "designer/uFileUtils.h"

#include <algorithm>

namespace {

constexpr size_t LengthFieldSize = 20;

// Reads one length field and the block behind it, moving pos past both. A
// short field (the image ends inside it) is converted as far as it goes.
std::string ReadSide(std::string_view image, size_t &pos) {
  size_t fieldLen = std::min(LengthFieldSize, image.size() - pos);
  std::string_view field = image.substr(pos, fieldLen);
  pos += fieldLen;
  int32_t length = StrToInt(TrimControl(field));
  // A negative count must not mean "the rest of the file".
  if (length < 0 || static_cast<size_t>(length) > image.size() - pos)
    throw EReadError();
  std::string side(image.substr(pos, static_cast<size_t>(length)));
  pos += static_cast<size_t>(length);
  return side;
}

void AppendSide(std::string &out, std::string_view side) {
  std::string field = std::to_string(side.size());
  field.resize(LengthFieldSize, ' ');
  out += field;
  out += side;
}

} // namespace

TKeyringSides SplitSides(std::string_view image) {
  size_t pos = 0;
  TKeyringSides sides;
  sides.SideA = ReadSide(image, pos);
  sides.SideB = ReadSide(image, pos);
  return sides;
}

std::string JoinSides(std::string_view sideA, std::string_view sideB) {
  std::string out;
  out.reserve(sideA.size() + sideB.size() + 2 * LengthFieldSize);
  AppendSide(out, sideA);
  AppendSide(out, sideB);
  return out;
}

void SaveSidesToFile(const std::filesystem::path &file, std::string_view sideA,
                     std::string_view sideB) {
  SaveFileAtomically(file, JoinSides(sideA, sideB));
}

TKeyringSides LoadSidesFromFile(const std::filesystem::path &file) {
  return SplitSides(ReadWholeFile(file));
}

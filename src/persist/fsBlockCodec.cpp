#include "persist/fsBlockCodec.h"

#include "persist/fsRasterError.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <numeric>
#include <utility>

namespace {

constexpr const char *kCompressFailed = "Unable to compress";
constexpr const char *kDecompressFailed = "Unable to decompress";

// Block header: N, offset of the bit stream, offset of the nibble stream, T.
constexpr size_t kFreqHeader = 13;
// Ranks 0..18 are reached through classes 0 to 2; class 3 stores rank - 19.
constexpr int kFirstByteRank = 19;
constexpr int kByteClassLimit = 256 - kFirstByteRank;

[[noreturn]] void Corrupt() {
  throw ERasterError(kDecompressFailed);
}

const uint8_t *Bytes(std::string_view s) {
  return reinterpret_cast<const uint8_t *>(s.data());
}
uint8_t *Bytes(std::string &s) {
  return reinterpret_cast<uint8_t *>(s.data());
}

void Put32(uint8_t *at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v);
  at[1] = static_cast<uint8_t>(v >> 8);
  at[2] = static_cast<uint8_t>(v >> 16);
  at[3] = static_cast<uint8_t>(v >> 24);
}

int32_t Get32(const uint8_t *at) {
  return static_cast<int32_t>(static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
                              static_cast<uint32_t>(at[2]) << 16 |
                              static_cast<uint32_t>(at[3]) << 24);
}

void DeltaEncodeInPlace(uint8_t *p, size_t n) {
  uint8_t prev = 0;
  for (size_t i = 0; i < n; ++i) {
    uint8_t cur = p[i];
    p[i] = static_cast<uint8_t>(cur - prev);
    prev = cur;
  }
}

void DeltaDecodeInPlace(uint8_t *p, size_t n) {
  uint8_t sum = 0;
  for (size_t i = 0; i < n; ++i) {
    sum = static_cast<uint8_t>(sum + p[i]);
    p[i] = sum;
  }
}

void PutLiterals(std::string &out, const uint8_t *p, size_t len) {
  while (len > 0) {
    size_t chunk = std::min<size_t>(len, 127);
    out.push_back(static_cast<char>(chunk));
    out.append(reinterpret_cast<const char *>(p), chunk);
    p += chunk;
    len -= chunk;
  }
}

void PutRepeats(std::string &out, uint8_t value, size_t len) {
  while (len > 0) {
    size_t chunk = std::min<size_t>(len, 127);
    // A repeat group cannot say 1, so never leave a single byte behind.
    if (len - chunk == 1)
      --chunk;
    if (chunk == 1) { // only for len 1, which the scanner never asks for
      PutLiterals(out, &value, 1);
      return;
    }
    out.push_back(static_cast<char>(1 - static_cast<int>(chunk)));
    out.push_back(static_cast<char>(value));
    len -= chunk;
  }
}

} // namespace

std::string DeltaEncode(std::string_view in) {
  std::string out(in);
  DeltaEncodeInPlace(Bytes(out), out.size());
  return out;
}

std::string DeltaDecode(std::string_view in) {
  std::string out(in);
  DeltaDecodeInPlace(Bytes(out), out.size());
  return out;
}

size_t FreqEncodedBound(size_t n) {
  return kFreqHeader + 256 + n + n / 4 + 3;
}

std::string FreqEncode(std::string_view in) {
  const size_t n = in.size();
  if (n > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw ERasterError(kCompressFailed);
  const uint8_t *p = Bytes(in);

  uint64_t count[256] = {};
  for (size_t i = 0; i < n; ++i)
    ++count[p[i]];

  // This exact exchange order decides how ties are ranked, and with it the
  // bytes of every stored block.
  uint8_t table[256];
  std::iota(table, table + 256, 0);
  for (int i = 0; i < 255; ++i)
    for (int j = 255; j > i; --j)
      if (count[table[j]] > count[table[i]])
        std::swap(table[i], table[j]);

  int last = 255;
  for (int r = kFirstByteRank; r < 256; ++r)
    if (count[table[r]] == 0) {
      last = r;
      break;
    }

  uint8_t rank[256];
  for (int r = 0; r < 256; ++r)
    rank[table[r]] = static_cast<uint8_t>(r);

  size_t bitCount = 0, nibbleCount = 0, byteCount = 0;
  for (int r = 1; r < 256; ++r) {
    uint64_t c = count[table[r]];
    if (r <= 2)
      bitCount += c;
    else if (r < kFirstByteRank)
      nibbleCount += c;
    else
      byteCount += c;
  }

  const size_t classAt = kFreqHeader + static_cast<size_t>(last) + 1;
  const size_t byteAt = classAt + n / 4 + 1;
  const size_t nibbleAt = byteAt + byteCount;
  const size_t bitAt = nibbleAt + nibbleCount / 2 + 1;
  const size_t total = bitAt + bitCount / 8 + 1;

  std::string out(total, '\0');
  uint8_t *o = Bytes(out);
  Put32(o, static_cast<uint32_t>(n));
  Put32(o + 4, static_cast<uint32_t>(bitAt));
  Put32(o + 8, static_cast<uint32_t>(nibbleAt));
  o[12] = static_cast<uint8_t>(last);
  std::copy(table, table + last + 1, o + kFreqHeader);

  uint8_t *classes = o + classAt;
  uint8_t *bytes = o + byteAt;
  uint8_t *nibbles = o + nibbleAt;
  uint8_t *bits = o + bitAt;
  size_t nibbleIndex = 0, bitIndex = 0;
  for (size_t i = 0; i < n; ++i) {
    const int r = rank[p[i]];
    int cls;
    if (r == 0) {
      cls = 0;
    } else if (r <= 2) {
      cls = 1;
      bits[bitIndex >> 3] |= static_cast<uint8_t>((r - 1) << (bitIndex & 7));
      ++bitIndex;
    } else if (r < kFirstByteRank) {
      cls = 2;
      nibbles[nibbleIndex >> 1] |= static_cast<uint8_t>((r - 3) << ((nibbleIndex & 1) * 4));
      ++nibbleIndex;
    } else {
      cls = 3;
      *bytes++ = static_cast<uint8_t>(r - kFirstByteRank);
    }
    classes[i >> 2] |= static_cast<uint8_t>(cls << ((i & 3) * 2));
  }
  return out;
}

std::string FreqDecode(std::string_view block) {
  const uint8_t *b = Bytes(block);
  const uint64_t size = block.size();
  if (size < kFreqHeader)
    Corrupt();
  const int64_t n = Get32(b);
  const int64_t bitAt = Get32(b + 4);
  const int64_t nibbleAt = Get32(b + 8);
  const int last = b[12];
  const uint64_t classAt = kFreqHeader + static_cast<uint64_t>(last) + 1;
  if (n < 0 || bitAt < 0 || nibbleAt < 0)
    Corrupt();
  // The streams must lie in order inside the block; this also bounds n by
  // four times the block size before anything is allocated.
  const uint64_t byteAt = classAt + static_cast<uint64_t>(n) / 4 + 1;
  if (byteAt > static_cast<uint64_t>(nibbleAt) || nibbleAt > bitAt ||
      static_cast<uint64_t>(bitAt) > size)
    Corrupt();

  // Count the symbols of each class first, so that the stream lengths are
  // checked once and the decoding loop needs no bounds tests.
  static const auto kClassCounts = [] {
    std::array<std::array<uint8_t, 4>, 256> t{};
    for (int v = 0; v < 256; ++v)
      for (int k = 0; k < 4; ++k)
        ++t[static_cast<size_t>(v)][static_cast<size_t>((v >> (2 * k)) & 3)];
    return t;
  }();
  const uint8_t *classes = b + classAt;
  const uint64_t fullBytes = static_cast<uint64_t>(n) / 4;
  uint64_t perClass[4] = {};
  for (uint64_t i = 0; i < fullBytes; ++i)
    for (int c = 1; c < 4; ++c)
      perClass[c] += kClassCounts[classes[i]][static_cast<size_t>(c)];
  for (int64_t i = static_cast<int64_t>(fullBytes) * 4; i < n; ++i)
    ++perClass[(classes[i >> 2] >> ((i & 3) * 2)) & 3];
  // Each stream must be exactly as long as its symbols need (the bit
  // stream at least), so that a cut block is noticed even where its last
  // bytes were only padding.
  if (byteAt + perClass[3] != static_cast<uint64_t>(nibbleAt) ||
      static_cast<uint64_t>(bitAt - nibbleAt) != perClass[2] / 2 + 1 ||
      static_cast<uint64_t>(bitAt) + perClass[1] / 8 + 1 > size)
    Corrupt();

  // Symbol by class and stored value; -1 where the rank lies beyond the
  // stored table (never given to any byte) or is no rank at all.
  const uint8_t *table = b + kFreqHeader;
  auto symbol = [&](int r) { return r <= last ? int16_t(table[r]) : int16_t(-1); };
  int16_t bitSymbol[2], nibbleSymbol[16], byteSymbol[256];
  for (int v = 0; v < 2; ++v)
    bitSymbol[v] = symbol(1 + v);
  for (int v = 0; v < 16; ++v)
    nibbleSymbol[v] = symbol(3 + v);
  for (int v = 0; v < 256; ++v)
    byteSymbol[v] = v < kByteClassLimit ? symbol(kFirstByteRank + v) : int16_t(-1);

  std::string out(static_cast<size_t>(n), '\0');
  uint8_t *o = Bytes(out);
  const uint8_t first = table[0];
  const uint8_t *bytes = b + byteAt;
  const uint8_t *nibbles = b + nibbleAt;
  const uint8_t *bits = b + bitAt;
  uint64_t nibbleIndex = 0, bitIndex = 0;
  for (int64_t i = 0; i < n; ++i) {
    int sym;
    switch ((classes[i >> 2] >> ((i & 3) * 2)) & 3) {
    case 0:
      sym = first;
      break;
    case 1:
      sym = bitSymbol[(bits[bitIndex >> 3] >> (bitIndex & 7)) & 1];
      ++bitIndex;
      break;
    case 2:
      sym = nibbleSymbol[(nibbles[nibbleIndex >> 1] >> ((nibbleIndex & 1) * 4)) & 15];
      ++nibbleIndex;
      break;
    default:
      sym = byteSymbol[*bytes++];
      break;
    }
    if (sym < 0)
      Corrupt();
    o[i] = static_cast<uint8_t>(sym);
  }
  return out;
}

std::string RleEncode(std::string_view in) {
  const uint8_t *p = Bytes(in);
  const size_t m = in.size();
  std::string out;
  if (m < 3) {
    out.push_back(static_cast<char>(m));
    out.append(in);
    return out;
  }
  out.reserve(m + m / 127 + 2);
  size_t pending = 0; // first byte not yet written
  bool inRun = false;
  for (size_t i = 2; i < m; ++i) {
    if (!inRun) {
      if (i >= pending + 2 && p[i] == p[i - 1] && p[i - 1] == p[i - 2]) {
        PutLiterals(out, p + pending, i - 2 - pending);
        pending = i - 2;
        inRun = true;
      }
    } else if (p[i] != p[i - 1]) {
      // The run's last byte starts the next literal.
      PutRepeats(out, p[pending], i - 1 - pending);
      pending = i - 1;
      inRun = false;
    }
  }
  if (inRun)
    PutRepeats(out, p[pending], m - pending);
  else
    PutLiterals(out, p + pending, m - pending);
  return out;
}

std::string RleDecode(std::string_view in, size_t maxOut) {
  const uint8_t *p = Bytes(in);
  const size_t m = in.size();
  // First pass: check the groups and add up the output before allocating.
  uint64_t total = 0;
  for (size_t i = 0; i < m;) {
    const int h = static_cast<int8_t>(p[i++]);
    if (h >= 0) {
      if (static_cast<size_t>(h) > m - i)
        Corrupt();
      total += static_cast<uint64_t>(h);
      i += static_cast<size_t>(h);
    } else {
      if (h < -126 || i >= m)
        Corrupt();
      total += static_cast<uint64_t>(1 - h);
      ++i;
    }
    if (total > maxOut)
      Corrupt();
  }
  std::string out(static_cast<size_t>(total), '\0');
  uint8_t *o = Bytes(out);
  for (size_t i = 0; i < m;) {
    const int h = static_cast<int8_t>(p[i++]);
    if (h >= 0) {
      o = std::copy(p + i, p + i + h, o);
      i += static_cast<size_t>(h);
    } else {
      o = std::fill_n(o, 1 - h, p[i++]);
    }
  }
  return out;
}

std::string BlockCompress(std::string_view in) {
  if (in.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw ERasterError(kCompressFailed);
  std::string delta(in);
  DeltaEncodeInPlace(Bytes(delta), delta.size());
  std::string ranked = FreqEncode(delta);
  delta = std::string();
  std::string runs = RleEncode(ranked);
  ranked = std::string();
  if (runs.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
    throw ERasterError(kCompressFailed);
  return FreqEncode(runs);
}

std::string BlockDecompress(std::string_view block, size_t expectedSize) {
  if (expectedSize > static_cast<size_t>(std::numeric_limits<int32_t>::max()) ||
      expectedSize / BlockMaxExpansion > block.size())
    Corrupt();
  std::string runs = FreqDecode(block);
  std::string ranked = RleDecode(runs, FreqEncodedBound(expectedSize));
  runs = std::string();
  // The inner block names its length first; refuse before decoding it.
  if (ranked.size() < 4 || Get32(Bytes(ranked)) != static_cast<int32_t>(expectedSize))
    Corrupt();
  std::string out = FreqDecode(ranked);
  if (out.size() != expectedSize)
    Corrupt();
  DeltaDecodeInPlace(Bytes(out), out.size());
  return out;
}

namespace {

void CheckPlanes(int planes) {
  if (planes < 1 || planes > 8)
    throw ERasterError("Unsupported number of planes");
}

} // namespace

std::string SplitPlanes(std::string_view in, int planes) {
  CheckPlanes(planes);
  const size_t n = static_cast<size_t>(planes);
  const size_t plane = in.size() / n;
  std::string out(in.size(), '\0');
  const char *s = in.data();
  for (size_t k = 0; k < n; ++k) {
    char *d = out.data() + k * plane;
    for (size_t i = 0; i < plane; ++i)
      d[i] = s[i * n + k];
  }
  std::copy(in.begin() + static_cast<ptrdiff_t>(plane * n), in.end(),
            out.begin() + static_cast<ptrdiff_t>(plane * n));
  return out;
}

std::string MergePlanes(std::string_view in, int planes) {
  CheckPlanes(planes);
  const size_t n = static_cast<size_t>(planes);
  const size_t plane = in.size() / n;
  std::string out(in.size(), '\0');
  char *d = out.data();
  for (size_t k = 0; k < n; ++k) {
    const char *s = in.data() + k * plane;
    for (size_t i = 0; i < plane; ++i)
      d[i * n + k] = s[i];
  }
  std::copy(in.begin() + static_cast<ptrdiff_t>(plane * n), in.end(),
            out.begin() + static_cast<ptrdiff_t>(plane * n));
  return out;
}

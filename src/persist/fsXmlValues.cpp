#include "persist/fsXmlValues.h"

#include "persist/fsXmlCodec.h"
#include "base/fsConvert.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

bool IsXmlWhite(char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// The value of "#123" or "#x7B" (without "&" and ";"), or -1 when it is no
// numeric reference; overlong values are reported as too large.
int64_t NumericReference(std::string_view ref) {
  if (ref.size() < 2 || ref[0] != '#')
    return -1;
  bool hex = ref[1] == 'x' || ref[1] == 'X';
  size_t i = hex ? 2 : 1;
  if (i == ref.size())
    return -1;
  int64_t v = 0;
  for (; i < ref.size(); ++i) {
    int d = hex ? HexDigit(ref[i]) : (ref[i] >= '0' && ref[i] <= '9' ? ref[i] - '0' : -1);
    if (d < 0)
      return -1;
    v = v * (hex ? 16 : 10) + d;
    if (v > 0x7FFFFFFF)
      v = 0x7FFFFFFF; // stays out of range, no overflow
  }
  return v;
}

bool AllDigits(std::string_view s) {
  if (s.empty())
    return false;
  for (char c : s)
    if (c < '0' || c > '9')
      return false;
  return true;
}

bool Digits(std::string_view text, size_t pos, size_t len, int &v) {
  if (text.size() < pos + len || !AllDigits(text.substr(pos, len)))
    return false;
  v = 0;
  for (char c : text.substr(pos, len))
    v = v * 10 + (c - '0');
  return true;
}

// Proleptic Gregorian day numbers counted from 1 March of year 0.
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t &y, int &m, int &d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y += m <= 2;
}

const int64_t DelphiEpoch = DaysFromCivil(1899, 12, 30);
const int64_t MSecsPerDay = 86400000;

int DaysInMonth(int64_t y, int m) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : days[m - 1];
}

const char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct TBase64Table {
  unsigned char Value[256] = {}; // "=" padding and anything unexpected count as zero bits
  TBase64Table() {
    for (int i = 0; i < 64; ++i)
      Value[static_cast<unsigned char>(Base64Alphabet[i])] = static_cast<unsigned char>(i);
  }
};

inline uint32_t Base64Value(char c) {
  static const TBase64Table table;
  return table.Value[static_cast<unsigned char>(c)];
}

} // namespace

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '\'':
      out += "&apos;";
      break;
    case '"':
      out += "&quot;";
      break;
    default:
      out.push_back(c);
    }
  }
  return out;
}

std::string XmlResolveEntities(std::string_view text, bool utf8Text) {
  size_t amp = text.find('&');
  if (amp == std::string_view::npos)
    return std::string(text);
  std::string out(text.substr(0, amp));
  size_t i = amp;
  while (i < text.size()) {
    char c = text[i];
    if (c != '&') {
      out.push_back(c);
      ++i;
      continue;
    }
    size_t semi = text.find(';', i + 1);
    if (semi == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    std::string_view name = text.substr(i + 1, semi - i - 1);
    const char *named = name == "amp"    ? "&"
                        : name == "lt"   ? "<"
                        : name == "gt"   ? ">"
                        : name == "apos" ? "'"
                        : name == "quot" ? "\""
                                         : nullptr;
    if (named) {
      out += named;
      i = semi + 1;
      continue;
    }
    int64_t v = NumericReference(name);
    if (v >= 0 && utf8Text && v < 65535) {
      AppendUtf8(out, static_cast<uint32_t>(v));
      i = semi + 1;
    } else if (v >= 0 && !utf8Text && v < 255) {
      out.push_back(static_cast<char>(v));
      i = semi + 1;
    } else {
      // Not ours to resolve; the next "&" may still start an entity.
      out.push_back('&');
      ++i;
    }
  }
  return out;
}

std::string XmlDequote(std::string_view text) {
  if (text.size() <= 1 || (text[0] != '"' && text[0] != '\''))
    return std::string(text);
  char q = text[0];
  std::string out;
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] == q) {
      if (i + 1 < text.size() && text[i + 1] == q) {
        out.push_back(q);
        ++i;
        continue;
      }
      break;
    }
    out.push_back(text[i]);
  }
  return out;
}

std::string XmlFloatToText(double value, int digits, bool allowExponent) {
  if (digits < 1 || digits > 9)
    throw EXmlError("Significant digits out of range");
  if (value == 0)
    return "0";
  // Infinite and NaN values would never leave the scaling loops; they get
  // the platform's usual names and read back as the caller's default.
  if (std::isnan(value))
    return "NAN";
  if (std::isinf(value))
    return value < 0 ? "-INF" : "INF";
  std::string sign;
  long double x = value;
  if (x < 0) {
    sign = "-";
    x = -x;
  }
  const int n = digits;
  long double low = 1, high = 1;
  for (int i = 0; i < n - 1; ++i)
    low *= 10;
  high = low * 10;
  int e = n;
  while (x < low) {
    x = x * 10;
    --e;
  }
  while (x >= high) {
    x = x * 0.1L;
    ++e;
  }
  auto m = static_cast<int64_t>(std::nearbyintl(x));
  if (m >= static_cast<int64_t>(high)) {
    m = static_cast<int64_t>(low);
    ++e;
  }
  int d = n;
  while (m % 10 == 0 && d > e) {
    m /= 10;
    --d;
  }
  bool hasExponent = false;
  int exponent = 0;
  if (allowExponent && (e < -1 || e > d + 2)) {
    hasExponent = true;
    exponent = e - 1;
    e = 1;
  }
  std::string digitText = std::to_string(m);
  if (d < e) {
    digitText.append(static_cast<size_t>(e - d), '0');
    d = e;
  }
  std::string result = sign;
  if (e <= 0) {
    result.push_back('.');
    result.append(static_cast<size_t>(-e), '0');
    result += digitText;
  } else if (d > e) {
    result.append(digitText, 0, static_cast<size_t>(e));
    result.push_back('.');
    result.append(digitText, static_cast<size_t>(e), std::string::npos);
  } else {
    result += digitText;
  }
  if (hasExponent) {
    result.push_back('E');
    result += std::to_string(exponent);
  }
  return result;
}

bool XmlTextToFloat(std::string_view text, double &value) {
  std::string s(text);
  size_t comma = s.find(',');
  if (comma != std::string::npos)
    s[comma] = '.';
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-'))
    ++i;
  size_t mantissa = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9')
    ++i, ++mantissa;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
      ++i, ++mantissa;
  }
  if (mantissa == 0)
    return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
      ++i;
    size_t expDigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
      ++i, ++expDigits;
    if (expDigits == 0)
      return false;
  }
  if (i != s.size())
    return false;
  const char *b = s.data();
  if (*b == '+')
    ++b;
  double v = 0;
  auto r = std::from_chars(b, s.data() + s.size(), v);
  if (r.ptr != s.data() + s.size() && r.ec != std::errc::result_out_of_range)
    return false;
  if (r.ec == std::errc::result_out_of_range)
    return false;
  value = v;
  return true;
}

bool XmlTextToInt64(std::string_view text, int64_t &value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i < text.size() && text[i] == '$') {
    ++i;
    if (i == text.size() || text.size() - i > 16)
      return false;
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
      int d = HexDigit(text[i]);
      if (d < 0)
        return false;
      v = v << 4 | static_cast<uint64_t>(d);
    }
    value = static_cast<int64_t>(negative ? 0 - v : v);
    return true;
  }
  if (i == text.size())
    return false;
  uint64_t v = 0;
  const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9')
      return false;
    auto d = static_cast<uint64_t>(c - '0');
    if (v > (limit - d) / 10)
      return false;
    v = v * 10 + d;
  }
  value = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}

bool XmlTextToBool(std::string_view text, bool &value) {
  if (text.empty())
    return false;
  switch (text[0]) {
  case 'T':
  case 't':
  case 'Y':
  case 'y':
    value = true;
    return true;
  case 'F':
  case 'f':
  case 'N':
  case 'n':
    value = false;
    return true;
  default:
    return false;
  }
}

std::string XmlDateTimeToText(double value) {
  // Outside years 1..9999 there is no date; the text reads back as the
  // caller's default.
  if (!std::isfinite(value) || value < -693594.0 || value > 2958466.0)
    return "0000-00-00";
  double whole = std::trunc(value);
  auto days = static_cast<int64_t>(whole);
  auto ms = static_cast<int64_t>(std::nearbyint(std::fabs(value - whole) * MSecsPerDay));
  if (ms >= MSecsPerDay) {
    ms -= MSecsPerDay;
    days += value < 0 ? -1 : 1;
  }
  int64_t y;
  int m, d;
  CivilFromDays(days + DelphiEpoch, y, m, d);
  char buf[64];
  if (value == whole)
    std::snprintf(buf, sizeof buf, "%.4d-%.2d-%.2d", static_cast<int>(y), m, d);
  else
    std::snprintf(buf, sizeof buf, "%.4d-%.2d-%.2dT%.2d:%.2d:%.2d.%.3dZ", static_cast<int>(y), m, d,
                  static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60),
                  static_cast<int>(ms / 1000 % 60), static_cast<int>(ms % 1000));
  return buf;
}

bool XmlTextToDateTime(std::string_view text, double &value) {
  int y, m, d;
  if (!Digits(text, 0, 4, y) || !Digits(text, 5, 2, m) || !Digits(text, 8, 2, d))
    return false;
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m))
    return false;
  double date = static_cast<double>(DaysFromCivil(y, m, d) - DelphiEpoch);
  double time = 0;
  if (text.size() > 16) {
    int hh, mm, ss = 0, ms = 0;
    if (!Digits(text, 11, 2, hh) || !Digits(text, 14, 2, mm))
      return false;
    if (!Digits(text, 17, 2, ss))
      ss = 0;
    if (!Digits(text, 20, 3, ms))
      ms = 0;
    if (hh > 23 || mm > 59 || ss > 59)
      return false;
    time = (hh * 3600000.0 + mm * 60000.0 + ss * 1000.0 + ms) / MSecsPerDay;
  }
  value = date >= 0 ? date + time : date - time;
  return true;
}

std::string XmlStripWhite(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (!IsXmlWhite(c))
      out.push_back(c);
  return out;
}

std::string Base64Encode(const void *data, size_t count) {
  const auto *p = static_cast<const unsigned char *>(data);
  std::string out;
  out.resize((count + 2) / 3 * 4);
  char *o = out.data();
  size_t i = 0;
  for (; i + 3 <= count; i += 3) {
    uint32_t v = uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8 | p[i + 2];
    *o++ = Base64Alphabet[v >> 18];
    *o++ = Base64Alphabet[(v >> 12) & 63];
    *o++ = Base64Alphabet[(v >> 6) & 63];
    *o++ = Base64Alphabet[v & 63];
  }
  if (count - i == 1) {
    uint32_t v = uint32_t(p[i]) << 16;
    *o++ = Base64Alphabet[v >> 18];
    *o++ = Base64Alphabet[(v >> 12) & 63];
    *o++ = '=';
    *o++ = '=';
  } else if (count - i == 2) {
    uint32_t v = uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8;
    *o++ = Base64Alphabet[v >> 18];
    *o++ = Base64Alphabet[(v >> 12) & 63];
    *o++ = Base64Alphabet[(v >> 6) & 63];
    *o++ = '=';
  }
  return out;
}

std::string BinHexEncode(const void *data, size_t count) {
  static const char digits[] = "0123456789ABCDEF";
  const auto *p = static_cast<const unsigned char *>(data);
  std::string out(count * 2, '0');
  for (size_t i = 0; i < count; ++i) {
    out[2 * i] = digits[p[i] >> 4];
    out[2 * i + 1] = digits[p[i] & 15];
  }
  return out;
}

int64_t Base64DecodedLength(std::string_view text) {
  if (text.size() % 4 != 0)
    throw EXmlError("Error while calculating streamlength");
  auto len = static_cast<int64_t>(text.size() / 4 * 3);
  for (int k = 0; k < 2 && !text.empty() && text.back() == '='; ++k) {
    text.remove_suffix(1);
    --len;
  }
  return len;
}

int64_t BinHexDecodedLength(std::string_view text) {
  if (text.size() % 2 != 0)
    throw EXmlError("Error while calculating streamlength");
  return static_cast<int64_t>(text.size() / 2);
}

void Base64Decode(std::string_view text, void *buffer, int64_t count) {
  if (count < 0 || static_cast<int64_t>(text.size() / 4 * 3) < count)
    throw EXmlError("Missing data in binary stream");
  auto *out = static_cast<unsigned char *>(buffer);
  int64_t done = 0;
  for (size_t i = 0; done < count; i += 4) {
    uint32_t v = Base64Value(text[i]) << 18 | Base64Value(text[i + 1]) << 12 |
                 Base64Value(text[i + 2]) << 6 | Base64Value(text[i + 3]);
    for (int k = 0; k < 3 && done < count; ++k)
      out[done++] = static_cast<unsigned char>(v >> (16 - 8 * k));
  }
}

void BinHexDecode(std::string_view text, void *buffer, int64_t count) {
  if (count < 0 || static_cast<int64_t>(text.size()) < 2 * count)
    throw EXmlError("Missing data in binary stream");
  auto *out = static_cast<unsigned char *>(buffer);
  for (int64_t i = 0; i < count; ++i) {
    int hi = HexDigit(text[static_cast<size_t>(2 * i)]);
    int lo = HexDigit(text[static_cast<size_t>(2 * i + 1)]);
    out[i] = static_cast<unsigned char>((hi < 0 ? 0 : hi) << 4 | (lo < 0 ? 0 : lo));
  }
}

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Text forms of the typed XML values: escaping, numbers, Booleans, dates and
// the two binary codings. Shared by the node operations and usable alone.

// "&", "<", ">", "'" and '"' as their named entities.
std::string XmlEscape(std::string_view text);
// The five named entities and numeric references (decimal or "&#x" hex);
// a reference is replaced only when its value fits the in-memory text
// (below 65535 as UTF-8, below 255 as a byte of 8-bit text).
std::string XmlResolveEntities(std::string_view text, bool utf8Text);
// Removes quotes around an attribute value when it starts with one
// (a doubled quote inside becomes one).
std::string XmlDequote(std::string_view text);

// The file text of a float with the given significant digits (1..9,
// otherwise "Significant digits out of range"): no leading zero, trailing
// zeros dropped, exponent notation when the value is far from 1.
std::string XmlFloatToText(double value, int digits, bool allowExponent);
// Optional sign, digits with an optional point, optional exponent; the first
// "," counts as the point. False for anything else.
bool XmlTextToFloat(std::string_view text, double &value);
// Optional sign, then decimal digits or "$" and hexadecimal digits.
bool XmlTextToInt64(std::string_view text, int64_t &value);
// By the first letter: T/Y true, F/N false, either case.
bool XmlTextToBool(std::string_view text, bool &value);

// Dates as days since 30 December 1899, time of day in the fraction.
std::string XmlDateTimeToText(double value);
bool XmlTextToDateTime(std::string_view text, double &value);

// Removes tab, LF, CR and space.
std::string XmlStripWhite(std::string_view text);
std::string Base64Encode(const void *data, size_t count);
std::string BinHexEncode(const void *data, size_t count);
// On text already stripped of white space. Lengths fail with "Error while
// calculating streamlength", decoding with "Missing data in binary stream".
int64_t Base64DecodedLength(std::string_view text);
int64_t BinHexDecodedLength(std::string_view text);
void Base64Decode(std::string_view text, void *buffer, int64_t count);
void BinHexDecode(std::string_view text, void *buffer, int64_t count);

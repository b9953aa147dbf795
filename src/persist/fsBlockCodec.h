#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The block codec of HCK pictures and of compressed bitmap elements: delta,
// frequency code, run length, frequency code again. Every function works on
// whole buffers in memory; byte buffers are std::string as elsewhere in the
// engine.
//
// The decoders take any bytes: a damaged block raises ERasterError with
// "Unable to decompress", never reads or writes outside the buffers, and
// never allocates more than a small multiple of its input or of the size the
// caller expects.

// out[i] = in[i] - in[i-1] modulo 256, with in[-1] = 0.
std::string DeltaEncode(std::string_view in);
// The inverse: a running sum modulo 256.
std::string DeltaDecode(std::string_view in);

// The most bytes FreqEncode can make of n input bytes; callers that keep
// their own buffers size them for this.
size_t FreqEncodedBound(size_t n);
// Frequency code: the bytes ranked by falling count, each byte stored as a
// 2-bit class and, by class, a bit, a nibble or a byte of its rank.
std::string FreqEncode(std::string_view in);
// Decodes one frequency-coded block (which may be followed by other bytes).
std::string FreqDecode(std::string_view block);

// Run length: literal groups (header 0..127) and repeat groups (header
// -126..-1, the next byte repeated 1 - header times).
std::string RleEncode(std::string_view in);
// Fails when the output would grow beyond maxOut bytes.
std::string RleDecode(std::string_view in, size_t maxOut);

// The most bytes BlockDecompress makes of one block byte: the frequency
// code yields at most 4 bytes per block byte, run length at most 127 per 2,
// and the frequency code comes twice (4 x 63.5 x 4).
constexpr size_t BlockMaxExpansion = 1016;

// All four stages; inputs above 2^31 - 1 bytes raise "Unable to compress".
std::string BlockCompress(std::string_view in);
// The inverse of BlockCompress; the result must be exactly expectedSize
// bytes long, otherwise "Unable to decompress" (at once when the block is
// too short to give that many).
std::string BlockDecompress(std::string_view block, size_t expectedSize);

// Planar split for n planes (1..8): byte i * n + k goes to position
// k * (size div n) + i; the size mod n trailing bytes stay at the end.
std::string SplitPlanes(std::string_view in, int planes);
// The inverse of SplitPlanes.
std::string MergePlanes(std::string_view in, int planes);

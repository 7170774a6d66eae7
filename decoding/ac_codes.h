// The variable-length codes of DV's AC coefficients (IEC 61834), decoded from
// a 16-bit window of the bit stream by two look-ups: the first ten bits find
// every code of up to ten bits with its sign; the codes that begin 11111
// (eleven to sixteen bits) are found by the eleven bits after that prefix.
// The tables are made at compile time.
//
// A code's meaning is libdv's: `run` zero coefficients are skipped, then
// `amplitude` is stored (codes with amplitude 0 store a zero). Some patterns
// of the escape prefixes are no code at all; they are marked invalid and
// given the window's whole length, so that with fewer bits at hand they read
// as a code cut short, as libdv's bit-limited decoder reads them.
#pragma once

#include <array>
#include <cstdint>

namespace ozmira::ac_codes {

// One decoded code, packed: bits 0-7 its length in bits (sign included),
// bits 8-15 one more than its run or one of the markers below (its step: the
// coefficient it stores moves a block's place on by that much), bits 16-31
// its amplitude. The length comes first so that a reader can shift its bits
// on by the code itself: x86 takes a shift's count from its low six bits.
using Code = uint32_t;

inline constexpr int kWindowBits = 16;
inline constexpr unsigned kEndOfBlock = 64;  // marker runs, above any real run
inline constexpr unsigned kInvalid = 128;
inline constexpr unsigned kLongCode = 192;  // first table only: look in the second
inline constexpr int kEndOfBlockBits = 4;

inline constexpr int kShortIndexBits = 10;
inline constexpr int kLongIndexBits = 11;
extern const std::array<Code, 1 << kShortIndexBits> kShortCodes;
extern const std::array<Code, 1 << kLongIndexBits> kLongCodes;

// Both tables in one, for a reader that finds the index without a branch:
// the larger of a 16-bit window's first ten bits and the window less
// kLongBias. Below 0xf800 (the windows that begin 11111) the first is never
// smaller, from there on never larger, and the second table's entries follow
// the first's that come before 0xf800.
inline constexpr int kLongBias = 0xf800 - (0xf800 >> (kWindowBits - kShortIndexBits));
extern const std::array<Code, (0xf800 >> (kWindowBits - kShortIndexBits)) + (1 << kLongIndexBits)>
    kBothTables;

// Up to two codes decoded by one look-up (kPairs), for a reader whose next
// code's place hangs on the one before: bits 0-31 the first code but for
// its length, which is that of both; bits 32-39 the second's step, 48-63 its
// amplitude. One code alone has step 0 and its own amplitude again, so that
// storing "both" stores it twice.
using Pair = uint64_t;
extern const std::array<Pair, 1 << kShortIndexBits> kPairs;

constexpr Pair pair_of(Code first, unsigned second_step, int second_amplitude) {
  return first | Pair{second_step} << 32 | Pair{static_cast<uint16_t>(second_amplitude)} << 48;
}
constexpr unsigned second_step(Pair pair) { return (pair >> 32) & 0xff; }
constexpr int second_amplitude(Pair pair) { return static_cast<int16_t>(pair >> 48); }

constexpr unsigned length(Code code) { return code & 0xff; }
constexpr unsigned step(Code code) { return (code >> 8) & 0xff; }
constexpr unsigned run(Code code) { return step(code) - 1; }
constexpr int amplitude(Code code) { return static_cast<int32_t>(code) >> 16; }

// The code at the top of `window` (the next 16 bits of the stream, the first
// one in bit 15).
inline Code decode(unsigned window) {
  const Code code = kShortCodes[window >> (kWindowBits - kShortIndexBits)];
  if (run(code) != kLongCode) return code;
  return kLongCodes[window & ((1u << kLongIndexBits) - 1)];
}

}  // namespace ozmira::ac_codes

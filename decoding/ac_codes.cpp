#include "ac_codes.h"

#include <algorithm>
#include <string_view>

namespace ozmira::ac_codes {
namespace {

// The code words without their sign bit; every one with an amplitude above 0
// is followed by a sign bit (1: negative).
struct CodeWord {
  std::string_view bits;
  int run, amplitude;
};

constexpr CodeWord kEndOfBlockWord{"0110", 0, 0};

constexpr CodeWord kCodeWords[] = {
    {"00", 0, 1},
    {"010", 0, 2},
    {"0111", 1, 1},
    {"1000", 0, 3},
    {"1001", 0, 4},
    {"10100", 2, 1},
    {"10101", 1, 2},
    {"10110", 0, 5},
    {"10111", 0, 6},
    {"110000", 3, 1},
    {"110001", 4, 1},
    {"110010", 0, 7},
    {"110011", 0, 8},
    {"1101000", 5, 1},
    {"1101001", 6, 1},
    {"1101010", 2, 2},
    {"1101011", 1, 3},
    {"1101100", 1, 4},
    {"1101101", 0, 9},
    {"1101110", 0, 10},
    {"1101111", 0, 11},
    {"11100000", 7, 1},
    {"11100001", 8, 1},
    {"11100010", 9, 1},
    {"11100011", 10, 1},
    {"11100100", 3, 2},
    {"11100101", 4, 2},
    {"11100110", 2, 3},
    {"11100111", 1, 5},
    {"11101000", 1, 6},
    {"11101001", 1, 7},
    {"11101010", 0, 12},
    {"11101011", 0, 13},
    {"11101100", 0, 14},
    {"11101101", 0, 15},
    {"11101110", 0, 16},
    {"11101111", 0, 17},
    {"111100000", 11, 1},
    {"111100001", 12, 1},
    {"111100010", 13, 1},
    {"111100011", 14, 1},
    {"111100100", 5, 2},
    {"111100101", 6, 2},
    {"111100110", 3, 3},
    {"111100111", 4, 3},
    {"111101000", 2, 4},
    {"111101001", 2, 5},
    {"111101010", 1, 8},
    {"111101011", 0, 18},
    {"111101100", 0, 19},
    {"111101101", 0, 20},
    {"111101110", 0, 21},
    {"111101111", 0, 22},
    {"1111100000", 5, 3},
    {"1111100001", 3, 4},
    {"1111100010", 3, 5},
    {"1111100011", 2, 6},
    {"1111100100", 1, 9},
    {"1111100101", 1, 10},
    {"1111100110", 1, 11},
    {"11111001110", 0, 0},
    {"11111001111", 1, 0},
    {"11111010000", 6, 3},
    {"11111010001", 4, 4},
    {"11111010010", 3, 6},
    {"11111010011", 1, 12},
    {"11111010100", 1, 13},
    {"11111010101", 1, 14},
    {"111110101100", 2, 0},
    {"111110101101", 3, 0},
    {"111110101110", 4, 0},
    {"111110101111", 5, 0},
    {"111110110000", 7, 2},
    {"111110110001", 8, 2},
    {"111110110010", 9, 2},
    {"111110110011", 10, 2},
    {"111110110100", 7, 3},
    {"111110110101", 8, 3},
    {"111110110110", 4, 5},
    {"111110110111", 3, 7},
    {"111110111000", 2, 7},
    {"111110111001", 2, 8},
    {"111110111010", 2, 9},
    {"111110111011", 2, 10},
    {"111110111100", 2, 11},
    {"111110111101", 1, 15},
    {"111110111110", 1, 16},
    {"111110111111", 1, 17},
};

// The escapes: 1111110 and a 6-bit run (amplitude 0), 1111111 and an 8-bit
// amplitude with its sign (run 0). Runs and amplitudes outside these ranges
// have shorter codes of their own, and their escape patterns are invalid.
constexpr unsigned kRunEscape = 0b1111110, kAmplitudeEscape = 0b1111111;
constexpr int kEscapePrefixBits = 7, kRunEscapeBits = 13, kAmplitudeEscapeBits = 16;
constexpr int kLowestEscapedRun = 6, kHighestEscapedRun = 61;
constexpr int kLowestEscapedAmplitude = 23;
constexpr unsigned kLongPrefix = 0b11111;  // every code longer than ten bits
constexpr int kLongPrefixBits = 5;

constexpr Code pack(int length, unsigned run, int amplitude) {
  return static_cast<Code>(length) | (run + 1) << 8 | (static_cast<uint32_t>(amplitude) << 16);
}

constexpr Code kInvalidCode = pack(kWindowBits, kInvalid, 0);

constexpr unsigned value_of(std::string_view bits) {
  unsigned value = 0;
  for (char bit : bits) value = value << 1 | (bit == '1');
  return value;
}

// A table of the codes whose first `skip` bits are fixed, by the next
// `index_bits` bits of the window. Filling by code rather than by index keeps
// the compile-time work small.
template <int kIndexBits>
struct CodeTable {
  std::array<Code, 1 << kIndexBits> codes{};
  int skip;

  // Every index whose bits begin with the `length` bits of `pattern` (the
  // window's first bits, the fixed ones included) gets `code`.
  constexpr void put(unsigned pattern, int length, Code code) {
    const int own_bits = length - skip, shift = kIndexBits - own_bits;
    const unsigned first = (pattern & ((1u << own_bits) - 1)) << shift;
    for (unsigned i = first; i < first + (1u << shift); ++i) codes[i] = code;
  }

  // A code word, with each sign where it has one.
  constexpr void put(const CodeWord &word) {
    const int bits = static_cast<int>(word.bits.size());
    const unsigned value = value_of(word.bits);
    if (word.amplitude == 0) return put(value, bits, pack(bits, word.run, 0));
    put(value << 1, bits + 1, pack(bits + 1, word.run, word.amplitude));
    put(value << 1 | 1, bits + 1, pack(bits + 1, word.run, -word.amplitude));
  }

  constexpr void check_complete() const {
    for (Code code : codes) {
      if (code == 0) throw "incomplete code table";
    }
  }
};

constexpr bool is_long(const CodeWord &word) {
  return word.bits.size() >= kLongPrefixBits && value_of(word.bits.substr(0, kLongPrefixBits)) == kLongPrefix;
}

constexpr std::array<Code, 1 << kShortIndexBits> make_short_codes() {
  CodeTable<kShortIndexBits> table{{}, 0};
  table.put(value_of(kEndOfBlockWord.bits), kEndOfBlockBits, pack(kEndOfBlockBits, kEndOfBlock, 0));
  for (const CodeWord &word : kCodeWords) {
    if (!is_long(word)) table.put(word);
  }
  table.put(kLongPrefix, kLongPrefixBits, pack(0, kLongCode, 0));
  table.check_complete();
  return table.codes;
}

constexpr std::array<Code, 1 << kLongIndexBits> make_long_codes() {
  CodeTable<kLongIndexBits> table{{}, kLongPrefixBits};
  for (const CodeWord &word : kCodeWords) {
    if (is_long(word)) table.put(word);
  }
  constexpr int kRunBits = kRunEscapeBits - kEscapePrefixBits,
                kAmplitudeBits = kAmplitudeEscapeBits - 1 - kEscapePrefixBits;
  for (int run = 0; run < 1 << kRunBits; ++run) {
    const bool valid = run >= kLowestEscapedRun && run <= kHighestEscapedRun;
    table.put(kRunEscape << kRunBits | run, kRunEscapeBits,
              valid ? pack(kRunEscapeBits, run, 0) : kInvalidCode);
  }
  for (int amplitude = 0; amplitude < 1 << kAmplitudeBits; ++amplitude) {
    const unsigned pattern = (kAmplitudeEscape << kAmplitudeBits | amplitude) << 1;
    const bool valid = amplitude >= kLowestEscapedAmplitude;
    table.put(pattern, kAmplitudeEscapeBits, valid ? pack(kAmplitudeEscapeBits, 0, amplitude) : kInvalidCode);
    table.put(pattern | 1, kAmplitudeEscapeBits,
              valid ? pack(kAmplitudeEscapeBits, 0, -amplitude) : kInvalidCode);
  }
  table.check_complete();
  return table.codes;
}

// By the same ten bits as the short codes: the two codes at the window's
// top when both are ordinary coefficients whose bits lie within those ten,
// else the first code alone.
constexpr std::array<Pair, 1 << kShortIndexBits> make_pairs(
    const std::array<Code, 1 << kShortIndexBits> &codes) {
  std::array<Pair, 1 << kShortIndexBits> pairs{};
  const auto ordinary = [](Code code) { return length(code) != 0 && step(code) <= kEndOfBlock; };
  for (unsigned index = 0; index < pairs.size(); ++index) {
    const Code first = codes[index];
    pairs[index] = pair_of(first, 0, amplitude(first));
    if (!ordinary(first)) continue;
    const Code second = codes[(index << length(first)) & ((1u << kShortIndexBits) - 1)];
    const unsigned both = length(first) + length(second);
    if (ordinary(second) && both <= kShortIndexBits)
      pairs[index] = pair_of((first & ~0xffu) | both, step(second), amplitude(second));
  }
  return pairs;
}

using BothTables = std::array<Code, (0xf800 >> (kWindowBits - kShortIndexBits)) + (1 << kLongIndexBits)>;

constexpr BothTables make_both_tables(const std::array<Code, 1 << kShortIndexBits> &short_codes,
                                      const std::array<Code, 1 << kLongIndexBits> &long_codes) {
  BothTables both{};
  const unsigned short_entries = both.size() - long_codes.size();
  for (unsigned index = 0; index < both.size(); ++index)
    both[index] = index < short_entries ? short_codes[index] : long_codes[index - short_entries];
  // Each window's index: its first ten bits below the long codes (the
  // largest window of each ten-bit group suffices, the other index growing
  // with the window), the window less kLongBias from there on.
  const auto index_of = [](unsigned window) {
    return std::max(static_cast<int>(window >> (kWindowBits - kShortIndexBits)),
                    static_cast<int>(window) - kLongBias);
  };
  constexpr unsigned kGroup = 1u << (kWindowBits - kShortIndexBits);
  for (unsigned index = 0; index < short_entries; ++index) {
    if (run(short_codes[index]) == kLongCode ||
        index_of(index * kGroup + kGroup - 1) != static_cast<int>(index))
      throw "the combined table's index misses";
  }
  for (unsigned window = short_entries * kGroup; window < 1u << kWindowBits; ++window) {
    const unsigned index = window - short_entries * kGroup;
    if (index_of(window) != static_cast<int>(short_entries + index) ||
        run(short_codes[window / kGroup]) != kLongCode)
      throw "the combined table's index misses";
  }
  return both;
}

}  // namespace

constexpr std::array<Code, 1 << kShortIndexBits> kShortCodes = make_short_codes();
constexpr std::array<Code, 1 << kLongIndexBits> kLongCodes = make_long_codes();
constexpr std::array<Pair, 1 << kShortIndexBits> kPairs = make_pairs(kShortCodes);
constexpr BothTables kBothTables = make_both_tables(kShortCodes, kLongCodes);

}  // namespace ozmira::ac_codes

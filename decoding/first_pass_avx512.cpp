// The segment parser's first pass with AVX-512: every block of the segment
// in a 32-bit lane of its own, eight lanes to a vector, four vectors in turn
// (a gather of eight takes about half the time of one of sixteen). Each
// block's own area has a start and a length known in advance, so the 30
// readings are independent, and one step of the loop takes a code of each
// block still reading. The scalar reader waits on each code's chain and on a
// mispredicted branch wherever a block's codes end; here a block's end only
// clears its lane's bit in a mask.
//
// A lane holds its area's bits in four registers (128 bits for at most 100),
// the next bit at the top of the first; a code is looked up by one gather in
// both code tables at once (ac_codes::kBothTables), and the four registers
// shift on by its length. The coefficients stored are listed (where, what)
// and written after the loop: no instruction writes 16-bit values to eight
// places.
//
// Built with AVX-512 (F, BW, VL, VBMI, VBMI2); called only where the
// processor has them.
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstddef>

#include "segment_state.h"

namespace ozmira::segment {
namespace {

constexpr int kLanes = 8;
constexpr int kVectors = 4;
constexpr int kSegmentBlocks = kBlocks * kMacroblocksPerSegment;   // 30
constexpr int kBlockStartByte[kBlocks] = {4, 18, 32, 46, 60, 70};  // each block's head, then its codes
constexpr int kHeadBits = 12;
constexpr int kQnoByte = 3;  // low four bits
constexpr int kQnoMask = 0xf;
constexpr int kAreaBits[kBlocks] = {100, 100, 100, 100, 68, 68};
constexpr int kEndOfBlockStep = ac_codes::kEndOfBlock + 1;
// Lane i of vector v is block (v * kLanes + i) of the segment, kBlocks a
// macroblock: the order of the segment's masks.
struct LaneTable {
  alignas(32) int32_t values[kVectors * kLanes];
};
template <typename F>
constexpr LaneTable per_block(F f) {
  LaneTable t{};
  for (int i = 0; i < kSegmentBlocks; ++i) t.values[i] = f(i / kBlocks, i % kBlocks);
  return t;
}
constexpr LaneTable kBlockStart = per_block([](int m, int b) { return m * 80 + kBlockStartByte[b]; });
constexpr LaneTable kAreaEnd =
    per_block([](int m, int b) { return (m * 80 + kBlockStartByte[b]) * 8 + kHeadBits + kAreaBits[b]; });
constexpr LaneTable kArea = per_block([](int, int b) { return kAreaBits[b]; });
// Where the block's coefficients are, in coefficients from the segment's first.
constexpr LaneTable kCoefficientsAt = per_block([](int m, int b) {
  return static_cast<int>((m * sizeof(dv_macroblock_t) + b * sizeof(dv_block_t)) / sizeof(dv_coeff_t));
});
static_assert(kMacroblocksPerSegment * sizeof(dv_macroblock_t) / sizeof(dv_coeff_t) < 1 << 16,
              "a coefficient's place fits the upper half of a list entry");

__m256i lanes(const LaneTable &t, int v) {
  return _mm256_load_si256(reinterpret_cast<const __m256i *>(t.values + v * kLanes));
}

// The heads' fields, for a 16-bit head (9-bit DC, DCT mode, 2-bit class) at
// the top of a word.
constexpr int kDcShift = 16 + 7, kDctModeShift = 16 + 6, kClassShift = 16 + 4;
constexpr int kDctModeBit = 1 << kDctModeShift;

// One vector's blocks.
struct Blocks {
  __m256i w0, w1, w2, w3;  // the area's bits not yet taken, the next at the top of w0
  __m256i left;            // how many
  __m256i last;            // the place of the last coefficient stored
  __m256i head;            // the block's head at the top
  __mmask8 reading;
  __mmask8 order248;  // blocks in 2-4-8 mode
  // What stopped the blocks that stopped: a code cut short by the area's
  // end, or an end-of-block code; neither is an invalid code.
  __mmask8 cut_short = 0, ended = 0;
};

// Each vector's blocks lie within 128 bytes of the segment from
// kWindowByte[v]: two byte permutes of those bytes give every lane's first
// four big-endian words, the block's head at the top. The last block's last
// word lies past the segment, and past its area: any byte serves.
constexpr int kWindowByte[kVectors] = {0, 112, 220, 272};
constexpr int kWindowBytes = 128, kWords = 4;
struct WindowIndices {
  alignas(64) uint8_t bytes[kVectors][kWords / 2][64];
};
constexpr WindowIndices kWindowIndices = [] {
  WindowIndices t{};
  for (int v = 0; v < kVectors; ++v)
    for (int k = 0; k < kWords; ++k)
      for (int lane = 0; lane < kLanes; ++lane)
        for (int j = 0; j < 4; ++j) {
          const int i = v * kLanes + lane;
          const int at = i < kSegmentBlocks ? kBlockStart.values[i] + 4 * k + 3 - j : kWindowByte[v];
          const int from = std::min(at, static_cast<int>(kSegmentBytes) - 1) - kWindowByte[v];
          if (from < 0 || from >= kWindowBytes ||
              kWindowByte[v] + kWindowBytes > static_cast<int>(kSegmentBytes))
            throw "a block's bits outside its vector's window";
          t.bytes[v][k / 2][(k % 2) * 32 + lane * 4 + j] = static_cast<uint8_t>(from);
        }
  return t;
}();

Blocks start(const uint8_t *segment, int v, __mmask8 parsed) {
  Blocks x;
  const __m512i low = _mm512_loadu_si512(segment + kWindowByte[v]);
  const __m512i high = _mm512_loadu_si512(segment + kWindowByte[v] + 64);
  const __m512i d01 = _mm512_permutex2var_epi8(low, _mm512_load_si512(kWindowIndices.bytes[v][0]), high);
  const __m512i d23 = _mm512_permutex2var_epi8(low, _mm512_load_si512(kWindowIndices.bytes[v][1]), high);
  const __m256i d0 = _mm512_castsi512_si256(d01), d1 = _mm512_extracti64x4_epi64(d01, 1);
  const __m256i d2 = _mm512_castsi512_si256(d23), d3 = _mm512_extracti64x4_epi64(d23, 1);
  x.head = d0;
  x.w0 = _mm256_shldi_epi32(d0, d1, kHeadBits);
  x.w1 = _mm256_shldi_epi32(d1, d2, kHeadBits);
  x.w2 = _mm256_shldi_epi32(d2, d3, kHeadBits);
  x.w3 = _mm256_slli_epi32(d3, kHeadBits);  // past every area's end
  x.left = lanes(kArea, v);
  x.last = _mm256_setzero_si256();
  x.reading = parsed;
  x.order248 = _mm256_test_epi32_mask(d0, _mm256_set1_epi32(kDctModeBit));
  return x;
}

// The coefficient orders, each in two halves for a two-register byte permute.
struct Orders {
  __m256i zigzag_low, zigzag_high, order248_low, order248_high;
};

// Takes a code of every block of vector v still reading. Each stored
// coefficient goes to `list` as its place in the coefficients (upper half)
// and its value.
template <Keep kKeep>
[[gnu::always_inline]] inline void step(Blocks &x, int v, const Orders &orders, uint32_t *&list) {
  const __m256i byte = _mm256_set1_epi32(0xff);
  const __m256i index = _mm256_max_epi32(_mm256_srli_epi32(x.w0, 32 - ac_codes::kShortIndexBits),
                                         _mm256_sub_epi32(_mm256_srli_epi32(x.w0, 32 - ac_codes::kWindowBits),
                                                          _mm256_set1_epi32(ac_codes::kLongBias)));
  const __m256i code = _mm256_i32gather_epi32(reinterpret_cast<const int *>(ac_codes::kBothTables.data()),
                                              index, sizeof(ac_codes::Code));
  const __m256i length = _mm256_and_si256(code, byte);
  const __m256i code_step = _mm256_and_si256(_mm256_srli_epi32(code, 8), byte);
  const __m256i place = _mm256_add_epi32(x.last, code_step);
  const __mmask8 fits = _mm256_mask_cmple_epu32_mask(x.reading, length, x.left);
  const __mmask8 stored = _mm256_mask_cmplt_epu32_mask(fits, place, _mm256_set1_epi32(kCoefficients));
  x.cut_short |= x.reading & ~fits;
  x.ended |= _mm256_mask_cmpeq_epi32_mask(fits & ~stored, code_step, _mm256_set1_epi32(kEndOfBlockStep));
  x.reading = stored;
  x.last = _mm256_mask_mov_epi32(x.last, stored, place);
  x.left = _mm256_mask_sub_epi32(x.left, stored, x.left, length);
  // A block that stopped reads no more: its bits may shift on.
  x.w0 = _mm256_shldv_epi32(x.w0, x.w1, length);
  x.w1 = _mm256_shldv_epi32(x.w1, x.w2, length);
  x.w2 = _mm256_shldv_epi32(x.w2, x.w3, length);
  x.w3 = _mm256_sllv_epi32(x.w3, length);
  if constexpr (kKeep == Keep::kCoefficients) {
    // A place below 64 is its lane's low byte, the others zero, and both
    // orders start at 0: a byte permute looks the order up for the lane.
    const __m256i in_order = _mm256_mask_blend_epi32(
        x.order248, _mm256_permutex2var_epi8(orders.zigzag_low, place, orders.zigzag_high),
        _mm256_permutex2var_epi8(orders.order248_low, place, orders.order248_high));
    const __m256i entry =
        _mm256_or_si256(_mm256_slli_epi32(_mm256_add_epi32(lanes(kCoefficientsAt, v), in_order), 16),
                        _mm256_srli_epi32(code, 16));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(list), _mm256_maskz_compress_epi32(stored, entry));
    list += __builtin_popcount(stored);
  }
}

// The blocks' outcomes, as in the masks of SegmentState; the cursors'
// offsets and places.
struct Outcome {
  uint32_t ended, lenders, pending, invalid, ac_free;
};
struct Fields {
  alignas(32) int32_t offset[kVectors * kLanes], position[kVectors * kLanes];
  alignas(32) int32_t dc[kVectors * kLanes], dct_mode[kVectors * kLanes], class_no[kVectors * kLanes];
};
Outcome finish(const Blocks &x, __mmask8 parsed, int v, Fields &f) {
  const auto put = [&](int32_t *to, __m256i values) {
    _mm256_store_si256(reinterpret_cast<__m256i *>(to + v * kLanes), values);
  };
  put(f.dc, _mm256_srai_epi32(x.head, kDcShift));
  put(f.dct_mode, _mm256_and_si256(_mm256_srli_epi32(x.head, kDctModeShift), _mm256_set1_epi32(1)));
  put(f.class_no, _mm256_and_si256(_mm256_srli_epi32(x.head, kClassShift), _mm256_set1_epi32(3)));
  const __m256i eob_bits = _mm256_set1_epi32(ac_codes::kEndOfBlockBits);
  const __mmask8 lenders = _mm256_mask_cmpgt_epi32_mask(x.ended, x.left, eob_bits);
  const __m256i left = _mm256_mask_sub_epi32(x.left, x.ended, x.left, eob_bits);
  put(f.offset, _mm256_sub_epi32(lanes(kAreaEnd, v), left));
  put(f.position, _mm256_add_epi32(x.last, _mm256_set1_epi32(1)));
  const int shift = v * kLanes;
  const __mmask8 ac_free = _mm256_mask_cmpeq_epi32_mask(x.ended, x.last, _mm256_setzero_si256());
  return {uint32_t{x.ended} << shift, uint32_t{lenders} << shift, uint32_t{x.cut_short} << shift,
          uint32_t(parsed & ~x.cut_short & ~x.ended) << shift, uint32_t{ac_free} << shift};
}

__m256i order_half(const Order &order, int half) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i *>(order.data() + 32 * half));
}

}  // namespace

template <Keep kKeep>
bool FirstPassAvx512(const uint8_t *segment, SegmentState &s) {
  constexpr bool kKeeps = kKeep == Keep::kCoefficients;
  const uint32_t parsed_blocks = s.blocks == kBlocks ? (1u << kSegmentBlocks) - 1 : [] {
    uint32_t bits = 0;
    for (int m = 0; m < kMacroblocksPerSegment; ++m) bits |= ((1u << kLumaBlocks) - 1) << (kBlocks * m);
    return bits;
  }();
  const auto parsed = [&](int v) { return static_cast<__mmask8>(parsed_blocks >> (v * kLanes)); };
  Blocks a = start(segment, 0, parsed(0)), b = start(segment, 1, parsed(1)), c = start(segment, 2, parsed(2)),
         d = start(segment, 3, parsed(3));
  const Orders orders = {order_half(kOrder[0], 0), order_half(kOrder[0], 1), order_half(kOrder[1], 0),
                         order_half(kOrder[1], 1)};
  // At most 63 coefficients a block, and a whole vector's store past the last.
  uint32_t list[kSegmentBlocks * (kCoefficients - 1) + kLanes];
  uint32_t *end = list;
  while ((a.reading | b.reading | c.reading | d.reading) != 0) {
    if (a.reading) step<kKeep>(a, 0, orders, end);
    if (b.reading) step<kKeep>(b, 1, orders, end);
    if (c.reading) step<kKeep>(c, 2, orders, end);
    if (d.reading) step<kKeep>(d, 3, orders, end);
  }
  // The later passes read the segment from the copy, which has zeros after it.
  for (unsigned at = 0; at + 64 <= kSegmentBytes; at += 64)
    _mm512_storeu_si512(s.bits + at, _mm512_loadu_si512(segment + at));
  constexpr unsigned kTail = kSegmentBytes % 64;
  _mm512_mask_storeu_epi8(
      s.bits + kSegmentBytes - kTail, (__mmask64{1} << (kTail + kLoadBytes)) - 1,
      _mm512_maskz_loadu_epi8((__mmask64{1} << kTail) - 1, segment + kSegmentBytes - kTail));
  Fields f;
  Outcome all{};
  for (const Outcome &o : {finish(a, parsed(0), 0, f), finish(b, parsed(1), 1, f), finish(c, parsed(2), 2, f),
                           finish(d, parsed(3), 3, f)}) {
    all.ended |= o.ended;
    all.lenders |= o.lenders;
    all.pending |= o.pending;
    all.invalid |= o.invalid;
    all.ac_free |= o.ac_free;
  }
  s.ended = all.ended;
  s.ac_free = all.ac_free;
  s.lenders = all.lenders;
  s.pending = all.pending;
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    if constexpr (kKeeps) s.mb[m].qno = segment[m * 80 + kQnoByte] & kQnoMask;
    for (int b = 0, i = kBlocks * m; b < s.blocks; ++b, ++i) {
      s.cursor[m][b] = {f.offset[i], kAreaEnd.values[i], f.position[i]};
      if constexpr (kKeeps) {
        dv_block_t &block = s.mb[m].b[b];
        _mm512_storeu_si512(block.coeffs, _mm512_setzero_si512());
        _mm512_storeu_si512(block.coeffs + 32, _mm512_setzero_si512());
        block.coeffs[0] = static_cast<dv_coeff_t>(f.dc[i]);
        block.dct_mode = f.dct_mode[i];
        block.class_no = f.class_no[i];
        block.eob = (s.ended >> i) & 1;
      }
    }
  }
  if constexpr (kKeeps) {
    dv_coeff_t *coefficients = s.mb[0].b[0].coeffs;
    for (const uint32_t *entry = list; entry != end; ++entry)
      coefficients[*entry >> 16] = static_cast<dv_coeff_t>(*entry);
  }
  return all.invalid == 0;
}

template bool FirstPassAvx512<Keep::kCoefficients>(const uint8_t *segment, SegmentState &s);
template bool FirstPassAvx512<Keep::kNothing>(const uint8_t *segment, SegmentState &s);

}  // namespace ozmira::segment

// The steps of libdv's MMX inverse DCT (idct_block_mmx_x86_64.S) on vectors
// of 16-bit lanes, for any instruction set whose operations the Ops type
// gives: SSE2 (one block, idct_88.cpp) or AVX2 (two blocks side by side, one
// in each 128-bit half, idct_88_avx2.cpp). Every operation works within
// 128-bit halves, so each half sees exactly what the SSE2 build sees.
//
// The MMX routine prescales every coefficient (preSC, with the weights folded
// in), runs a 1-D pass down the columns four at a time, transposes, and runs a
// second 1-D pass, again four columns at a time, ending with a shift by 4.
// Its second pass treats all eight columns alike, so here it is one pass over
// eight lanes. Its first pass does not: the right four columns keep one more
// bit of precision at several steps and add a rounding constant, so each
// shift that differs is done both ways and the two halves joined (the left
// four lanes from one, the right four from the other). Saturating adds and
// subtracts, wrapping shifts left and the high half of signed products are the
// MMX instructions' own, so every intermediate value is the MMX one.
//
// Only templates here: each build instantiates them with its own types, so no
// function compiled for AVX2 can stand in for an SSE2 one.
#pragma once

namespace ozmira::idct_steps {

// Fixed-point cosines of the MMX routine (multiplied with pmulhw).
constexpr short kCos4 = 0x5a82;     // 23170
constexpr short kOdd539f = 0x539f;  // 21407
constexpr short kOdd4546 = 0x4546;  // 17734
constexpr short kOdd61f8 = 0x61f8;  // 25080
constexpr int kOutputShift = 4;

template <typename Ops>
struct Rows {
  typename Ops::V r[8];
};

// Arithmetic shifts right and shifts left by one amount in the left four
// columns and another in the right four.
template <typename Ops, int left, int right>
inline typename Ops::V sra(typename Ops::V x) {
  return Ops::join(left ? Ops::template srai<left>(x) : x, right ? Ops::template srai<right>(x) : x);
}
template <typename Ops, int left, int right>
inline typename Ops::V sll(typename Ops::V x) {
  return Ops::join(left ? Ops::template slli<left>(x) : x, right ? Ops::template slli<right>(x) : x);
}

// The first pass down the columns: the MMX routine's "column 0" in the left
// lanes and "column 1" in the right.
template <typename Ops>
inline Rows<Ops> first_pass(const Rows<Ops> &x) {
  using V = typename Ops::V;
  const auto adds = Ops::adds, subs = Ops::subs;
  const auto mulhi = Ops::mulhi;
  // Even part: rows 0, 2, 4, 6.
  const V x2 = sll<Ops, 0, 1>(x.r[2]), x6 = sra<Ops, 1, 0>(x.r[6]);
  const V even_difference = mulhi(subs(x2, x6), kCos4);
  const V even_sum = adds(x2, x6);
  const V sum_half = Ops::template srai<1>(even_sum), sum_quarter = Ops::template srai<2>(even_sum);
  const V outer_sum = sra<Ops, 1, 0>(adds(x.r[0], x.r[4]));
  const V outer_difference = sra<Ops, 2, 1>(subs(x.r[0], x.r[4]));
  const V inner = subs(even_difference, sum_quarter);
  const V e0 = adds(outer_sum, sum_half), e3 = subs(outer_sum, sum_half);
  const V e1 = adds(inner, outer_difference), e2 = subs(outer_difference, inner);

  // Odd part: rows 1, 3, 5, 7.
  const V x3 = sll<Ops, 0, 1>(x.r[3]);
  const V d53 = subs(x.r[5], x3), s53 = adds(x.r[5], x3);
  const V s53_half = Ops::template srai<1>(s53);
  const V p33 = Ops::template slli<1>(mulhi(d53, kOdd539f));
  const V x7 = Ops::template srai<2>(Ops::add(x.r[7], Ops::last_row_bias()));
  const V s17 = adds(x.r[1], x7), d17 = subs(x.r[1], x7);
  const V s17_scaled = sra<Ops, 1, 0>(s17);
  const V p35 = mulhi(sll<Ops, 0, 1>(d17), kOdd4546);
  const V p36 = mulhi(subs(Ops::template srai<1>(d53), sra<Ops, 1, 0>(d17)), kOdd61f8);
  const V o0 = adds(s17_scaled, s53_half);
  const V p34 = mulhi(subs(s17_scaled, s53_half), kCos4);
  const V p37 = sll<Ops, 1, 0>(subs(p36, p33));
  const V p38 = sll<Ops, 1, 0>(subs(p35, p36));
  const V o0_scaled = sra<Ops, 0, 1>(o0);
  const V o1 = subs(p38, o0_scaled);
  const V o2 = subs(sll<Ops, 2, 1>(p34), o1);
  const V o3 = adds(p37, o2);

  // Output butterfly.
  const V e0_scaled = sra<Ops, 0, 1>(e0), e1_scaled = sll<Ops, 1, 0>(e1), e2_scaled = sll<Ops, 1, 0>(e2),
          e3_scaled = sra<Ops, 0, 1>(e3);
  return {{adds(e0_scaled, o0_scaled), adds(e1_scaled, o1), adds(e2_scaled, o2), subs(e3_scaled, o3),
           adds(e3_scaled, o3), subs(e2_scaled, o2), subs(e1_scaled, o1), subs(e0_scaled, o0_scaled)}};
}

template <typename Ops>
inline Rows<Ops> transpose(const Rows<Ops> &x) {
  typename Ops::V a[8], b[8];
#pragma GCC unroll 4
  for (int i = 0; i < 4; ++i) {
    a[i] = Ops::unpacklo16(x.r[2 * i], x.r[2 * i + 1]);
    a[i + 4] = Ops::unpackhi16(x.r[2 * i], x.r[2 * i + 1]);
  }
#pragma GCC unroll 2
  for (int i = 0; i < 8; i += 4) {
    b[i] = Ops::unpacklo32(a[i], a[i + 1]);
    b[i + 1] = Ops::unpackhi32(a[i], a[i + 1]);
    b[i + 2] = Ops::unpacklo32(a[i + 2], a[i + 3]);
    b[i + 3] = Ops::unpackhi32(a[i + 2], a[i + 3]);
  }
  Rows<Ops> t;
#pragma GCC unroll 2
  for (int i = 0; i < 2; ++i) {
    const int from = 4 * i;
    t.r[4 * i + 0] = Ops::unpacklo64(b[from], b[from + 2]);
    t.r[4 * i + 1] = Ops::unpackhi64(b[from], b[from + 2]);
    t.r[4 * i + 2] = Ops::unpacklo64(b[from + 1], b[from + 3]);
    t.r[4 * i + 3] = Ops::unpackhi64(b[from + 1], b[from + 3]);
  }
  return t;
}

// The second pass, the same in every lane, with the final shift: the eight
// output rows.
template <typename Ops>
inline Rows<Ops> second_pass(const Rows<Ops> &p) {
  using V = typename Ops::V;
  const auto adds = Ops::adds, subs = Ops::subs;
  const auto mulhi = Ops::mulhi;
  const V d26 = mulhi(subs(p.r[2], p.r[6]), kCos4), s26 = adds(p.r[2], p.r[6]);
  const V s04 = adds(p.r[0], p.r[4]), d04 = subs(p.r[0], p.r[4]);
  const V inner = subs(Ops::template slli<2>(d26), s26);
  const V e0 = adds(s04, s26), e1 = adds(d04, inner), e2 = subs(d04, inner), e3 = subs(s04, s26);

  const V d53 = subs(p.r[5], p.r[3]), s53 = adds(p.r[5], p.r[3]);
  const V s17 = adds(p.r[1], p.r[7]), d17 = subs(p.r[1], p.r[7]);
  const V p151 = mulhi(d53, kOdd539f), p153 = mulhi(d17, kOdd4546);
  const V p154 = mulhi(subs(d53, d17), kOdd61f8), p152 = mulhi(subs(s17, s53), kCos4);
  const V o0 = adds(s17, s53);
  const V p155 = subs(p154, Ops::template slli<2>(p151));
  const V p156 = subs(Ops::template slli<1>(p153), p154);
  const V o1 = subs(Ops::template slli<1>(p156), o0);
  const V o2 = subs(Ops::template slli<2>(p152), o1);
  const V o3 = adds(Ops::template slli<1>(p155), o2);

  const V out[8] = {adds(e0, o0), adds(e1, o1), adds(e2, o2), subs(e3, o3),
                    adds(e3, o3), subs(e2, o2), subs(e1, o1), subs(e0, o0)};
  Rows<Ops> rows;
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) rows.r[i] = Ops::template srai<kOutputShift>(out[i]);
  return rows;
}

template <typename Ops>
inline Rows<Ops> transform(const Rows<Ops> &prescaled) {
  return second_pass<Ops>(transpose<Ops>(first_pass<Ops>(prescaled)));
}

}  // namespace ozmira::idct_steps

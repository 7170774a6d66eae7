// libdv's segment parse as the oracle of ours, and where the frame decoder's
// picture may differ from libdv's own decode: the macroblocks of segments
// that hold invalid codes, on which libdv's parser goes astray. Header-only:
// it needs the decoding objects, which only some suites link.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "libdv_internal.h"
#include "segment_parser.h"

namespace ozmira::test {

inline size_t segment_offset(int ds, int v) {
  constexpr size_t kDifBlock = 80, kSequence = 150 * kDifBlock;
  return ds * kSequence + kDifBlock * (7 + 16 * (v / 3) + 5 * (v % 3));
}

// libdv's dv_parse_video_segment on a copy of a segment with zeros behind it.
// Without colour, libdv's later passes visit the two chrominance blocks as its
// previous parse left them: they are set complete with no bits to lend, as
// our parser takes them.
class LibdvParser {
 public:
  LibdvParser() : decoder_(dv_decoder_new(0, 0, 0)) { vs_.bs = _dv_bitstream_init(); }  // dv_decoder_new runs dv_init
  ~LibdvParser() { dv_decoder_free(decoder_), std::free(vs_.bs); }
  const dv_macroblock_t *parse(const uint8_t *segment, unsigned quality) {
    std::memcpy(copy_, segment, kSegmentBytes);
    for (dv_macroblock_t &mb : vs_.mb) {
      for (int b = 4; b < 6; ++b) mb.b[b].eob = 1, mb.b[b].offset = mb.b[b].end;
    }
    _dv_bitstream_new_buffer(vs_.bs, copy_, kSegmentBytes);
    dv_parse_video_segment(&vs_, quality);
    return vs_.mb;
  }

 private:
  dv_decoder_t *decoder_;
  dv_videosegment_t vs_{};
  uint8_t copy_[kSegmentBytes + 8]{};  // libdv's reader loads two words at a time
};

// Parses with ours and, when ours meets no invalid code (`intact`), with
// libdv's; empty when the two agree on qno and each parsed block's DCT mode,
// class, coefficients and end-of-block flag, else where they differ.
inline std::string parse_difference(LibdvParser &libdv, const uint8_t *segment, unsigned quality, bool &intact) {
  dv_macroblock_t ours[kMacroblocksPerSegment]{};
  intact = parse_video_segment(segment, quality, ours);
  if (!intact) return "";
  const dv_macroblock_t *theirs = libdv.parse(segment, quality);
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    const std::string at = " quality " + std::to_string(quality) + " macroblock " + std::to_string(m);
    if (ours[m].qno != theirs[m].qno) return "qno" + at;
    for (int b = 0; b < (quality & DV_QUALITY_COLOR ? 6 : 4); ++b) {
      const dv_block_t &o = ours[m].b[b], &t = theirs[m].b[b];
      if (o.dct_mode != t.dct_mode || o.class_no != t.class_no || o.eob != t.eob ||
          std::memcmp(o.coeffs, t.coeffs, sizeof o.coeffs) != 0) {
        return "block " + std::to_string(b) + at + (o.eob != t.eob ? ": eob" : ": mode, class or coefficients");
      }
    }
  }
  return "";
}

// Copies the macroblocks of every segment of `frame` that holds invalid codes
// at dv's quality from `from` into `to`, packed images `pitch` bytes a row;
// returns how many segments that was. dv must have parsed the frame's header.
inline int copy_damaged_segments(dv_decoder_t *dv, const uint8_t *frame, const uint8_t *from, uint8_t *to, int pitch,
                                 int bytes_per_pixel) {
  int damaged = 0;
  dv_videosegment_t where{};
  for (int ds = 0; ds < dv->num_dif_seqs; ++ds) {
    for (int v = 0; v < 27; ++v) {
      if (parse_video_segment(frame + segment_offset(ds, v), dv->quality, where.mb)) continue;
      ++damaged, where.i = ds, where.k = v;
      for (int m = 0; m < kMacroblocksPerSegment; ++m) {
        dv_place_macroblock(dv, &where, &where.mb[m], m);
        // 4:1:1 macroblocks are 32 x 8 but for the right-most column's 16 x 16.
        const bool wide = dv->sampling == e_dv_sample_411 && where.mb[m].x < 704;
        for (int r = 0; r < (wide ? 8 : 16); ++r) {
          const size_t at = static_cast<size_t>(where.mb[m].y + r) * pitch + where.mb[m].x * bytes_per_pixel;
          std::memcpy(to + at, from + at, (wide ? 32 : 16) * bytes_per_pixel);
        }
      }
    }
  }
  return damaged;
}

}  // namespace ozmira::test

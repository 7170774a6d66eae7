#include "frame_decoder.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "block_work.h"
#include "dc_only_blocks.h"
#include "frame_header.h"
#include "libdv_internal.h"
#include "mb420_packed.h"
#include "mb420_renderers.h"
#include "worker_pool.h"

extern "C" {
int *pforerror = nullptr;
const char error_mess[49] = "Video Format Not implemented, possible bad data\n";
}

namespace ozmira {
namespace {

constexpr size_t kSequenceBytes = kDifSequenceBytes;
constexpr int kSegmentsPerSequence = 27;
constexpr int kPiecesPerSequence = 3, kSegmentsPerPiece = kSegmentsPerSequence / kPiecesPerSequence;
constexpr int kRightEdgeX = 704;  // 4:1:1 macroblocks from here are 16 x 16

// Where segment v of a DIF sequence begins: after the header, two subcode and
// three VAUX blocks, in runs of three segments each after an audio block.
size_t segment_offset(int v) {
  constexpr int kSegmentsPerRun = 3;
  return kDifBlockBytes * (kFirstVideoBlock + kAudioBlockSpacing * (v / kSegmentsPerRun) +
                           kMacroblocksPerSegment * (v % kSegmentsPerRun));
}

// The 4:2:0 renderers are our own (mb420_packed.h), those for the rows that
// DC-only block work repeats among them; the 4:1:1 ones are libdv's.
struct PackedRenderers {
  void (*mb420)(dv_macroblock_t *, uint8_t **, int *);
  void (*mb420_dc_only)(dv_macroblock_t *, uint8_t **, int *, const DcOnlyRowPlan *);  // null: mb420
  void (*mb411)(dv_macroblock_t *, uint8_t **, int *, int);
  void (*mb411_right)(dv_macroblock_t *, uint8_t **, int *, int);
};

const PackedRenderers kPackedRenderers[] = {
    {Mb420PackedYuy2, nullptr, dv_mb411_YUY2, dv_mb411_right_YUY2},
    {Mb420PackedRgb, Mb420PackedRgbDcOnly, dv_mb411_rgb, dv_mb411_right_rgb},
    {Mb420PackedBgr0, Mb420PackedBgr0DcOnly, dv_mb411_bgr0, dv_mb411_right_bgr0},
};

using ExtendedRenderer = void (*)(dv_macroblock_t *, uint8_t **, int);

// Each extended renderer with the blocks whose samples it reads (the others
// need no block work at all), and, for the thumbnails, the bytes of a pixel.
// A thumbnail's patches overlap those of macroblocks that other DIF
// sequences carry, by two columns, and the one drawn later in the frame's
// order stands: the threads draw each patch aside (Patches) and the calling
// thread copies them into the picture in the frame's order.
struct ExtendedFormat {
  ExtendedRenderer render;
  BlockSet reads;
  int patch_pixel_bytes;  // 0: not a thumbnail
};

const ExtendedFormat kExtendedFormats[] = {
    {Mb420RowsI, kLumaBlocks | kCrBlock, 0},
    {Mb420RowsL, kLumaBlocks, 0},
    {Mb420RowsRgb, kAllBlocks, 0},
    {Mb420RowsTi, kTopLeftLuma | kCrBlock, 4},
    {Mb420RowsTl, kTopLeftLuma | kCrBlock, 1},
    {Mb420RowsTrgb, kTopLeftLuma | kCrBlock | kCbBlock, 4},
    {Mb420RowsHi, kNoBlocks, 0},
    {Mb420RowsHl, kNoBlocks, 0},
    {Mb420RowsHrgb, kAllBlocks, 0},
    {Mb420RowsQi, kNoBlocks, 0},
    {Mb420RowsQl, kNoBlocks, 0},
    {Mb420RowsQrgb, kNoBlocks, 0},
};

// The thumbnail patches of a frame's macroblocks, by their place in the
// frame's order (sequence, segment, macroblock), with where each goes.
struct Patch {
  uint8_t rows[2][16];  // 4 x 2 pixels of at most 4 bytes
  int column, row;      // in the thumbnail
};
constexpr int kMacroblocksPerSequence = kSegmentsPerSequence * kMacroblocksPerSegment;
constexpr int kMostSequences = 12;  // 625/50
// One frame's patches: decodes do not overlap (frame_decoder.h), and C hosts
// link the static library without the C++ library, so no allocation.
Patch frame_patches[kMostSequences * kMacroblocksPerSequence];

// One frame's decode as every segment of it is done.
struct FrameJob {
  dv_decoder_t *dv;
  const uint8_t *buffer;
  ColorSpace color_space;
  uint8_t **pixels;
  int *pitches;
  bool draws;             // false: segments are only parsed
  BlockSet blocks;        // those whose samples the renderer reads
  int patch_pixel_bytes;  // thumbnails: drawn into `patches` first
  Patch *patches;
};

// The extended formats draw nothing of a 4:1:1 frame, and no format outside
// the fifteen draws anything. Compared as unsigned, so negative values too.
FrameJob job_for(dv_decoder_t *dv, const uint8_t *buffer, ColorSpace color_space, uint8_t **pixels,
                 int *pitches) {
  FrameJob job{dv, buffer, color_space, pixels, pitches, true, kAllBlocks, 0, nullptr};
  if (static_cast<unsigned>(color_space) >= kColorSpaceCount) {
    job.draws = false;
  } else if (color_space > e_dv_color_bgr0) {
    job.blocks = kExtendedFormats[color_space - b_dv_color_I].reads;
    // A format that reads no block draws nothing: its segments are only parsed.
    job.draws = dv->sampling != e_dv_sample_411 && job.blocks != kNoBlocks;
    job.patch_pixel_bytes = kExtendedFormats[color_space - b_dv_color_I].patch_pixel_bytes;
  }
  return job;
}

bool extended_format_of_411(const dv_decoder_t *dv, ColorSpace color_space) {
  return color_space > e_dv_color_bgr0 && static_cast<unsigned>(color_space) < kColorSpaceCount &&
         dv->sampling == e_dv_sample_411;
}

// One message and the host's flag for each macroblock not drawn.
void report_format_mismatch(int macroblocks) {
  for (int i = 0; i < macroblocks; ++i) std::fputs(error_mess, stdout);
  if (pforerror != nullptr) *pforerror = 1;
}

// Places each macroblock of the parsed and transformed segment, then renders
// it: render(mb, its number in the segment).
template <typename Render>
void place_and_render(const FrameJob &job, dv_videosegment_t &vs, Render render) {
  for (int m = 0; m < kMacroblocksPerSegment; ++m) {
    dv_macroblock_t *mb = &vs.mb[m];
    dv_place_macroblock(job.dv, &vs, mb, m);
    render(mb, m);
  }
}

// The format is chosen once per segment; each branch loops over the segment.
// `plans`: the row plans of DC-only block work, else null.
void render_segment(const FrameJob &job, dv_videosegment_t &vs, const DcOnlyRowPlan *const *plans) {
  if (job.color_space <= e_dv_color_bgr0) {
    const PackedRenderers &r = kPackedRenderers[job.color_space];
    if (job.dv->sampling == e_dv_sample_411) {
      const int setup = job.dv->add_ntsc_setup;
      place_and_render(job, vs, [&](dv_macroblock_t *mb, int) {
        (mb->x >= kRightEdgeX ? r.mb411_right : r.mb411)(mb, job.pixels, job.pitches, setup);
      });
    } else if (plans != nullptr && r.mb420_dc_only != nullptr) {
      place_and_render(job, vs, [&](dv_macroblock_t *mb, int m) {
        r.mb420_dc_only(mb, job.pixels, job.pitches, plans[m]);
      });
    } else {
      place_and_render(job, vs, [&](dv_macroblock_t *mb, int) { r.mb420(mb, job.pixels, job.pitches); });
    }
    return;
  }
  const ExtendedRenderer render = kExtendedFormats[job.color_space - b_dv_color_I].render;
  const int pitch = job.pitches[0];
  if (job.patches == nullptr) {
    place_and_render(job, vs, [&](dv_macroblock_t *mb, int) { render(mb, job.pixels, pitch); });
    return;
  }
  place_and_render(job, vs, [&](dv_macroblock_t *mb, int m) {
    Patch &patch = job.patches[vs.i * kMacroblocksPerSequence + vs.k * kMacroblocksPerSegment + m];
    patch.column = mb->x / 8;
    patch.row = mb->y / 8;
    uint8_t *rows[2] = {patch.rows[0], patch.rows[1]};
    mb->x = 0;  // the patch's own rows; the macroblock is done with after this
    mb->y = 0;
    render(mb, rows, pitch);
  });
}

// Copies the patches of the first `sequences` DIF sequences into the
// thumbnail in the frame's order, so that of two overlapping ones the later
// stands.
void copy_patches(const FrameJob &job, int sequences) {
  const size_t bytes = 4 * job.patch_pixel_bytes;
  for (int n = 0; n < sequences * kMacroblocksPerSequence; ++n) {
    const Patch &patch = job.patches[n];
    for (int p = 0; p < 2; ++p) {
      std::memcpy(job.pixels[patch.row + p] + patch.column * job.patch_pixel_bytes, patch.rows[p], bytes);
    }
  }
}

// The DIF sequence of a piece: the even-numbered sequences' pieces first, then
// the odd ones'. The calling thread takes pieces from the front and the
// workers from the back, so with two threads each mostly decodes sequences of
// one parity. Side by side superblocks come from sequences two or four apart,
// so the cache lines that two of them share (a macroblock's row is 48 bytes
// of packed RGB) are then written by one core, not passed between two every
// frame.
int sequence_of_piece(int piece, int sequences) {
  const int nth = piece / kPiecesPerSequence, evens = (sequences + 1) / 2;
  return nth < evens ? 2 * nth : 2 * (nth - evens) + 1;
}

// Asks for a segment's bytes ahead of its decode: a frame comes from memory,
// and a decode that reads few of its bytes (DC only) would wait on each.
void prefetch_segment(const uint8_t *segment) {
  constexpr int kLine = 64;
  for (unsigned at = 0; at < kSegmentBytes; at += kLine) __builtin_prefetch(segment + at);
  __builtin_prefetch(segment + kSegmentBytes - 1);
}

// Segment `v` of sequence `ds`, with `vs` as the segment record.
bool decode_segment(const FrameJob &job, dv_videosegment_t &vs, const uint8_t *segment, int ds, int v) {
  const unsigned quality = job.dv->quality;
  // Without AC codes no code can be invalid; block work fills every sample.
  const bool dc_only = (quality & DV_QUALITY_AC_MASK) == DV_QUALITY_DC;
  if (!job.draws) return SegmentIntact(segment, quality);
  uint32_t ac_free = 0;
  const bool intact = dc_only ? (ReadBlockHeads(segment, quality, vs.mb), true)
                              : ParseVideoSegment(segment, quality, vs.mb, ParserBuild::kFastest, &ac_free);
  const DcOnlyRowPlan *plans[kMacroblocksPerSegment];
  TransformSegment(&vs, quality, job.blocks, plans, ac_free);
  vs.i = ds;
  vs.k = v;
  render_segment(job, vs, dc_only ? plans : nullptr);
  return intact;
}

}  // namespace

bool DecodeVideoSegment(dv_decoder_t *dv, const uint8_t *segment, int ds, int v, ColorSpace color_space,
                        uint8_t **pixels, int *pitches) {
  dv_videosegment_t vs{};  // without colour, the chrominance blocks stay 0: neutral
  const bool intact = decode_segment(job_for(dv, nullptr, color_space, pixels, pitches), vs, segment, ds, v);
  if (extended_format_of_411(dv, color_space)) report_format_mismatch(kMacroblocksPerSegment);
  return intact;
}

bool DecodeFrame(dv_decoder_t *dv, const uint8_t *buffer, ColorSpace color_space, uint8_t **pixels,
                 int *pitches, DecodeReport *report) {
  // The pieces shared among the threads are runs of segments of a DIF
  // sequence, a third of one each, so that a thread held up elsewhere leaves
  // little for the others to wait on. Every macroblock lands in pixels of its
  // own, and each piece has a segment record of its own.
  struct Frame {
    FrameJob job;
    int sequences;
    std::atomic<int> damaged;
  } frame{job_for(dv, buffer, color_space, pixels, pitches), DifSequencesToWalk(dv, buffer), {0}};
  // At most kMostSequences: the DSF bit marks 10 or 12 (frame_header.h).
  if (frame.job.draws && frame.job.patch_pixel_bytes > 0) frame.job.patches = frame_patches;
  const PieceTask decode_piece = [](void *context, int piece) {
    Frame &f = *static_cast<Frame *>(context);
    const int ds = sequence_of_piece(piece, f.sequences);
    const int first = piece % kPiecesPerSequence * kSegmentsPerPiece;
    dv_videosegment_t vs{};  // without colour, the chrominance blocks stay 0: neutral
    int damaged = 0;
    const uint8_t *sequence = f.job.buffer + ds * kSequenceBytes;
    for (int v = first; v < first + kSegmentsPerPiece; ++v) {
      if (v + 1 < first + kSegmentsPerPiece) prefetch_segment(sequence + segment_offset(v + 1));
      damaged += !decode_segment(f.job, vs, sequence + segment_offset(v), ds, v);
    }
    f.damaged.fetch_add(damaged, std::memory_order_relaxed);
  };
  const int sequences = frame.sequences;
  const int pieces = sequences * kPiecesPerSequence;
  RunPieces(pieces, decode_piece, &frame);
  if (frame.job.patches != nullptr) copy_patches(frame.job, sequences);
  if (extended_format_of_411(dv, color_space) && sequences > 0) {
    report_format_mismatch(sequences * kSegmentsPerSequence * kMacroblocksPerSegment);
  }
  if (report != nullptr) report->damaged_segments = frame.damaged.load(std::memory_order_relaxed);
  return sequences == dv->num_dif_seqs;
}

int SetDecodeThreads(int count) { return UseThreads(count < 0 ? 0 : count); }

}  // namespace ozmira

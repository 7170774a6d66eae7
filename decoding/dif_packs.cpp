#include "dif_packs.h"

#include <emmintrin.h>

#include "dif_frame.h"

namespace ozmira {
namespace {

constexpr uint8_t kVideoSourcePack = 0x60, kVideoControlPack = 0x61;
constexpr uint8_t kTimecodePack = 0x13;
constexpr uint8_t kVideoDatePack = 0x62, kVideoTimePack = 0x63;  // subcode and VAUX
constexpr uint8_t kAudioDatePack = 0x52, kAudioTimePack = 0x53;  // AAUX
constexpr uint8_t kAudioSourcePack = 0x50;
constexpr int kCenturyPivot = 69;  // as POSIX reads two-digit years

// VAUX source: byte 2 bit 7 is B/W (0 black and white), byte 3 bit 5 is 50/60.
constexpr uint8_t kColourBit = 0x80, kFiftyFieldsBit = 0x20;
// VAUX source control: the DISP field, read with the header block's APT as FFmpeg reads it.
constexpr int kDisplayByte = 2, kHeaderAptByte = 4;
constexpr uint8_t kDisplayMask = 0x07, kAptMask = 0x07;
constexpr uint8_t kDisplayWide = 0x02, kDisplayWideIfApt0 = 0x07;

// AAUX source: byte 2 low nibble the audio mode (0xf: pair not recorded),
// byte 4 SMP (bits 3-5) and QU (bits 0-2); byte 1 low six bits AF_SIZE.
constexpr uint8_t kAudioModeMask = 0x0f, kNoPair = 0x0f;
constexpr uint8_t kAfSizeMask = 0x3f;
constexpr int kRates[] = {48000, 44100, 32000};
constexpr int kQuantisations[] = {16, 12, 20};
constexpr int kRate32kCode = 2;
constexpr int kSecondPairSequence = 6;
constexpr int kSourceAudioBlock = 3, kControlAudioBlock = 4, kSecondPairSourceBlock60 = 0;

constexpr int kStatusByte = 3, kStatusShift = 4;
constexpr int kError16 = 0x8000, kError12 = 0x800;

constexpr int AudioPackOffset(int sequence, int audio_block) {
  return (sequence * kBlocksPerSequence + AudioBlockIndex(audio_block)) * kDifBlockBytes + kDifIdBytes;
}

// A BCD field: units in the low nibble, tens in the bits of `tens_mask`
// above it; -1 when a digit is not decimal or the value reaches `limit`.
int Bcd(uint8_t byte, uint8_t tens_mask, int limit) {
  const int units = byte & 0x0f;
  const int tens = (byte >> 4) & tens_mask;
  if (units > 9 || tens > 9) return -1;
  const int value = tens * 10 + units;
  return value < limit ? value : -1;
}

bool TimeValid(const uint8_t *pack) {
  return Bcd(pack[4], 0x3, 24) >= 0 && Bcd(pack[3], 0x7, 60) >= 0 && Bcd(pack[2], 0x7, 60) >= 0;
}

bool DateValid(const uint8_t *pack) {
  return Bcd(pack[2], 0x3, 32) >= 1 && Bcd(pack[3], 0x1, 13) >= 1 && Bcd(pack[4], 0xf, 100) >= 0;
}

// The first valid pack of the date (or time) packs, in the areas where they are kept.
const uint8_t *FindDated(const uint8_t *frame, uint8_t video_id, uint8_t audio_id,
                         bool (*valid)(const uint8_t *)) {
  if (const uint8_t *pack = FindPack(frame, PackArea::kSubcode, video_id, valid)) return pack;
  if (const uint8_t *pack = FindPack(frame, PackArea::kVaux, video_id, valid)) return pack;
  return FindPack(frame, PackArea::kAaux, audio_id, valid);
}

template <int N>
int CodeValue(const int (&table)[N], int code) {
  return code < N ? table[code] : 0;
}

}  // namespace

VideoSource ReadVideoSource(const uint8_t *frame) {
  VideoSource source;
  if (const uint8_t *pack = FindPack(frame, PackArea::kVaux, kVideoSourcePack)) {
    source.fifty_fields = (pack[3] & kFiftyFieldsBit) != 0;
    source.colour = (pack[2] & kColourBit) != 0;
  }
  if (const uint8_t *pack = FindPack(frame, PackArea::kVaux, kVideoControlPack)) {
    const uint8_t display = pack[kDisplayByte] & kDisplayMask;
    const uint8_t apt = frame[kHeaderAptByte] & kAptMask;
    source.aspect = display == kDisplayWide || (apt == 0 && display == kDisplayWideIfApt0);
  }
  return source;
}

int AudioSourceOffset() { return AudioPackOffset(0, kSourceAudioBlock); }

int AudioControlOffset() { return AudioPackOffset(0, kControlAudioBlock); }

int SecondPairSourceOffset(const uint8_t *frame) {
  const bool fifty = DifSequencesMarked(frame) == kDifSequences625;
  return AudioPackOffset(kSecondPairSequence, fifty ? kSourceAudioBlock : kSecondPairSourceBlock60);
}

bool ReadAudioSource(const uint8_t *frame, AudioSource *source) {
  const uint8_t *pack = frame + AudioSourceOffset();
  if (pack[0] != kAudioSourcePack) return false;
  AudioSource read;
  read.rate_code = (pack[4] >> 3) & 0x07;
  read.rate = CodeValue(kRates, read.rate_code);
  read.quantisation = CodeValue(kQuantisations, pack[4] & 0x07);
  const bool fifty = DifSequencesMarked(frame) == kDifSequences625;
  const int fewest = read.rate != 0 ? (fifty ? kFewestSamples625 : kFewestSamples525)[read.rate_code] : 0;
  if (read.rate != 0) read.samples = fewest + (pack[1] & kAfSizeMask);
  read.channels = 2;
  // The 12-bit 32 kHz mode may record a second pair in the room of one 16-bit pair.
  if (read.quantisation == 12 && read.rate_code == kRate32kCode) {
    const uint8_t *second = frame + SecondPairSourceOffset(frame);
    if ((second[2] & kAudioModeMask) != kNoPair) {
      read.channels = 4;
      read.second_samples = fewest + (second[1] & kAfSizeMask);
    }
  }
  *source = read;
  return true;
}

bool ReadTimecode(const uint8_t *frame, Timecode *timecode) {
  const bool fifty = DifSequencesMarked(frame) == kDifSequences625;
  const uint8_t *pack = FindPack(
      frame, PackArea::kSubcode, kTimecodePack,
      fifty ? [](const uint8_t *p) { return TimeValid(p) && Bcd(p[1], 0x3, 25) >= 0; }
            : [](const uint8_t *p) { return TimeValid(p) && Bcd(p[1], 0x3, 30) >= 0; });
  if (pack == nullptr) return false;
  timecode->hours = Bcd(pack[4], 0x3, 24);
  timecode->minutes = Bcd(pack[3], 0x7, 60);
  timecode->seconds = Bcd(pack[2], 0x7, 60);
  timecode->frames = Bcd(pack[1], 0x3, 30);
  return true;
}

void ReadRecordingTime(const uint8_t *frame, RecordingTime *recorded) {
  if (const uint8_t *pack = FindDated(frame, kVideoDatePack, kAudioDatePack, DateValid)) {
    recorded->day = Bcd(pack[2], 0x3, 32);
    recorded->month = Bcd(pack[3], 0x1, 13);
    const int year = Bcd(pack[4], 0xf, 100);
    recorded->year = year + (year < kCenturyPivot ? 2000 : 1900);
  }
  if (const uint8_t *pack = FindDated(frame, kVideoTimePack, kAudioTimePack, TimeValid)) {
    recorded->hours = Bcd(pack[4], 0x3, 24);
    recorded->minutes = Bcd(pack[3], 0x7, 60);
    recorded->seconds = Bcd(pack[2], 0x7, 60);
  }
}

BlockStatus ReadBlockStatus(const uint8_t *frame) {
  BlockStatus status;
  const int sequences = DifSequencesMarked(frame);
  // Only the flagged blocks are tallied one by one: they are few, and an
  // increment of the same count for every block waits on the one before.
  for (int sequence = 0; sequence < sequences; ++sequence) {
    for (int index = kFirstVideoBlock; index < kBlocksPerSequence; ++index) {
      const int sta = DifBlock(frame, sequence, index)[kStatusByte] >> kStatusShift;
      if (sta == 0 || !IsVideoBlock(index)) continue;
      ++status.by_status[sta];
      ++status.flagged;
    }
  }
  status.video_blocks = sequences * kVideoBlocksPerSequence;
  status.by_status[0] = status.video_blocks - status.flagged;
  return status;
}

namespace {

// The 16-bit samples of an audio block that hold the error code, eight at a
// time: every frame's sound is looked at, and most samples are not errors.
int count_error_samples16(const uint8_t *data) {
  static_assert(kAudioBytesPerBlock == 4 * sizeof(__m128i) + 8);
  const __m128i error = _mm_set1_epi16(static_cast<int16_t>(kError16 >> 8));  // big-endian, loaded little
  __m128i counts = _mm_setzero_si128();                                       // minus one per error, by lane
  for (int at = 0; at < 4 * static_cast<int>(sizeof(__m128i)); at += sizeof(__m128i)) {
    const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at));
    counts = _mm_add_epi16(counts, _mm_cmpeq_epi16(words, error));
  }
  // The last four samples; the zeros above them are no error code.
  const __m128i last = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(data + 4 * sizeof(__m128i)));
  counts = _mm_add_epi16(counts, _mm_cmpeq_epi16(last, error));
  const __m128i pairs = _mm_madd_epi16(counts, _mm_set1_epi16(-1));
  const __m128i halves = _mm_add_epi32(pairs, _mm_shuffle_epi32(pairs, _MM_SHUFFLE(1, 0, 3, 2)));
  return _mm_cvtsi128_si32(_mm_add_epi32(halves, _mm_shuffle_epi32(halves, _MM_SHUFFLE(2, 3, 0, 1))));
}

}  // namespace

AudioErrors CountAudioErrors(const uint8_t *frame, const AudioSource &source) {
  AudioErrors errors;
  const int sequences = DifSequencesMarked(frame);
  const int half = sequences / 2;
  for (int sequence = 0; sequence < sequences; ++sequence) {
    const int pair = sequence < half ? 0 : 1;
    for (int n = 0; n < kAudioBlocksPerSequence; ++n) {
      const uint8_t *data = DifBlock(frame, sequence, AudioBlockIndex(n)) + kDifIdBytes + kPackBytes;
      if (source.quantisation == 12) {
        // Two 12-bit samples in three bytes, left and right of the first
        // pair in the first half of the sequences, of the second in the rest.
        const int left = pair * 2;
        if (left >= source.channels) continue;
        for (int at = 0; at + 2 < kAudioBytesPerBlock; at += 3) {
          const int first = (data[at] << 4) | (data[at + 2] >> 4);
          const int second = (data[at + 1] << 4) | (data[at + 2] & 0x0f);
          errors.by_channel[left] += first == kError12;
          errors.by_channel[left + 1] += second == kError12;
        }
      } else if (source.quantisation == 16) {
        // Left in the first half of the sequences, right in the rest.
        errors.by_channel[pair] += count_error_samples16(data);
      }
    }
  }
  for (int count : errors.by_channel) errors.total += count;
  return errors;
}

}  // namespace ozmira

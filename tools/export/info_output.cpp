#include "info_output.h"

#include "json_text.h"

namespace ozmira::frame_export {
namespace {

constexpr int kSampling420 = 2, kSampling411 = 1;
constexpr int kColour = 1, kGreyscale = 0;
constexpr char kJsonNull[] = "null";
constexpr char kNotRecorded[] = "not recorded";

const char *sampling_name(int code) {
  switch (code) {
    case kSampling420: return "4:2:0";
    case kSampling411: return "4:1:1";
    default: return "unknown";
  }
}

const char *colour_name(int type) {
  switch (type) {
    case kColour: return "colour";
    case kGreyscale: return "greyscale";
    default: return "not stated";
  }
}

template <typename T>
std::string json_or_null(const std::optional<T> &value, std::string (*text)(const T &)) {
  return value ? json_string(text(*value)) : kJsonNull;
}

std::string audio_json(const std::optional<AudioSource> &audio) {
  if (!audio) return kJsonNull;
  return "{\"rate\":" + std::to_string(audio->rate) + ",\"channels\":" + std::to_string(audio->channels) +
         ",\"quantisation\":" + std::to_string(audio->quantisation) + "}";
}

std::string audio_words(const std::optional<AudioSource> &audio) {
  if (!audio) return "none";
  return std::to_string(audio->rate) + " Hz, " + std::to_string(audio->channels) + " channels, " +
         std::to_string(audio->quantisation) + " bit";
}

std::string recorded_words(const FrameMetadata &m) {
  if (!m.recorded_date && !m.recorded_time) return kNotRecorded;
  std::string words = m.recorded_date ? date_text(*m.recorded_date) : "date not recorded";
  return words + " " + (m.recorded_time ? time_text(*m.recorded_time) : "time not recorded");
}

// The details every frame and the file share, as JSON members after a comma.
std::string details_json(const FrameMetadata &m) {
  return ",\"aspect\":" + json_string(aspect_text(m.aspect)) +
         ",\"timecode\":" + json_or_null(m.timecode, timecode_text) +
         ",\"recorded_date\":" + json_or_null(m.recorded_date, date_text) +
         ",\"recorded_time\":" + json_or_null(m.recorded_time, time_text) +
         ",\"audio\":" + audio_json(m.audio);
}

}  // namespace

void DamageTotals::add(const FrameMetadata &frame) {
  ++frames;
  const int segments = frame.damaged_segments > 0 ? frame.damaged_segments : 0;
  if (frame.flagged_blocks > 0 || segments > 0) ++damaged_frames;
  flagged_blocks += frame.flagged_blocks;
  damaged_segments += segments;
}

void print_file_info(std::FILE *out, const FileInfo &file, bool json) {
  const dvfile &a = file.attributes;
  if (json) {
    const std::string bytes =
        json_needs_bytes(file.path) ? ",\"file_bytes\":" + json_hex(file.path) : std::string();
    std::fprintf(
        out,
        "{\"file\":%s%s,\"block_size\":%d,\"x_size\":%d,\"y_size\":%d,\"code\":%d,\"sampling\":\"%s\","
        "\"type\":%d,\"colour\":\"%s\",\"num_frames\":%d,\"trailing_bytes\":%lld%s,\"last_timecode\":%s}\n",
        json_string(file.path).c_str(), bytes.c_str(), a.block_size, a.x_size, a.y_size, a.code,
        sampling_name(a.code), a.type, colour_name(a.type), a.num_frames,
        static_cast<long long>(file.trailing_bytes), details_json(file.first).c_str(),
        json_or_null(file.last_timecode, timecode_text).c_str());
    return;
  }
  const FrameMetadata &m = file.first;
  std::fprintf(out, "file:            %s\n", file.path.c_str());
  std::fprintf(out, "block size:      %d\n", a.block_size);
  std::fprintf(out, "frame size:      %d x %d\n", a.x_size, a.y_size);
  std::fprintf(out, "sampling:        %s (code %d)\n", sampling_name(a.code), a.code);
  std::fprintf(out, "colour:          %s (type %d)\n", colour_name(a.type), a.type);
  std::fprintf(out, "frames:          %d\n", a.num_frames);
  std::fprintf(out, "trailing bytes:  %lld%s\n", static_cast<long long>(file.trailing_bytes),
               file.trailing_bytes != 0 ? " (a partial frame, never read)" : "");
  std::fprintf(out, "aspect:          %s\n", aspect_text(m.aspect));
  std::fprintf(out, "timecode:        %s to %s\n",
               m.timecode ? timecode_text(*m.timecode).c_str() : kNotRecorded,
               file.last_timecode ? timecode_text(*file.last_timecode).c_str() : kNotRecorded);
  std::fprintf(out, "recorded:        %s\n", recorded_words(m).c_str());
  std::fprintf(out, "audio:           %s\n", audio_words(m.audio).c_str());
}

void print_frame_info(std::FILE *out, int frame, const dvfile *a, const FrameMetadata &m, bool json) {
  if (a == nullptr) {
    if (json)
      std::fprintf(out, "{\"frame\":%d,\"error\":\"header does not parse\"}\n", frame);
    else
      std::fprintf(out, "frame %d: header does not parse\n", frame);
    return;
  }
  if (json) {
    std::fprintf(out,
                 "{\"frame\":%d,\"x_size\":%d,\"y_size\":%d,\"code\":%d,\"sampling\":\"%s\",\"type\":%d,"
                 "\"colour\":\"%s\"%s,\"flagged_blocks\":%d,\"damaged_segments\":%d}\n",
                 frame, a->x_size, a->y_size, a->code, sampling_name(a->code), a->type, colour_name(a->type),
                 details_json(m).c_str(), m.flagged_blocks, m.damaged_segments);
    return;
  }
  std::fprintf(out,
               "frame %d: %d x %d, %s (code %d), %s (type %d), %s, timecode %s, recorded %s, audio %s, "
               "%d flagged blocks, %d damaged segments\n",
               frame, a->x_size, a->y_size, sampling_name(a->code), a->code, colour_name(a->type), a->type,
               aspect_text(m.aspect), m.timecode ? timecode_text(*m.timecode).c_str() : kNotRecorded,
               recorded_words(m).c_str(), audio_words(m.audio).c_str(), m.flagged_blocks, m.damaged_segments);
}

void print_damage_totals(std::FILE *out, const DamageTotals &t, bool json) {
  if (json) {
    std::fprintf(out,
                 "{\"totals\":{\"frames\":%lld,\"damaged_frames\":%lld,\"flagged_blocks\":%lld,"
                 "\"damaged_segments\":%lld}}\n",
                 static_cast<long long>(t.frames), static_cast<long long>(t.damaged_frames),
                 static_cast<long long>(t.flagged_blocks), static_cast<long long>(t.damaged_segments));
    return;
  }
  std::fprintf(out, "damage: %lld of %lld frames, %lld flagged blocks, %lld damaged segments\n",
               static_cast<long long>(t.damaged_frames), static_cast<long long>(t.frames),
               static_cast<long long>(t.flagged_blocks), static_cast<long long>(t.damaged_segments));
}

}  // namespace ozmira::frame_export

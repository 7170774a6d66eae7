#include "info_output.h"

#include "json_text.h"

namespace ozmira::frame_export {
namespace {

constexpr int kSampling420 = 2, kSampling411 = 1;
constexpr int kColour = 1, kGreyscale = 0;
constexpr int kStaKinds = 16;
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

std::string json_or_null(const std::optional<std::string> &text) {
  return text ? json_string(*text) : kJsonNull;
}

std::string json_or_null(const char *text) { return text != nullptr ? json_string(text) : kJsonNull; }

std::string text_or(const std::optional<std::string> &text, const char *otherwise) {
  return text ? *text : otherwise;
}

bool has_sound(const dvframeinfo &i) { return i.audio_rate > 0; }

std::string audio_json(const dvframeinfo &i) {
  if (!has_sound(i)) return kJsonNull;
  return "{\"rate\":" + std::to_string(i.audio_rate) + ",\"channels\":" + std::to_string(i.audio_channels) +
         ",\"quantisation\":" + std::to_string(i.audio_bits) + "}";
}

std::string audio_words(const dvframeinfo &i) {
  if (!has_sound(i)) return "none";
  return std::to_string(i.audio_rate) + " Hz, " + std::to_string(i.audio_channels) + " channels, " +
         std::to_string(i.audio_bits) + " bit";
}

std::string recorded_words(const dvframeinfo &i) {
  const auto date = date_text(i);
  const auto time = time_text(i);
  if (!date && !time) return kNotRecorded;
  return text_or(date, "date not recorded") + " " + text_or(time, "time not recorded");
}

// The details every frame and the file share, as JSON members after a comma.
std::string details_json(const dvframeinfo &i) {
  return ",\"aspect\":" + (i.aspect < 0 ? std::string(kJsonNull) : json_string(aspect_text(i.aspect))) +
         ",\"timecode\":" + json_or_null(timecode_text(i)) +
         ",\"recorded_date\":" + json_or_null(date_text(i)) +
         ",\"recorded_time\":" + json_or_null(time_text(i)) + ",\"audio\":" + audio_json(i);
}

std::string colour_json(int type) {
  return type == kColour || type == kGreyscale ? json_string(colour_name(type)) : kJsonNull;
}

// The STA values found, as "STA 1: 4, STA 7: 2" or {"1":4,"7":2}.
std::string flagged_kinds(const dvframeinfo &i, bool json) {
  std::string kinds;
  for (int sta = 1; sta < kStaKinds; ++sta) {
    if (i.sta_blocks[sta] == 0) continue;
    if (!kinds.empty()) kinds += json ? "," : ", ";
    const std::string count = std::to_string(i.sta_blocks[sta]);
    kinds += json ? "\"" + std::to_string(sta) + "\":" + count : "STA " + std::to_string(sta) + ": " + count;
  }
  return json ? "{" + kinds + "}" : kinds;
}

std::string channel_errors_json(const dvframeinfo &i) {
  if (!has_sound(i)) return kJsonNull;
  std::string list = "[";
  for (int c = 0; c < i.audio_channels && c < DVLIB_AUDIO_MAX_CHANNELS; ++c) {
    if (c > 0) list += ",";
    list += std::to_string(i.audio_channel_errors[c]);
  }
  return list + "]";
}

long long ll(int64_t value) { return static_cast<long long>(value); }

}  // namespace

bool FrameReport::damaged() const {
  if (cause != nullptr) return true;
  const dvframeinfo &i = facts.info;
  return i.flagged_blocks > 0 || damaged_segments > 0 || i.audio_error_samples > 0;
}

void DamageTotals::add(const FrameReport &frame) {
  ++frames;
  if (frame.damaged()) ++damaged_frames;
  if (frame.facts.info.dropout == 1) ++dropouts;
  if (frame.facts.info.dropout != 1 && !frame.facts.parsed) ++unparsed;
  if (frame.broken != nullptr) ++breaks;
  if (frame.cause != nullptr && !frame.facts.parsed) return;
  flagged_blocks += frame.facts.info.flagged_blocks;
  damaged_segments += frame.damaged_segments > 0 ? frame.damaged_segments : 0;
  audio_error_samples += frame.facts.info.audio_error_samples;
}

void print_file_info(std::FILE *out, const FileInfo &file, bool json) {
  const dvfile &a = file.attributes;
  const dvframeinfo &i = file.first.info;
  if (json) {
    const std::string bytes =
        json_needs_bytes(file.path) ? ",\"file_bytes\":" + json_hex(file.path) : std::string();
    std::fprintf(
        out,
        "{\"file\":%s%s,\"block_size\":%d,\"x_size\":%d,\"y_size\":%d,\"code\":%d,\"sampling\":\"%s\","
        "\"type\":%d,\"colour\":%s,\"num_frames\":%d,\"trailing_bytes\":%lld%s,\"last_timecode\":%s}\n",
        json_string(file.path).c_str(), bytes.c_str(), a.block_size, a.x_size, a.y_size, a.code,
        sampling_name(a.code), a.type, colour_json(a.type).c_str(), a.num_frames, ll(file.trailing_bytes),
        details_json(i).c_str(), json_or_null(file.last_timecode).c_str());
    return;
  }
  std::fprintf(out, "file:            %s\n", file.path.c_str());
  std::fprintf(out, "block size:      %d\n", a.block_size);
  std::fprintf(out, "frame size:      %d x %d\n", a.x_size, a.y_size);
  std::fprintf(out, "sampling:        %s (code %d)\n", sampling_name(a.code), a.code);
  std::fprintf(out, "colour:          %s (type %d)\n", colour_name(a.type), a.type);
  std::fprintf(out, "frames:          %d\n", a.num_frames);
  std::fprintf(out, "trailing bytes:  %lld%s\n", ll(file.trailing_bytes),
               file.trailing_bytes != 0 ? " (a partial frame, never read)" : "");
  std::fprintf(out, "aspect:          %s\n", aspect_text(i.aspect));
  std::fprintf(out, "timecode:        %s to %s\n", text_or(timecode_text(i), kNotRecorded).c_str(),
               text_or(file.last_timecode, kNotRecorded).c_str());
  std::fprintf(out, "recorded:        %s\n", recorded_words(i).c_str());
  std::fprintf(out, "audio:           %s\n", audio_words(i).c_str());
}

void print_frame_info(std::FILE *out, const FrameReport &f, bool json) {
  const dvframeinfo &i = f.facts.info;
  const bool dropout = i.dropout == 1;
  if (dropout || !f.facts.parsed) {
    if (json) {
      std::fprintf(out, "{\"frame\":%d,\"error\":\"%s\",\"dropout\":%s,\"break\":%s}\n", f.frame, f.cause,
                   dropout ? "true" : "false", json_or_null(f.broken).c_str());
    } else {
      std::fprintf(out, "frame %d: %s%s%s\n", f.frame, f.cause, f.broken ? ", break: " : "",
                   f.broken ? f.broken : "");
    }
    return;
  }
  const std::string segments = f.damaged_segments < 0 ? "null" : std::to_string(f.damaged_segments);
  if (json) {
    std::fprintf(out,
                 "{\"frame\":%d,\"x_size\":%d,\"y_size\":%d,\"code\":%d,\"sampling\":\"%s\",\"type\":%d,"
                 "\"colour\":%s%s,\"dropout\":false,\"video_blocks\":%d,\"flagged_blocks\":%d,"
                 "\"flagged_by_sta\":%s,\"damaged_segments\":%s,\"audio_error_samples\":%s,\"break\":%s}\n",
                 f.frame, i.x_size, i.y_size, i.code, sampling_name(i.code), i.type,
                 colour_json(i.type).c_str(), details_json(i).c_str(), i.video_blocks, i.flagged_blocks,
                 flagged_kinds(i, true).c_str(), segments.c_str(), channel_errors_json(i).c_str(),
                 json_or_null(f.broken).c_str());
    return;
  }
  const std::string kinds = flagged_kinds(i, false);
  std::fprintf(out,
               "frame %d: %d x %d, %s (code %d), %s (type %d), %s, timecode %s, recorded %s, audio %s, "
               "%d flagged blocks of %d%s%s%s, %s damaged segments, %d audio error samples%s%s\n",
               f.frame, i.x_size, i.y_size, sampling_name(i.code), i.code, colour_name(i.type), i.type,
               aspect_text(i.aspect), text_or(timecode_text(i), kNotRecorded).c_str(),
               recorded_words(i).c_str(), audio_words(i).c_str(), i.flagged_blocks, i.video_blocks,
               kinds.empty() ? "" : " (", kinds.c_str(), kinds.empty() ? "" : ")",
               f.damaged_segments < 0 ? "uncounted" : segments.c_str(), i.audio_error_samples,
               f.broken ? ", break: " : "", f.broken ? f.broken : "");
}

void print_damage_totals(std::FILE *out, const DamageTotals &t, bool json) {
  if (json) {
    std::fprintf(out,
                 "{\"totals\":{\"frames\":%lld,\"damaged_frames\":%lld,\"dropouts\":%lld,\"unparsed\":%lld,"
                 "\"flagged_blocks\":%lld,\"damaged_segments\":%lld,\"audio_error_samples\":%lld,"
                 "\"breaks\":%lld}}\n",
                 ll(t.frames), ll(t.damaged_frames), ll(t.dropouts), ll(t.unparsed), ll(t.flagged_blocks),
                 ll(t.damaged_segments), ll(t.audio_error_samples), ll(t.breaks));
    return;
  }
  std::fprintf(out,
               "damage: %lld of %lld frames, %lld dropouts, %lld headers that do not parse, %lld flagged "
               "blocks, %lld damaged segments, %lld audio error samples; %lld breaks\n",
               ll(t.damaged_frames), ll(t.frames), ll(t.dropouts), ll(t.unparsed), ll(t.flagged_blocks),
               ll(t.damaged_segments), ll(t.audio_error_samples), ll(t.breaks));
}

void print_recording(std::FILE *out, const Recording &r, bool json) {
  if (json) {
    std::fprintf(out,
                 "{\"recording\":%d,\"first_frame\":%d,\"last_frame\":%d,\"timecode_in\":%s,"
                 "\"timecode_out\":%s,\"recorded_date\":%s,\"recorded_time\":%s,\"frames\":%lld,"
                 "\"damaged_frames\":%lld}\n",
                 r.index, r.first_frame, r.last_frame, json_or_null(r.timecode_in).c_str(),
                 json_or_null(r.timecode_out).c_str(), json_or_null(r.date).c_str(),
                 json_or_null(r.time).c_str(), ll(r.frames), ll(r.damaged_frames));
    return;
  }
  std::fprintf(
      out, "recording %d: frames %d-%d (%lld), timecode %s to %s, recorded %s %s, %lld damaged frames\n",
      r.index, r.first_frame, r.last_frame, ll(r.frames), text_or(r.timecode_in, kNotRecorded).c_str(),
      text_or(r.timecode_out, kNotRecorded).c_str(), text_or(r.date, "date not recorded").c_str(),
      text_or(r.time, "time not recorded").c_str(), ll(r.damaged_frames));
}

}  // namespace ozmira::frame_export

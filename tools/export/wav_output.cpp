#include "wav_output.h"

#include <cstring>
#include <vector>

namespace ozmira::frame_export {
namespace {

constexpr int kHeaderBytes = 44;
constexpr int kBytesPerSample = 2, kBitsPerSample = 16;
constexpr uint16_t kPcmFormat = 1;
constexpr int kPalFramesPerSecond = 25;
constexpr int64_t kRiffLimit = 0xffffffffLL - (kHeaderBytes - 8);  // the RIFF size field is 32 bits

void put_le(uint8_t *at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

std::string format_words(const SoundFormat &f) {
  return std::to_string(f.rate) + " Hz, " + std::to_string(f.channels) + " channels";
}

}  // namespace

bool WavWriter::open(const std::string &path, std::string &error) {
  path_ = path;
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") {
    error = "--audio: '" + path + "' does not name a file";
    return false;
  }
  if (!check_writable_folder(folder, false, error) || !file_.open(folder, name, error)) {
    error = "--audio: " + error;
    return false;
  }
  const uint8_t placeholder[kHeaderBytes] = {};
  return file_.write(placeholder, sizeof placeholder, error);
}

bool WavWriter::write_samples(const int16_t *pcm, size_t values, std::string &error) {
  const int64_t bytes = static_cast<int64_t>(values) * kBytesPerSample;
  if (data_bytes_ + bytes > kRiffLimit) {
    error = "the audio is longer than a WAV file can hold (4 GiB, about 6 hours at 48000 Hz stereo)";
    return false;
  }
  std::vector<uint8_t> little_endian(static_cast<size_t>(bytes));
  for (size_t i = 0; i < values; ++i)
    put_le(&little_endian[i * kBytesPerSample], static_cast<uint16_t>(pcm[i]), 2);
  data_bytes_ += bytes;
  return file_.write(little_endian.data(), little_endian.size(), error);
}

bool WavWriter::write_silence(int64_t frames, std::string &error) {
  const std::vector<int16_t> silence(
      static_cast<size_t>(format_.rate / kPalFramesPerSecond * format_.channels), 0);
  for (int64_t i = 0; i < frames; ++i) {
    if (!write_samples(silence.data(), silence.size(), error)) return false;
  }
  return true;
}

bool WavWriter::add_undecoded_frame(std::string &error) {
  if (format_.rate == 0) {
    ++silence_owed_;
    return true;
  }
  return write_silence(1, error);
}

bool WavWriter::add_frame(const int16_t *pcm, int samples, const SoundFormat &format, std::string &error) {
  if (samples == 0) {
    ++silent_frames_;
    if (format_.rate == 0) {
      ++silence_owed_;
      return true;
    }
    return write_silence(1, error);
  }
  if (format_.rate == 0) {
    format_ = format;
    if (!write_silence(silence_owed_, error)) return false;
    silence_owed_ = 0;
  } else if (format.rate != format_.rate || format.channels != format_.channels) {
    error = "its audio is " + format_words(format) + ", and the frames before it have " +
            format_words(format_) + "; one WAV file holds one format";
    return false;
  }
  return write_samples(pcm, static_cast<size_t>(samples) * format.channels, error);
}

bool WavWriter::finish(std::string &error) {
  if (format_.rate == 0) {
    file_.discard();
    error =
        "--audio: none of the chosen frames holds audio that can be decoded; '" + path_ + "' was not written";
    return false;
  }
  uint8_t header[kHeaderBytes];
  std::memcpy(header, "RIFF", 4);
  put_le(header + 4, static_cast<uint32_t>(data_bytes_ + kHeaderBytes - 8), 4);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  put_le(header + 16, 16, 4);  // the fmt chunk's size
  put_le(header + 20, kPcmFormat, 2);
  put_le(header + 22, static_cast<uint32_t>(format_.channels), 2);
  put_le(header + 24, static_cast<uint32_t>(format_.rate), 4);
  put_le(header + 28, static_cast<uint32_t>(format_.rate * format_.channels * kBytesPerSample), 4);
  put_le(header + 32, static_cast<uint32_t>(format_.channels * kBytesPerSample), 2);
  put_le(header + 34, kBitsPerSample, 2);
  std::memcpy(header + 36, "data", 4);
  put_le(header + 40, static_cast<uint32_t>(data_bytes_), 4);
  return file_.write_at(0, header, sizeof header, error) && file_.commit(error);
}

}  // namespace ozmira::frame_export

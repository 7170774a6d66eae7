#include "export_run.h"

#include <memory>
#include <optional>

#include "atomic_file.h"
#include "encoder_pool.h"
#include "exit_status.h"
#include "frame_facts.h"
#include "pictures.h"
#include "progress_bar.h"
#include "wav_output.h"

namespace ozmira::frame_export {
namespace {

constexpr int kSampling420 = 2;
constexpr size_t kFrameBytes = 144000;
constexpr size_t kQueuedBeyondWorkers = 2;  // pictures waiting, so no worker idles while one is decoded

std::string image_name(const std::string &prefix, int frame) {
  char number[16];
  std::snprintf(number, sizeof number, "%06d", frame);
  return prefix + "-" + number + ".png";
}

std::string frame_error(int frame, const std::string &why) {
  return "frame " + std::to_string(frame) + ": " + why;
}

const char *bad_frame_action(BadFrames policy) {
  switch (policy) {
    case BadFrames::previous: return "the previous picture in its place";
    case BadFrames::black: return "a black picture in its place";
    case BadFrames::skip: break;
  }
  return "skipped";
}

class ExportRun {
 public:
  ExportRun(const Options &options, DvSource &source, ChosenFrames &chosen)
      : options_(options),
        source_(source),
        chosen_(chosen),
        progress_(chosen.count(), progress_bar_wanted(chosen.count(), options.quiet)) {}

  int run() {
    std::string error;
    const bool images = options_.picture != PictureKind::none;
    if (const std::string input = first_output_that_is_input(images); !input.empty()) {
      return fail("'" + input + "' is the DV file being read ('" + options_.dv_path +
                  "'); nothing was written");
    }
    if (images && !check_writable_folder(options_.output_folder, true, error)) return fail(error);
    if (needs_420_sampling(options_.picture) && source_.attributes().code != kSampling420) {
      return fail(
          "'" + options_.dv_path +
          "' holds 4:1:1 frames; the half, thumb and luma pictures need 4:2:0 frames (full and dc work)");
    }
    if (!options_.audio_path.empty()) {
      wav_.emplace();
      if (!wav_->open(options_.audio_path, error)) return fail(error);
    }
    // This thread decodes alone while the workers encode: with one worker a
    // core, the threads together match the cores instead of doubling them.
    const int workers = encoder_workers_for_this_machine(options_.threads);
    if (images) {
      dvthreads(1);
      pool_ = std::make_unique<EncoderPool>(workers);
    }
    const size_t most_pending = static_cast<size_t>(workers) + kQueuedBeyondWorkers;

    for (int frame; chosen_.next(frame);) {
      if (!take_frame(frame, error)) {
        // The frames before this one are whole: write their images first.
        return write_pending(0) ? fail(frame_error(frame, error)) : fail(write_error_);
      }
      if (!images) progress_.advance();
      if (!write_pending(most_pending)) return fail(write_error_);
    }
    if (!write_pending(0)) return fail(write_error_);
    progress_.finish();
    if (wav_ && !finish_audio(error)) return fail(error);
    if (undecoded_ == 0) return kExitOk;
    std::fprintf(stderr, "ozmira-export: done; %lld of %lld chosen frames did not decode (%s)\n",
                 static_cast<long long>(undecoded_), static_cast<long long>(chosen_.count()),
                 bad_frame_action(options_.bad_frames));
    return kExitSomeFramesNotDecoded;
  }

 private:
  int fail(const std::string &message) {
    progress_.finish();
    pool_.reset();  // workers stop before the pictures they read go away
    return report_failure(message);
  }

  // The first file this run would write that is the input itself, or "".
  std::string first_output_that_is_input(bool images) const {
    if (!options_.audio_path.empty() && source_.is_this_file(options_.audio_path)) return options_.audio_path;
    if (!images) return "";
    ChosenFrames frames = chosen_;
    for (int frame; frames.next(frame);) {
      const std::string path = options_.output_folder + "/" + image_name(options_.name_prefix, frame);
      if (source_.is_this_file(path)) return path;
    }
    return "";
  }

  // Reads, decodes and queues one frame, and adds its sound.
  bool take_frame(int frame, std::string &error) {
    if (!source_.read_frame(frame, error)) return false;
    const uint8_t *block = source_.block();
    const FrameFacts facts = read_facts(block);
    if (const char *cause = undecodable_cause(facts)) return take_bad_frame(frame, cause, error);
    if (pool_ != nullptr) {
      if (needs_420_sampling(options_.picture) && facts.info.code != kSampling420) {
        error = "it is a 4:1:1 frame; the half, thumb and luma pictures need 4:2:0 frames (full and dc work)";
        return false;
      }
      Picture picture = pool_->spare_picture(options_.picture);
      if (!decode_picture(block, options_.picture, picture)) {
        error = "dvreadformat could not decode it: " + take_library_lines();
        return false;
      }
      pool_->submit(frame, std::move(picture), pixel_aspect(facts.info.aspect, options_.picture));
      if (options_.bad_frames == BadFrames::previous) {
        last_good_.assign(block, block + kFrameBytes);
        last_aspect_ = facts.info.aspect;
      }
    }
    if (wav_) {
      SoundFormat format;
      const int samples = dvreadaudio(block, pcm_, &format.rate, &format.channels);
      if (!wav_->add_frame(pcm_, samples > 0 ? samples : 0, format, error)) return false;
    }
    return true;
  }

  // A frame that does not decode: a line, its picture as --bad-frames says,
  // and a frame's length of silence.
  bool take_bad_frame(int frame, const char *cause, std::string &error) {
    ++undecoded_;
    std::fprintf(stderr, "ozmira-export: frame %d: %s; %s\n", frame, cause,
                 bad_frame_action(options_.bad_frames));
    if (pool_ != nullptr && options_.bad_frames == BadFrames::skip) progress_.advance();
    if (pool_ != nullptr && options_.bad_frames != BadFrames::skip) {
      Picture picture = pool_->spare_picture(options_.picture);
      const bool previous = options_.bad_frames == BadFrames::previous && !last_good_.empty();
      if (!previous || !decode_picture(last_good_.data(), options_.picture, picture)) {
        std::fill(picture.bytes.begin(), picture.bytes.end(), 0);
      }
      pool_->submit(frame, std::move(picture), pixel_aspect(previous ? last_aspect_ : 0, options_.picture));
    }
    return !wav_ || wav_->add_undecoded_frame(error);
  }

  // Writes encoded images in frame order: those already done, and then more,
  // waiting, until no more than `most_pending` are left. False with
  // write_error_ set at the first that cannot be written.
  bool write_pending(size_t most_pending) {
    if (pool_ == nullptr) return true;
    EncodedImage image;
    while (pool_->pending() > 0) {
      if (!pool_->collect_oldest_if_done(image)) {
        if (pool_->pending() <= most_pending) return true;
        image = pool_->collect_oldest();
      }
      std::string error;
      if (!image.ok ||
          !write_file_atomically(options_.output_folder, image_name(options_.name_prefix, image.frame),
                                 image.png.data(), image.png.size(), error)) {
        write_error_ = frame_error(image.frame, image.ok ? error : image.error);
        return false;
      }
      progress_.advance();
    }
    return true;
  }

  bool finish_audio(std::string &error) {
    if (!wav_->finish(error)) return false;
    if (wav_->silent_frames() > 0) {
      std::fprintf(stderr,
                   "ozmira-export: warning: %lld of the chosen frames hold no audio that can be decoded; "
                   "'%s' has silence in their place\n",
                   static_cast<long long>(wav_->silent_frames()), options_.audio_path.c_str());
    }
    return true;
  }

  const Options &options_;
  DvSource &source_;
  ChosenFrames &chosen_;
  ProgressBar progress_;
  std::unique_ptr<EncoderPool> pool_;
  std::optional<WavWriter> wav_;
  std::string write_error_;
  int64_t undecoded_ = 0;
  std::vector<uint8_t> last_good_;  // the last frame decoded, for --bad-frames previous
  int last_aspect_ = 0;
  int16_t pcm_[DVLIB_AUDIO_MAX_SAMPLES];
};

}  // namespace

int run_export(const Options &options, DvSource &source, ChosenFrames &chosen) {
  return ExportRun(options, source, chosen).run();
}

}  // namespace ozmira::frame_export

#include "png_output.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>

namespace ozmira::frame_export {
namespace {

// Fast filters and a middling zlib level: a full frame encodes in a few
// milliseconds at a size close to the default's.
constexpr int kZlibLevel = 3;

struct WriteState {
  std::FILE *stream;
  std::string message;
};

void write_bytes(png_structp png, png_bytep data, png_size_t length) {
  auto *state = static_cast<WriteState *>(png_get_io_ptr(png));
  if (std::fwrite(data, 1, length, state->stream) != length) {
    state->message = std::strerror(errno);
    png_error(png, "write failed");
  }
}

void flush_bytes(png_structp png) {
  auto *state = static_cast<WriteState *>(png_get_io_ptr(png));
  std::fflush(state->stream);
}

void on_error(png_structp png, png_const_charp message) {
  auto *state = static_cast<WriteState *>(png_get_io_ptr(png));
  if (state != nullptr && state->message.empty()) state->message = message;
  png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

}  // namespace

bool write_png(std::FILE *stream, const Picture &picture, std::string &error) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    error = "libpng could not start (out of memory)";
    return false;
  }
  WriteState state{stream, {}};
  png_set_write_fn(png, &state, write_bytes, flush_bytes);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    error = "cannot write the PNG image: " + state.message;
    return false;
  }
  const int colour_type = picture.layout == PixelLayout::grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB;
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
               colour_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, kZlibLevel);
  png_write_info(png, info);
  // R G B 0 rows: the fourth byte of each pixel is a filler that libpng drops.
  if (picture.layout == PixelLayout::rgb0) png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_write_image(png, const_cast<png_bytepp>(picture.rows.data()));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace ozmira::frame_export

// Images for the frame decoder's output formats: the shape each format writes
// for a PAL frame, and a row-pointer image over one block of canary bytes.
// The block ends at an inaccessible page, so a write past the last row faults
// at once, from our code or from libdv's (which no sanitizer watches).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "clips.h"
#include "guarded_buffer.h"

namespace ozmira::test {

inline constexpr int kMacroblockSize = 16;

struct ImageShape {
  int rows, row_bytes;
};

// Rows and bytes per row that an output format writes into for a PAL frame;
// thumbnail patches overlap, so their rows are 92 pixels wide.
inline ImageShape shape_of_format(int format) {
  switch (format) {
    case 0: return {kPalHeight, kPalWidth * 2};
    case 1: return {kPalHeight, kPalWidth * 3};
    case 4: return {kPalHeight, kPalWidth};
    case 6: case 8: return {72, 92 * 4};
    case 7: return {72, 92};
    case 11: return {kPalHeight / 2, kPalWidth / 2 * 4};
    default: return {kPalHeight, kPalWidth * 4};  // 2, 3, 5 and the formats that draw nothing
  }
}

// Every byte starts as `fill`; pixels()[n] is row n. Rows lie back to back,
// row_bytes apart, so the image also serves as a packed image of that pitch.
class RowImage {
 public:
  static constexpr uint8_t kCanary = 0xa5;

  RowImage(int rows, int row_bytes, uint8_t fill = kCanary)
      : row_bytes_(row_bytes), fill_(fill), bytes_(static_cast<size_t>(rows) * row_bytes), rows_(rows) {
    std::memset(bytes_.data(), fill, bytes_.size());
    for (int r = 0; r < rows; ++r) rows_[r] = row(r);
  }
  explicit RowImage(ImageShape s, uint8_t fill = kCanary) : RowImage(s.rows, s.row_bytes, fill) {}

  uint8_t **pixels() { return rows_.data(); }
  int *pitches() { return &row_bytes_; }
  uint8_t *row(int r) { return bytes_.data() + static_cast<size_t>(r) * row_bytes_; }
  std::span<const uint8_t> bytes() const { return {bytes_.data(), bytes_.size()}; }
  int row_bytes() const { return row_bytes_; }
  // Every byte still holds the fill.
  bool untouched() const {
    return std::all_of(bytes().begin(), bytes().end(), [this](uint8_t b) { return b == fill_; });
  }

  void put_byte(int r, int column, int value) { row(r)[column] = static_cast<uint8_t>(value); }
  void put_int(int r, int column, int32_t value) { std::memcpy(row(r) + 4 * column, &value, 4); }
  void put_rgb0(int r, int column, int red, int green, int blue) {
    uint8_t *p = row(r) + 4 * column;
    p[0] = static_cast<uint8_t>(red), p[1] = static_cast<uint8_t>(green), p[2] = static_cast<uint8_t>(blue);
    p[3] = 0;
  }

 private:
  int row_bytes_;
  uint8_t fill_;
  GuardedBuffer bytes_;
  std::vector<uint8_t *> rows_;
};

// "" when both images hold the same bytes, else where they first differ.
inline std::string first_difference(const RowImage &expected, const RowImage &actual) {
  const auto e = expected.bytes(), a = actual.bytes();
  if (e.size() != a.size()) return "sizes differ";
  const auto [at, _] = std::mismatch(e.begin(), e.end(), a.begin());
  if (at == e.end()) return "";
  const size_t i = static_cast<size_t>(at - e.begin()), row_bytes = static_cast<size_t>(expected.row_bytes());
  return "row " + std::to_string(i / row_bytes) + " byte " + std::to_string(i % row_bytes) + ": expected " +
         std::to_string(e[i]) + ", got " + std::to_string(a[i]);
}

}  // namespace ozmira::test

// The window title: "Ozmira <path>" in a 512-byte buffer, cut to fit.
#include "window_title.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace ozmira::viewer {
namespace {

constexpr size_t kPathRoom = kTitleBytes - 1 - 7;  // after "Ozmira " and the terminator

TEST(WindowTitle, LongPathIsCutToTheBufferAndNothingBeyondIsWritten) {
  struct {
    char title[kTitleBytes];
    char after[16];
  } buffer;
  std::fill(std::begin(buffer.after), std::end(buffer.after), 'G');
  const std::string path(2000, 'x');
  FormatTitle(buffer.title, path.c_str());
  EXPECT_EQ(std::string(buffer.title), "Ozmira " + path.substr(0, kPathRoom));
  EXPECT_EQ(std::string(buffer.after, sizeof buffer.after), std::string(sizeof buffer.after, 'G'));
  FormatTitle(buffer.title, path.substr(0, kPathRoom).c_str());  // exactly fits: kept whole
  EXPECT_EQ(std::string(buffer.title), "Ozmira " + path.substr(0, kPathRoom));
}

TEST(WindowTitle, CutNeverSplitsAUtf8Character) {
  char title[kTitleBytes];
  for (const std::string character : {"\xC3\xA9", "\xE2\x82\xAC"}) {  // two and three bytes
    for (size_t shift = 0; shift < 4; ++shift) {                        // across the cut position
      std::string path(kPathRoom - 2 + shift, 'x');
      for (int i = 0; i < 10; ++i) path += character;
      FormatTitle(title, path.c_str());
      const std::string cut = title, whole = "Ozmira " + path;
      EXPECT_GT(cut.size(), kTitleBytes - 1 - character.size());
      EXPECT_EQ(cut, whole.substr(0, cut.size()));
      // The first byte left out starts a character: none was split.
      EXPECT_NE(static_cast<unsigned char>(whole[cut.size()]) & 0xC0, 0x80) << "shift " << shift;
    }
  }
}

}  // namespace
}  // namespace ozmira::viewer

// The window title: "Ozmira <path>" in a 512-byte buffer, cut to fit.
#include "window_title.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace ozmira::viewer {
namespace {

// The buffer sits between guard bytes that must survive the formatting.
struct GuardedTitle {
  char before[16];
  char title[kTitleBytes];
  char after[16];
};

std::string Format(const std::string &path, GuardedTitle &buffer) {
  std::memset(&buffer, 'G', sizeof buffer);
  FormatTitle(buffer.title, path.c_str());
  EXPECT_EQ(std::string(buffer.after, sizeof buffer.after), std::string(sizeof buffer.after, 'G'));
  EXPECT_EQ(std::string(buffer.before, sizeof buffer.before), std::string(sizeof buffer.before, 'G'));
  return buffer.title;
}

TEST(WindowTitle, ShortPathIsKeptWhole) {
  GuardedTitle buffer;
  EXPECT_EQ(Format("/tmp/clip.dv", buffer), "Ozmira /tmp/clip.dv");
  const std::string fits(kTitleBytes - 1 - 7, 'p');  // exactly fills the buffer with "Ozmira "
  EXPECT_EQ(Format(fits, buffer), "Ozmira " + fits);
}

TEST(WindowTitle, LongPathIsCutToTheBuffer) {
  GuardedTitle buffer;
  const std::string path(2000, 'x');
  EXPECT_EQ(Format(path, buffer), "Ozmira " + path.substr(0, kTitleBytes - 1 - 7));
}

TEST(WindowTitle, CutNeverSplitsAUtf8Character) {
  GuardedTitle buffer;
  // "é" is two bytes and "€" three; shift them across the cut position.
  for (const std::string character : {"\xC3\xA9", "\xE2\x82\xAC"}) {
    for (size_t pad = 0; pad < 4; ++pad) {
      std::string path(kTitleBytes - 1 - 7 - 2 + pad, 'x');
      for (int i = 0; i < 10; ++i) path += character;
      const std::string title = Format(path, buffer);
      const std::string whole = "Ozmira " + path;
      ASSERT_LE(title.size(), kTitleBytes - 1);
      EXPECT_GT(title.size(), kTitleBytes - 1 - character.size());
      EXPECT_EQ(title, whole.substr(0, title.size()));
      // The next byte of the whole title starts a character: nothing was split.
      EXPECT_NE(static_cast<unsigned char>(whole[title.size()]) & 0xC0, 0x80) << "pad " << pad;
    }
  }
}

}  // namespace
}  // namespace ozmira::viewer

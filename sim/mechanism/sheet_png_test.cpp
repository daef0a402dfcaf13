// The sheets' PNG files: what is written reads back the same, the bytes
// are the same each time (no time chunk), and the reader refuses what is
// no PNG of a size it takes.
#include "sim/mechanism/sheet_png.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace sim {
namespace {

SheetImage Pattern(uint32_t width, uint32_t height, uint32_t channels) {
  SheetImage image(width, height, channels, 0);
  for (size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<uint8_t>(i * 7 + i / 13);
  return image;
}

bool HasChunk(const std::vector<uint8_t>& png, const char* type) {
  for (size_t i = 8; i + 8 <= png.size();) {
    const uint32_t length = static_cast<uint32_t>(png[i] << 24 | png[i + 1] << 16 | png[i + 2] << 8 | png[i + 3]);
    if (std::memcmp(&png[i + 4], type, 4) == 0) return true;
    i += 12 + length;
  }
  return false;
}

TEST(SheetPng, WhatIsWrittenReadsBackTheSameAndTheBytesRepeat) {
  struct Case {
    const char* what;
    uint32_t width, height, channels;
  };
  const Case cases[] = {
      {"RGB", 37, 11, 3},
      {"grey", 2560, 5, 1},
      {"one pixel", 1, 1, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SheetImage image = Pattern(c.width, c.height, c.channels);
    const std::vector<uint8_t> png = sheet_png::Encode(image);
    ASSERT_FALSE(png.empty());
    EXPECT_EQ(png, sheet_png::Encode(image)) << "the same bytes each time";
    EXPECT_FALSE(HasChunk(png, "tIME"));
    EXPECT_TRUE(HasChunk(png, "IEND"));
    SheetImage back;
    ASSERT_TRUE(sheet_png::Decode(png.data(), png.size(), &back));
    EXPECT_EQ(back, image);
  }
  // Through a file.
  const std::string path = testsupport::MakeTempDir("sheet-png") + "/a.png";
  const SheetImage image = Pattern(64, 3, 3);
  ASSERT_TRUE(sheet_png::WriteFile(path, image));
  SheetImage back;
  ASSERT_TRUE(sheet_png::ReadFile(path, &back));
  EXPECT_EQ(back, image);
  EXPECT_FALSE(sheet_png::ReadFile(path + ".missing", &back));
  EXPECT_FALSE(sheet_png::WriteFile(path + "/no-folder/b.png", image));
}

TEST(SheetPng, WhatCannotBeWrittenOrReadIsRefused) {
  EXPECT_TRUE(sheet_png::Encode(SheetImage{}).empty()) << "no pixels";
  EXPECT_TRUE(sheet_png::Encode(SheetImage(4, 4, 2, 0)).empty()) << "two channels";
  SheetImage short_(4, 4, 3, 0);
  short_.pixels.pop_back();
  EXPECT_TRUE(sheet_png::Encode(short_).empty()) << "fewer bytes than the size says";

  const std::vector<uint8_t> png = sheet_png::Encode(Pattern(16, 16, 3));
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<uint8_t> truncated(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(png.size() / 2));
  std::vector<uint8_t> badCrc = png;
  badCrc[png.size() - 20] ^= 0x55;  // inside the image data
  std::vector<uint8_t> huge = png;
  // IHDR's width (bytes 16-19) and height (20-23) made 60000 x 60000.
  for (size_t at : {16u, 20u}) {
    huge[at] = 0, huge[at + 1] = 0, huge[at + 2] = 0xEA, huge[at + 3] = 0x60;
  }
  const Case cases[] = {
      {"empty", {}},
      {"no signature", std::vector<uint8_t>(100, 'x')},
      {"cut in half", truncated},
      {"a damaged data chunk", badCrc},
      {"a picture too large to take", huge},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SheetImage image(1, 1, 1, 42);
    EXPECT_FALSE(sheet_png::Decode(c.bytes.data(), c.bytes.size(), &image));
    EXPECT_EQ(image, SheetImage(1, 1, 1, 42)) << "left as it was";
  }
  SheetImage image;
  EXPECT_FALSE(sheet_png::Decode(nullptr, 0, &image));
}

}  // namespace
}  // namespace sim

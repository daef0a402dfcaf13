// SettingFileReader and the small text and byte routines beside it.
#include "image_test_support.h"
#include "setting_file_reader.h"

namespace hostlib_test {
namespace {

using SettingFileReaderTest = ImageTest;

TEST_F(SettingFileReaderTest, ExactReadsWritesSeeksAndSize) {
  const std::string path = WriteFile("reader.bin", "0123456789");
  hostlib::SettingFileReader reader;
  EXPECT_FALSE(reader.OpenForRead((path + ".missing").c_str())) << "only an existing file";
  ASSERT_TRUE(reader.OpenForRead(path.c_str()));
  EXPECT_EQ(reader.Size(), 10u);
  char buffer[8] = {};
  ASSERT_TRUE(reader.Read(buffer, 4));
  EXPECT_EQ(std::string(buffer, 4), "0123");
  ASSERT_TRUE(reader.Seek(8));
  EXPECT_FALSE(reader.Read(buffer, 4)) << "a short read fails";
  ASSERT_TRUE(reader.Seek(2));
  EXPECT_EQ(reader.NextByte(), '2');
  reader.Close();
  EXPECT_EQ(reader.Size(), INVALID_FILE_SIZE);
  EXPECT_EQ(reader.NextByte(), -1);

  const std::string written = WriteFile("written.bin", "");
  ASSERT_TRUE(reader.OpenForWrite(written.c_str()));
  ASSERT_TRUE(reader.Write("abc", 3));
  reader.Close();
  ASSERT_TRUE(reader.OpenForRead(written.c_str()));
  EXPECT_EQ(reader.Size(), 3u);
}

TEST_F(SettingFileReaderTest, NumbersAcrossTheBuffersEdge) {
  // Numbers that straddle the 512-byte buffer are read whole.
  std::string text(509, ' ');
  text += "-12345 678";
  const std::string path = WriteFile("numbers.txt", text);
  hostlib::SettingFileReader reader;
  ASSERT_TRUE(reader.OpenForRead(path.c_str()));
  int32_t value = 0;
  ASSERT_TRUE(reader.ReadSignedNumber(&value));
  EXPECT_EQ(value, -12345);
  ASSERT_TRUE(reader.ReadSignedNumber(&value));
  EXPECT_EQ(value, 678);
  EXPECT_FALSE(reader.ReadSignedNumber(&value));
}

TEST(SmallRoutinesTest, TextAndBytes) {
  struct Number {
    const char *text;
    uint32_t first;
    uint32_t hex;
  };
  const Number numbers[] = {
      {"", 0, 0},           {"42", 42, 0x42},          {"ab12cd", 12, 0xAB12CD},
      {"x 7 8", 7, 0},      {"0x1F", 0, 0x1F},         {"99999999999", 4294967295u, 0x99999999},
      {"FFFFFFFFF", 0, 0xFFFFFFFF},
  };
  for (const Number &n : numbers) {
    SCOPED_TRACE(n.text);
    EXPECT_EQ(hostlib::FirstNumber(n.text), n.first);
    EXPECT_EQ(hostlib::HexToNumber(n.text), n.hex);
  }
  EXPECT_EQ(hostlib::FirstNumber(nullptr), 0u);

  char token[6];
  const char *rest = hostlib::NextCommaToken("  alpha, beta,gamma-long-token", token, sizeof token);
  EXPECT_STREQ(token, "alpha");
  rest = hostlib::NextCommaToken(rest, token, sizeof token);
  EXPECT_STREQ(token, "beta");
  rest = hostlib::NextCommaToken(rest, token, sizeof token);
  EXPECT_STREQ(token, "gamma") << "cut to the token's room";
  EXPECT_EQ(hostlib::NextCommaToken(rest, token, sizeof token), nullptr);

  EXPECT_EQ(hostlib::Swap16(0x1234), 0x3412);
  EXPECT_EQ(hostlib::Swap32(0x12345678u), 0x78563412u);
  uint16_t values[] = {0x0102, 0xA0B0};
  hostlib::SwapShorts(values, 2);
  EXPECT_EQ(values[0], 0x0201);
  EXPECT_EQ(values[1], 0xB0A0);
  EXPECT_EQ(hostlib::BoundedCompare("abcX", "abcY", 3), 0);
  EXPECT_LT(hostlib::BoundedCompare("abcX", "abcY", 4), 0);
  EXPECT_GT(hostlib::BoundedCompare("a", nullptr, 4), 0);
  uint8_t bytes[4] = {};
  hostlib::FillBytes(bytes, 0xAB, 3);
  EXPECT_EQ(bytes[2], 0xAB);
  EXPECT_EQ(bytes[3], 0);

  char directory[MAX_PATH];
  ASSERT_TRUE(hostlib::LibraryDirectory(directory, sizeof directory));
  EXPECT_NE(directory[0], '\0');
  EXPECT_NE(directory[std::strlen(directory) - 1], '/');
  char tiny[2];
  EXPECT_FALSE(hostlib::LibraryDirectory(tiny, sizeof tiny));
}

}  // namespace
}  // namespace hostlib_test

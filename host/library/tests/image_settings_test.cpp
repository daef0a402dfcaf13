// The pipeline's settings: gamma tables, the lookup-table and filter files,
// the colour profiles (with the refused path cases), and the unexported
// entries without a session.
#include <array>
#include <cstring>

#include "image_test_support.h"

namespace hostlib_test {
namespace {

using ImageSettingsTest = ImageTest;

TEST_F(ImageSettingsTest, GammaTables) {
  uint8_t t0[256], t1[256], t2[256];
  hostlib::PrinterSession::SetGamma(100, t0, t1, t2);
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(t0[i], i);
    ASSERT_EQ(t1[i], i);
    ASSERT_EQ(t2[i], i);
  }
  for (uint16_t gamma = 1; gamma <= 1000; ++gamma) {
    hostlib::PrinterSession::SetGamma(gamma, t0, nullptr, nullptr);
    ASSERT_EQ(t0[0], 0) << "gamma " << gamma;
    ASSERT_EQ(t0[255], 255) << "gamma " << gamma;
  }
  // Gamma 150 is the exponent 1.5: 255 x (i / 255)^1.5, truncated.
  hostlib::PrinterSession::SetGamma(150, nullptr, t1, nullptr);
  const std::pair<int, int> golden[] = {{1, 0}, {2, 0}, {16, 4}, {64, 32}, {128, 90}, {200, 177}, {254, 253}};
  for (const auto &[i, value] : golden) EXPECT_EQ(t1[i], value) << "entry " << i;
}

TEST_F(ImageSettingsTest, LutFileHoldsThreeTables) {
  std::string bytes(768, '\0');
  for (int i = 0; i < 768; ++i) bytes[static_cast<size_t>(i)] = static_cast<char>(i * 7 + i / 256);
  const std::string whole = WriteFile("whole.lut", bytes);
  const std::string shorter = WriteFile("short.lut", bytes.substr(0, 767));
  uint8_t t[3][256];
  std::memset(t, 0xEE, sizeof t);
  uint16_t err = 0xFFFF;
  ASSERT_EQ(Session().LoadLutFile(whole.c_str(), t[0], t[1], t[2], &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(std::memcmp(t, bytes.data(), 768), 0);

  struct Case {
    const char *what;
    std::string path;
  };
  const Case failing[] = {{"767 bytes", shorter}, {"no file", whole + ".missing"}};
  for (const Case &c : failing) {
    SCOPED_TRACE(c.what);
    uint8_t untouched[3][256];
    std::memset(untouched, 0xEE, sizeof untouched);
    EXPECT_EQ(Session().LoadLutFile(c.path.c_str(), untouched[0], untouched[1], untouched[2], &err), 0);
    EXPECT_EQ(err, RESULT_FILE_ACCESS_FAILED);
    EXPECT_EQ(untouched[0][0], 0xEE) << "a failed read leaves the tables";
  }
}

TEST_F(ImageSettingsTest, FilterFileReadsNineSignedNumbers) {
  struct Case {
    const char *what;
    std::string text;
    bool ok;
    std::array<int32_t, 9> expected;
  };
  const std::string longZeros(254, '0');
  const Case cases[] = {
      {"plain", "0 -10 0\n-10 140 -10\n0 -10 0\n", true, {0, -10, 0, -10, 140, -10, 0, -10, 0}},
      {"signs and junk", "k=+5;x-7,,abc 8\r\n#9 10 11 12 13 +14", true, {5, -7, 8, 9, 10, 11, 12, 13, 14}},
      {"last number at the end of the file", "1 2 3 4 5 6 7 8 9", true, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {"a sign inside a number ends its digits", "1-2 3 4 5 6 7 8 9 10", true, {1, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"254 characters, then the next number", longZeros + "7 1 2 3 4 5 6 7", true, {0, 7, 1, 2, 3, 4, 5, 6, 7}},
      {"saturated", "99999999999 -99999999999 0 0 0 0 0 0 0", true,
       {2147483647, -2147483647 - 1, 0, 0, 0, 0, 0, 0, 0}},
      {"eight numbers", "1 2 3 4 5 6 7 8\n", false, {}},
      {"empty", "", false, {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = WriteFile("kernel.txt", c.text);
    int32_t out[9] = {};
    uint16_t err = 0xFFFF;
    EXPECT_EQ(Session().LoadFilterFile(path.c_str(), out, &err), c.ok ? 1 : 0);
    EXPECT_EQ(err, c.ok ? RESULT_OK : RESULT_FILE_ACCESS_FAILED);
    if (c.ok) {
      EXPECT_TRUE(std::equal(c.expected.begin(), c.expected.end(), out));
    }
  }
  int32_t out[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
  uint16_t err = 0xFFFF;
  EXPECT_EQ(Session().LoadFilterFile(nullptr, out, &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  const int32_t unity[9] = {0, 0, 0, 0, 100, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(unity, unity + 9, out));
  EXPECT_EQ(Session().LoadFilterFile("/no/such/kernel.txt", out, &err), 0);
  EXPECT_EQ(err, RESULT_FILE_ACCESS_FAILED);
}

TEST_F(ImageSettingsTest, ColorProfiles) {
  const std::string srgb = ProfilePath("srgb.icc");
  const std::string printerRgb = ProfilePath("printer_rgb.icc");
  const std::string cmyk = ProfilePath("printer_cmyk.icc");
  const std::string missing = ProfilePath("missing.icc");
  const std::string tooLong = std::string(259, 'a') + "b";  // 260 characters
  const std::string longest = "/" + std::string(258, 'a');  // 259: fits, but no such file
  struct Case {
    const char *what;
    const char *source;
    const char *dest;
    int result;
    uint16_t code;
    bool world;
  };
  const Case cases[] = {
      {"both null", nullptr, nullptr, 1, RESULT_OK, false},
      {"sRGB to printer RGB", srgb.c_str(), printerRgb.c_str(), 1, RESULT_OK, true},
      {"CMYK source for three components", cmyk.c_str(), printerRgb.c_str(), 0, RESULT_BAD_PARAMETER, false},
      {"missing file", missing.c_str(), printerRgb.c_str(), 0, RESULT_FILE_ACCESS_FAILED, false},
      {"longest path that fits", longest.c_str(), printerRgb.c_str(), 0, RESULT_FILE_ACCESS_FAILED, false},
      {"source null alone", nullptr, printerRgb.c_str(), 0, RESULT_BAD_PARAMETER, false},
      {"destination null alone", srgb.c_str(), nullptr, 0, RESULT_BAD_PARAMETER, false},
      {"source of 260 characters", tooLong.c_str(), printerRgb.c_str(), 0, RESULT_BAD_PARAMETER, false},
      {"destination of 260 characters", srgb.c_str(), tooLong.c_str(), 0, RESULT_BAD_PARAMETER, false},
  };
  std::array<uint8_t, 256> half{};
  for (int i = 0; i < 256; ++i) half[i] = static_cast<uint8_t>(i / 2);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    // A world and a changed table from before must go whatever happens.
    Job().components = 3;
    uint16_t err = 0xFFFF;
    const uint8_t *before[6] = {half.data(), half.data(), half.data(), half.data(), half.data(), half.data()};
    ASSERT_EQ(Session().SetColorProfiles(srgb.c_str(), printerRgb.c_str(), 0, before, &err), 1);
    ASSERT_NE(Session().ColorMatch().world, nullptr);
    std::strcpy(Session().ColorMatch().sourceProfile, "old source");
    std::strcpy(Session().ColorMatch().destinationProfile, "old destination");

    const uint8_t *tables[6] = {nullptr, nullptr, nullptr, nullptr, half.data(), nullptr};
    err = 0xFFFF;
    EXPECT_EQ(Session().SetColorProfiles(c.source, c.dest, 0, tables, &err), c.result);
    EXPECT_EQ(err, c.code);
    EXPECT_EQ(Session().ColorMatch().world != nullptr, c.world);
    EXPECT_EQ(Job().lut[0][200], 200) << "tables not given are the identity";
    EXPECT_EQ(Job().lut[4][200], 100) << "table 4 as given";
    if (c.code == RESULT_BAD_PARAMETER && (c.source == nullptr || c.dest == nullptr || std::strlen(c.source) >= 260 ||
                                           std::strlen(c.dest) >= 260)) {
      EXPECT_STREQ(Session().ColorMatch().sourceProfile, "old source") << "no path stored";
      EXPECT_STREQ(Session().ColorMatch().destinationProfile, "old destination");
    }
  }
}

TEST_F(ImageSettingsTest, EntriesWithoutASessionChangeNothing) {
  const int32_t cross[9] = {0, -10, 0, -10, 140, -10, 0, -10, 0};
  const std::string path = WriteFile("kernel.txt", "1 2 3 4 5 6 7 8 9");
  const unsigned codes = OnOtherThread([&] {
    // One bit for each entry that did not answer as it should.
    unsigned failures = 0;
    unsigned bit = 1;
    auto check = [&](auto entry) {
      uint16_t err = 0;
      if (entry(&err) != 0 || err != RESULT_NO_SESSION) failures |= bit;
      bit <<= 1;
    };
    check([](uint16_t *err) { return hostlib::EntryInitIdentityLut(err); });
    int32_t out[9] = {};
    check([&](uint16_t *err) { return hostlib::EntryLoadFilterFile(path.c_str(), out, err); });
    uint8_t t[3][256] = {};
    check([&](uint16_t *err) { return hostlib::EntryLoadLutFile(path.c_str(), t[0], t[1], t[2], err); });
    check([](uint16_t *err) { return hostlib::EntrySetColorProfiles(nullptr, nullptr, 0, nullptr, err); });
    hostlib::EntrySetFilter(cross);
    uint8_t gamma[256];
    std::memset(gamma, 0xEE, sizeof gamma);
    hostlib::EntrySetGamma(150, gamma, gamma, gamma);
    if (gamma[100] != 0xEE) failures |= bit;
    return failures;
  });
  EXPECT_EQ(codes, 0u);
  EXPECT_EQ(Job().filterOn, 0u) << "the session of another thread is not touched";

  // With the session, the entries reach it.
  hostlib::EntrySetFilter(cross);
  EXPECT_EQ(Job().filterOn, 1u);
  uint16_t err = 0xFFFF;
  int32_t out[9] = {};
  EXPECT_EQ(hostlib::EntryLoadFilterFile(path.c_str(), out, &err), 1);
  EXPECT_EQ(err, RESULT_OK);
  EXPECT_EQ(out[8], 9);
}

}  // namespace
}  // namespace hostlib_test

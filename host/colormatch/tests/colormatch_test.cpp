// BOM7300ColorMatch loaded by name, as BOM7300upgrade loads it, against
// Little CMS's own reading and transforms of the generated test profiles.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bom7300colormatch.h"
#include "outside_libraries.h"

namespace {

std::string ProfilePath(const char *name) { return std::string(BOM_TEST_PROFILE_DIR) + "/" + name; }

using Engine = hostlib::ColorMatchLibrary;

// The library bound by the host library's own loader: LoadLibraryA by
// name, all twelve entry points.
class ColorMatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(hostlib::LoadColorMatchLibrary(e_)); }
  void TearDown() override { hostlib::FreeColorMatchLibrary(e_); }

  CMPROFILE Open(const char *name) {
    CMPROFILE profile = nullptr;
    EXPECT_EQ(e_.OpenProfile(ProfilePath(name).c_str(), &profile), 0) << name;
    return profile;
  }

  Engine e_;
};

// Deterministic bytes: a fixed-seed linear congruential sequence.
std::vector<uint8_t> TestBytes(size_t count, uint32_t seed) {
  std::vector<uint8_t> bytes(count);
  for (uint8_t &b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(seed >> 24);
  }
  return bytes;
}

uint32_t BigEndian32(const uint8_t *bytes) {
  return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
         static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
}

cmsUInt32Number FormatOf(int components) {
  return components == 1 ? TYPE_GRAY_8 : components == 3 ? TYPE_RGB_8 : TYPE_CMYK_8;
}

TEST_F(ColorMatchTest, ProfilesOpenWithTheHeaderLcmsReads) {
  const char *good[] = {"srgb.icc", "printer_rgb.icc", "printer_cmyk.icc", "gray.icc", "lab.icc"};
  for (const char *name : good) {
    SCOPED_TRACE(name);
    CMPROFILE profile = Open(name);
    ASSERT_NE(profile, nullptr);
    uint8_t header[CM_PROFILE_HEADER_SIZE] = {};
    ASSERT_EQ(e_.GetProfileHeader(profile, header), 0);
    cmsHPROFILE reference = cmsOpenProfileFromFile(ProfilePath(name).c_str(), "r");
    ASSERT_NE(reference, nullptr);
    EXPECT_EQ(BigEndian32(header + 12), static_cast<uint32_t>(cmsGetDeviceClass(reference)));
    EXPECT_EQ(BigEndian32(header + CM_PROFILE_COLOR_SPACE_AT), static_cast<uint32_t>(cmsGetColorSpace(reference)));
    cmsCloseProfile(reference);
    EXPECT_EQ(e_.CloseProfile(profile), 0);
    EXPECT_NE(e_.CloseProfile(profile), 0) << "a second close";
    EXPECT_NE(e_.GetProfileHeader(profile, header), 0) << "a closed handle";
  }
  const char *broken[] = {"empty.icc",         "truncated.icc", "short_body.icc",
                          "bad_signature.icc", "text.icc",      "no_such_file.icc"};
  for (const char *name : broken) {
    SCOPED_TRACE(name);
    CMPROFILE profile = reinterpret_cast<CMPROFILE>(1);
    EXPECT_NE(e_.OpenProfile(ProfilePath(name).c_str(), &profile), 0);
    EXPECT_EQ(profile, nullptr);
  }
  uint8_t header[CM_PROFILE_HEADER_SIZE];
  int foreign = 0;
  EXPECT_NE(e_.CloseProfile(nullptr), 0);
  EXPECT_NE(e_.CloseProfile(&foreign), 0);
  EXPECT_NE(e_.GetProfileHeader(&foreign, header), 0);
  EXPECT_NE(e_.OpenProfile(nullptr, nullptr), 0);
}

TEST_F(ColorMatchTest, RawTagIsLcmsRawRead) {
  CMPROFILE profile = Open("printer_cmyk.icc");
  cmsHPROFILE reference = cmsOpenProfileFromFile(ProfilePath("printer_cmyk.icc").c_str(), "r");
  ASSERT_NE(reference, nullptr);
  const cmsUInt32Number total = cmsReadRawTag(reference, cmsSigAToB0Tag, nullptr, 0);
  std::vector<uint8_t> expected(total);
  ASSERT_EQ(cmsReadRawTag(reference, cmsSigAToB0Tag, expected.data(), total), total);
  cmsCloseProfile(reference);

  DWORD size = 0;
  ASSERT_EQ(e_.GetPartialProfileElement(profile, cmsSigAToB0Tag, 10, nullptr, &size), 0);
  EXPECT_EQ(size, total - 10);
  std::vector<uint8_t> got(64);
  size = static_cast<DWORD>(got.size());
  ASSERT_EQ(e_.GetPartialProfileElement(profile, cmsSigAToB0Tag, 10, got.data(), &size), 0);
  EXPECT_EQ(size, 64u);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), expected.begin() + 10));
  got.assign(total, 0);
  size = total;
  ASSERT_EQ(e_.GetPartialProfileElement(profile, cmsSigAToB0Tag, 0, got.data(), &size), 0);
  EXPECT_EQ(got, expected);

  size = 64;
  EXPECT_NE(e_.GetPartialProfileElement(profile, cmsSigAToB0Tag, total + 1, got.data(), &size), 0);
  EXPECT_NE(e_.GetPartialProfileElement(profile, cmsSigGamutTag, 0, got.data(), &size), 0) << "absent tag";
  e_.CloseProfile(profile);
  EXPECT_NE(e_.GetPartialProfileElement(profile, cmsSigAToB0Tag, 0, got.data(), &size), 0) << "closed";
}

struct WorldCase {
  const char *source;
  const char *destination;
  int in;
  int out;
};

constexpr WorldCase kWorlds[] = {
    {"srgb.icc", "printer_rgb.icc", 3, 3},  {"srgb.icc", "printer_cmyk.icc", 3, 4},
    {"printer_cmyk.icc", "srgb.icc", 4, 3}, {"gray.icc", "printer_rgb.icc", 1, 3},
    {"srgb.icc", "gray.icc", 3, 1},         {"gray.icc", "printer_cmyk.icc", 1, 4},
};

// A colour world over the named profiles, and lcms2's own transform of the
// same profiles, intent and flags.
class WorldFixture {
 public:
  WorldFixture(Engine &e, const WorldCase &c, uint32_t intent, const uint8_t *lutRecord) : e_(e) {
    CMPROFILE source = nullptr;
    CMPROFILE destination = nullptr;
    e_.OpenProfile(ProfilePath(c.source).c_str(), &source);
    e_.OpenProfile(ProfilePath(c.destination).c_str(), &destination);
    world = e_.CreateColorWorld(intent, source, 0, destination, lutRecord);
    e_.CloseProfile(source);
    e_.CloseProfile(destination);
    cmsHPROFILE from = cmsOpenProfileFromFile(ProfilePath(c.source).c_str(), "r");
    cmsHPROFILE to = cmsOpenProfileFromFile(ProfilePath(c.destination).c_str(), "r");
    reference = cmsCreateTransform(from, FormatOf(c.in), to, FormatOf(c.out), intent, cmsFLAGS_NOCACHE);
    cmsCloseProfile(from);
    cmsCloseProfile(to);
  }
  ~WorldFixture() {
    if (world != nullptr) e_.DisposeColorWorld(world);
    if (reference != nullptr) cmsDeleteTransform(reference);
  }

  Engine &e_;
  CMCOLORWORLD world = nullptr;
  cmsHTRANSFORM reference = nullptr;
};

constexpr int32_t kWidth = 37;
constexpr int32_t kRows = 11;

TEST_F(ColorMatchTest, WorldsMatchLcmsByteForByte) {
  uint8_t inverting[CM_LUT_RECORD_SIZE];
  for (int t = 0; t < 5; ++t) {
    for (int i = 0; i < 256; ++i) inverting[t * 256 + i] = static_cast<uint8_t>(t >= 1 && t <= 3 ? 255 - i : i);
  }
  for (const WorldCase &c : kWorlds) {
    for (uint32_t intent = 0; intent <= 3; ++intent) {
      SCOPED_TRACE(std::string(c.source) + " -> " + c.destination + " intent " + std::to_string(intent));
      WorldFixture plain(e_, c, intent, nullptr);
      ASSERT_NE(plain.world, nullptr);
      ASSERT_NE(plain.reference, nullptr);
      EXPECT_EQ(e_.GetNumsOfInPixComp(plain.world), c.in);
      EXPECT_EQ(e_.GetNumsOfOutPixComp(plain.world), c.out);

      // Padded source rows, packed destination rows.
      const int32_t inRow = kWidth * c.in + 3;
      const int32_t outRow = kWidth * c.out;
      std::vector<uint8_t> image = TestBytes(static_cast<size_t>(inRow * kRows), 7 + intent);
      std::vector<uint8_t> expected(static_cast<size_t>(outRow * kRows));
      cmsDoTransformLineStride(plain.reference, image.data(), expected.data(), kWidth, kRows, inRow, outRow, 0, 0);

      CMPixelMap source{kWidth, kRows, c.in, inRow, image.data()};
      std::vector<uint8_t> got(expected.size());
      CMPixelMap destination{kWidth, kRows, c.out, outRow, got.data()};
      ASSERT_EQ(e_.MatchPixelMap(plain.world, &source, &destination), 0);
      EXPECT_EQ(got, expected);
      if (c.in == c.out) {
        std::vector<uint8_t> packed;
        for (int32_t r = 0; r < kRows; ++r) {
          packed.insert(packed.end(), image.begin() + r * inRow, image.begin() + r * inRow + outRow);
        }
        EXPECT_NE(got, packed) << "the conversion changes values";
      }

      WorldFixture inverted(e_, c, intent, inverting);
      ASSERT_NE(inverted.world, nullptr);
      ASSERT_EQ(e_.MatchPixelMap(inverted.world, &source, &destination), 0);
      std::vector<uint8_t> invertedExpected = expected;
      for (size_t i = 0; i < invertedExpected.size(); ++i) {
        if (static_cast<int>(i % static_cast<size_t>(c.out)) < 3) invertedExpected[i] = 255 - invertedExpected[i];
      }
      EXPECT_EQ(got, invertedExpected);

      // The plane map of the same pixels.
      std::vector<std::vector<uint8_t>> inPlanes(4, std::vector<uint8_t>(kWidth * kRows));
      std::vector<std::vector<uint8_t>> outPlanes(4, std::vector<uint8_t>(kWidth * kRows));
      for (int32_t r = 0; r < kRows; ++r) {
        for (int32_t x = 0; x < kWidth; ++x) {
          for (int k = 0; k < c.in; ++k) inPlanes[k][r * kWidth + x] = image[r * inRow + x * c.in + k];
        }
      }
      CMPlaneMap inMap{kWidth, kRows, c.in, kWidth, {inPlanes[0].data(), inPlanes[1].data(), inPlanes[2].data(), inPlanes[3].data()}};
      CMPlaneMap outMap{kWidth, kRows, c.out, kWidth, {outPlanes[0].data(), outPlanes[1].data(), outPlanes[2].data(), outPlanes[3].data()}};
      ASSERT_EQ(e_.MatchPlaneMap(plain.world, &inMap, &outMap), 0);
      for (int32_t r = 0; r < kRows; ++r) {
        for (int32_t x = 0; x < kWidth; ++x) {
          for (int k = 0; k < c.out; ++k) {
            ASSERT_EQ(outPlanes[k][r * kWidth + x], expected[r * outRow + x * c.out + k]) << r << "," << x << "," << k;
          }
        }
      }
    }
  }
}

TEST_F(ColorMatchTest, GridTableAndInPlaceAgreeWithThePixelMap) {
  for (const WorldCase &c : kWorlds) {
    SCOPED_TRACE(std::string(c.source) + " -> " + c.destination);
    WorldFixture f(e_, c, 0, nullptr);
    ASSERT_NE(f.world, nullptr);
    size_t entries = 1;
    for (int k = 0; k < c.in; ++k) entries *= 17;
    std::vector<uint8_t> table(entries * static_cast<size_t>(c.out));
    EXPECT_NE(e_.CreatLUT(f.world, table.data(), static_cast<DWORD>(table.size() - 1)), 0) << "too small";
    ASSERT_EQ(e_.CreatLUT(f.world, table.data(), static_cast<DWORD>(table.size())), 0);
    // Grid point i is level round(i * 255 / 16); the first component
    // varies slowest.
    std::vector<uint8_t> grid(entries * static_cast<size_t>(c.in));
    for (size_t n = 0; n < entries; ++n) {
      size_t rest = n;
      for (int k = c.in - 1; k >= 0; --k) {
        grid[n * c.in + k] = static_cast<uint8_t>((rest % 17 * 255 + 8) / 16);
        rest /= 17;
      }
    }
    std::vector<uint8_t> expected(table.size());
    CMPixelMap source{static_cast<int32_t>(entries), 1, c.in, static_cast<int32_t>(grid.size()), grid.data()};
    CMPixelMap destination{static_cast<int32_t>(entries), 1, c.out, static_cast<int32_t>(expected.size()),
                           expected.data()};
    ASSERT_EQ(e_.MatchPixelMap(f.world, &source, &destination), 0);
    EXPECT_EQ(table, expected);

    if (c.in == c.out) {
      std::vector<uint8_t> inPlace = grid;
      CMPixelMap same{static_cast<int32_t>(entries), 1, c.in, static_cast<int32_t>(inPlace.size()), inPlace.data()};
      ASSERT_EQ(e_.MatchPixelMap(f.world, &same, &same), 0);
      EXPECT_EQ(inPlace, expected);
    }
  }
}

TEST_F(ColorMatchTest, DeviceLinkReproducesTheWorld) {
  // Identity tables: the link holds the same stages as the world, within
  // one level. Tables that invert the output: the link carries them in a
  // resampled grid, whose interpolation near black (where the 1.8 curve is
  // steepest) may take a few levels.
  uint8_t tables[CM_LUT_RECORD_SIZE];
  for (int i = 0; i < 256; ++i) {
    tables[i] = static_cast<uint8_t>(i);
    for (int t = 1; t < 5; ++t) tables[t * 256 + i] = static_cast<uint8_t>(255 - i);
  }
  for (const uint8_t *record : {static_cast<const uint8_t *>(nullptr), static_cast<const uint8_t *>(tables)})
  for (const WorldCase &c : kWorlds) {
    SCOPED_TRACE(std::string(c.source) + " -> " + c.destination + (record ? " with tables" : ""));
    WorldFixture f(e_, c, 1, record);
    ASSERT_NE(f.world, nullptr);
    DWORD size = 0;
    ASSERT_EQ(e_.ConvertColorWorldToIPB(f.world, nullptr, &size), 0);
    ASSERT_GT(size, 128u);
    std::vector<uint8_t> block(size);
    DWORD small = size - 1;
    EXPECT_NE(e_.ConvertColorWorldToIPB(f.world, block.data(), &small), 0);
    ASSERT_EQ(e_.ConvertColorWorldToIPB(f.world, block.data(), &size), 0);
    cmsHPROFILE link = cmsOpenProfileFromMem(block.data(), size);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(cmsGetDeviceClass(link), cmsSigLinkClass);
    cmsHTRANSFORM linked = cmsCreateTransform(link, FormatOf(c.in), nullptr, FormatOf(c.out), 1, cmsFLAGS_NOCACHE);
    cmsCloseProfile(link);
    ASSERT_NE(linked, nullptr);
    std::vector<uint8_t> image = TestBytes(static_cast<size_t>(kWidth * kRows * c.in), 99);
    std::vector<uint8_t> viaLink(static_cast<size_t>(kWidth * kRows * c.out));
    std::vector<uint8_t> viaWorld(viaLink.size());
    cmsDoTransform(linked, image.data(), viaLink.data(), kWidth * kRows);
    cmsDeleteTransform(linked);
    CMPixelMap source{kWidth * kRows, 1, c.in, kWidth * kRows * c.in, image.data()};
    CMPixelMap destination{kWidth * kRows, 1, c.out, kWidth * kRows * c.out, viaWorld.data()};
    ASSERT_EQ(e_.MatchPixelMap(f.world, &source, &destination), 0);
    const int tolerance = record == nullptr ? 1 : 4;
    for (size_t i = 0; i < viaWorld.size(); ++i) {
      ASSERT_NEAR(viaLink[i], viaWorld[i], tolerance) << "byte " << i;
    }
  }
}

// No pixel cache: two threads matching through one world at once each get
// what one thread alone gets.
TEST_F(ColorMatchTest, OneWorldServesTwoThreads) {
  WorldFixture f(e_, kWorlds[1], 0, nullptr);  // sRGB to CMYK
  ASSERT_NE(f.world, nullptr);
  constexpr int32_t kPixels = 64 * 1024;
  std::vector<uint8_t> images[2] = {TestBytes(kPixels * 3, 1), TestBytes(kPixels * 3, 2)};
  std::vector<uint8_t> expected[2];
  for (int t = 0; t < 2; ++t) {
    expected[t].resize(kPixels * 4);
    cmsDoTransform(f.reference, images[t].data(), expected[t].data(), kPixels);
  }
  std::vector<uint8_t> got[2] = {std::vector<uint8_t>(kPixels * 4), std::vector<uint8_t>(kPixels * 4)};
  int results[2] = {-1, -1};
  auto run = [&](int t) {
    for (int32_t at = 0; at < kPixels; at += 1024) {
      CMPixelMap source{1024, 1, 3, 1024 * 3, images[t].data() + at * 3};
      CMPixelMap destination{1024, 1, 4, 1024 * 4, got[t].data() + at * 4};
      results[t] = e_.MatchPixelMap(f.world, &source, &destination);
      if (results[t] != 0) return;
    }
  };
  std::thread other(run, 1);
  run(0);
  other.join();
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], 0);
  EXPECT_TRUE(got[0] == expected[0]);
  EXPECT_TRUE(got[1] == expected[1]);
}

TEST_F(ColorMatchTest, RefusedWorldsAndHandles) {
  CMPROFILE lab = Open("lab.icc");
  CMPROFILE srgb = Open("srgb.icc");
  EXPECT_EQ(e_.CreateColorWorld(0, lab, 0, srgb, nullptr), nullptr) << "Lab source";
  EXPECT_EQ(e_.CreateColorWorld(0, srgb, 0, lab, nullptr), nullptr) << "Lab destination";
  EXPECT_EQ(e_.CreateColorWorld(4, srgb, 0, srgb, nullptr), nullptr) << "intent 4";
  EXPECT_EQ(e_.CreateColorWorld(0, nullptr, 0, srgb, nullptr), nullptr);
  int foreign = 0;
  EXPECT_EQ(e_.CreateColorWorld(0, &foreign, 0, srgb, nullptr), nullptr);

  CMCOLORWORLD world = e_.CreateColorWorld(0, srgb, 0, srgb, nullptr);
  ASSERT_NE(world, nullptr);
  uint8_t pixels[6] = {};
  uint8_t out[8] = {};
  CMPixelMap rgb{2, 1, 3, 6, pixels};
  CMPixelMap cmyk{2, 1, 4, 8, out};
  CMPixelMap narrow{2, 1, 3, 5, pixels};
  EXPECT_NE(e_.MatchPixelMap(world, &rgb, &cmyk), 0) << "components differ from the world's";
  EXPECT_NE(e_.MatchPixelMap(world, &narrow, &rgb), 0) << "row bytes too small";
  EXPECT_EQ(e_.MatchPixelMap(world, &rgb, &rgb), 0);
  EXPECT_EQ(e_.DisposeColorWorld(world), 0);
  EXPECT_NE(e_.DisposeColorWorld(world), 0);
  EXPECT_NE(e_.MatchPixelMap(world, &rgb, &rgb), 0);
  EXPECT_EQ(e_.GetNumsOfInPixComp(world), 0);
  EXPECT_EQ(e_.GetNumsOfOutPixComp(nullptr), 0);
  EXPECT_NE(e_.DisposeColorWorld(&foreign), 0);
  DWORD size = 0;
  EXPECT_NE(e_.ConvertColorWorldToIPB(world, nullptr, &size), 0);
  EXPECT_NE(e_.CreatLUT(world, out, sizeof out), 0);
  e_.CloseProfile(lab);
  e_.CloseProfile(srgb);
}

}  // namespace

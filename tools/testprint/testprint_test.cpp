// The page preview: the cross grid of a sample printer rendered page-sized
// with its marks where the pattern puts them, the state directory left as
// it was, and the arguments the program refuses.
#include "tools/testprint/testprint.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tests/support/sample_printer.h"
#include "tests/support/temp_dir.h"

namespace {

std::map<std::string, std::string> Contents(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    files[entry.path().string()] = bytes.str();
  }
  return files;
}

TEST(TestPrintPreview, TheCrossGridIsPageSizedWithItsMarksAndTheStateStaysAsItWas) {
  const std::string dir = testsupport::MakeTempDir();
  std::string error;
  ASSERT_TRUE(testsupport::ProvisionSamplePrinter(dir, {}, &error)) << error;
  const auto before = Contents(dir);
  const std::string out = testsupport::MakeTempDir() + "/cross.png";
  const char* const argv[] = {"bom-testprint", "cross", "--state", dir.c_str(), "--size", "3", out.c_str()};
  ASSERT_EQ(testprint::Main(7, argv), 0);
  EXPECT_EQ(Contents(dir), before);

  sim::SheetImage image;
  ASSERT_TRUE(sim::sheet_png::ReadFile(out, &image));
  // Row 3 of the size table: the 8x10 size, 2464 x 3024.
  ASSERT_EQ(image.width, 2464u);
  ASSERT_EQ(image.height, 3024u);
  ASSERT_EQ(image.channels, 3u);
  // Every 48th line starts 4 full lines; between them 4-dot marks every 48
  // dots from dot 48 on. Full density in every plane is black.
  auto Black = [&](uint32_t x, uint32_t y) {
    return image.At(x, y, 0) == 0 && image.At(x, y, 1) == 0 && image.At(x, y, 2) == 0;
  };
  auto White = [&](uint32_t x, uint32_t y) {
    return image.At(x, y, 0) == 255 && image.At(x, y, 1) == 255 && image.At(x, y, 2) == 255;
  };
  for (uint32_t y : {0u, 3u, 48u, 51u, 2976u}) {
    for (uint32_t x : {0u, 1u, 47u, 1000u, 2463u}) EXPECT_TRUE(Black(x, y)) << x << "," << y;
  }
  for (uint32_t y : {4u, 20u, 47u, 3023u}) {
    for (uint32_t x : {48u, 51u, 96u, 2448u, 2451u}) EXPECT_TRUE(Black(x, y)) << x << "," << y;
    for (uint32_t x : {0u, 47u, 52u, 95u, 2452u, 2463u}) EXPECT_TRUE(White(x, y)) << x << "," << y;
  }
}

TEST(TestPrintPreview, BadArgumentsGiveTheUsageAndExitCode2) {
  const std::string dir = testsupport::MakeTempDir();
  const std::string out = dir + "/x.png";
  const std::vector<std::vector<std::string>> kCases = {
      {},
      {"cross", out},
      {"spiral", "--state", dir, out},
      {"cross", "--state", dir + "/missing", out},
      {"cross", "--state", dir, "--size", "12", out},
      {"gray", "--state", dir, "--gray", "256", out},
      {"letter", "--state", dir, "--side", "3", out},
      {"cross", "--state", dir, "--scale", "0", out},
      {"cross", "--state", dir, "--colour", out},
      {"cross", "--state", dir, out, "extra.png"},
  };
  for (const auto& args : kCases) {
    std::vector<const char*> argv = {"bom-testprint"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    testing::internal::CaptureStderr();
    EXPECT_EQ(testprint::Main(static_cast<int>(argv.size()), argv.data()), 2) << args.size();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("usage: bom-testprint"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace

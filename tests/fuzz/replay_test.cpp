// Replays the inputs kept for one fuzz target through the target's own
// entry point, in every build (the fuzzer is clang's; this runs under any
// compiler): each regression input (a crash the fuzzer once found) is a
// test of its own, and the seed inputs run together as one more. A target
// that breaks a property of the system aborts, which fails the test.
//
// FUZZ_TARGET names the target; kept_inputs.inc, written by CMake, lists
// the files.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_input.h"

namespace {

struct KeptInputs {
  std::vector<std::string> regressions;
  std::vector<std::string> seeds;
};

const KeptInputs& Kept() {
  static const KeptInputs kept{
#include "kept_inputs.inc"
  };
  return kept;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  EXPECT_TRUE(file.good()) << "cannot read " << path;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void Replay(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadFile(path);
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

// The file name as a test name: letters, digits and underscores.
std::string CaseName(const ::testing::TestParamInfo<std::string>& input) {
  std::string name = input.param.substr(input.param.find_last_of('/') + 1);
  for (char& c : name) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0) c = '_';
  }
  return name;
}

// The target's name prefixes the test names (expanded before gtest pastes it).
#define BOM_INSTANTIATE(prefix, ...) INSTANTIATE_TEST_SUITE_P(prefix, __VA_ARGS__)

class FuzzRegression : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzRegression, RunsClean) { Replay(GetParam()); }

BOM_INSTANTIATE(FUZZ_TARGET, FuzzRegression, ::testing::ValuesIn(Kept().regressions),
                         CaseName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzRegression);

// One case, for the target's name in front of the test's.
class FuzzSeeds : public ::testing::TestWithParam<int> {};

TEST_P(FuzzSeeds, RunClean) {
  ASSERT_FALSE(Kept().seeds.empty()) << "every fuzz target keeps a few seed inputs";
  for (const std::string& seed : Kept().seeds) {
    SCOPED_TRACE(seed);
    Replay(seed);
  }
}

BOM_INSTANTIATE(FUZZ_TARGET, FuzzSeeds, ::testing::Values(0));

}  // namespace

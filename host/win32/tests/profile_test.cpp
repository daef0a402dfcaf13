// Profile (ini) reading with the Windows rules, as tables of cases.
#include <fstream>
#include <vector>

#include "test_support.h"

namespace win32_test {
namespace {

const char kIni[] =
    "; the updater's file, with the oddities found in the field\r\n"
    "[MAIN]\r\n"
    "FILEPATH = C:\\fw\\main.bin   \r\n"
    "  Quoted =\t\"  spaced value  \"\r\n"
    "Single='x'\n"
    "Empty=\n"
    "Unbalanced=\"abc\n"
    "Bare\n"
    "Dup=first\n"
    "dup=second\n"
    "[time]\n"
    "MAIN_WAIT_TIME=80000\n"
    "Negative=-25\n"
    "Plus=+7\n"
    "Trailing=42abc\n"
    "NoDigits=abc\n"
    "Huge=99999999999\n"
    "HugeNegative=-99999999999\n"
    "Spaced= 1 2\n"
    "QuotedNumber=\"123\"\n"
    "EmptyNumber=\n"
    "[ Spaced Section ]\n"
    "k = v\n"
    "[main]\n"
    "Late=never seen\n";

class Win32Profile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("pkg.ini");
    std::ofstream(path_, std::ios::binary) << kIni;
  }
  TempDir dir_;
  std::string path_;
};

struct StringCase {
  const char *section;
  const char *key;
  const char *fallback;
  DWORD size;
  std::string expected;
  DWORD count;
};

TEST_F(Win32Profile, StringValues) {
  const std::vector<StringCase> cases = {
      {"MAIN", "FILEPATH", "None", 260, "C:\\fw\\main.bin", 14},
      {"main", "filepath", "None", 260, "C:\\fw\\main.bin", 14},
      {"MAIN", "Quoted", "", 260, "  spaced value  ", 16},
      {"MAIN", "Single", "", 260, "x", 1},
      {"MAIN", "Empty", "dflt", 260, "", 0},
      {"MAIN", "Unbalanced", "", 260, "\"abc", 4},
      {"MAIN", "Bare", "dflt", 260, "", 0},
      {"MAIN", "DUP", "", 260, "first", 5},
      {"MAIN", "Late", "dflt", 260, "dflt", 4},
      {"MAIN", "Missing", "dflt  \t", 260, "dflt", 4},
      {"MAIN", "Missing", nullptr, 260, "", 0},
      {"Nowhere", "FILEPATH", "None", 260, "None", 4},
      {"spaced section", "K", "", 260, "v", 1},
      {"MAIN", "FILEPATH", "", 5, "C:\\f", 4},
      {"MAIN", "Missing", "defaults", 4, "def", 3},
      {"MAIN", "FILEPATH", "", 1, "", 0},
  };
  for (const StringCase &c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key + " size " + std::to_string(c.size));
    std::vector<char> buf(c.size + 8, '#');
    EXPECT_EQ(GetPrivateProfileStringA(c.section, c.key, c.fallback, buf.data(), c.size, path_.c_str()), c.count);
    EXPECT_EQ(std::string(buf.data()), c.expected);
  }
}

struct ListCase {
  const char *name;
  const char *section;
  DWORD size;
  std::string expected;  // with its terminators
  DWORD count;
};

TEST_F(Win32Profile, SectionAndKeyLists) {
  using namespace std::string_literals;
  const std::vector<ListCase> cases = {
      {"sections", nullptr, 100, "MAIN\0time\0Spaced Section\0\0"s, 25},
      {"sections cut", nullptr, 8, "MAIN\0ti\0\0"s.substr(0, 6) + "\0\0"s, 6},
      {"keys", "Spaced Section", 100, "k\0\0"s, 2},
      {"keys cut", "TIME", 24, "MAIN_WAIT_TIME\0Negativ\0\0"s.substr(0, 22) + "\0\0"s, 22},
      {"keys of a missing section", "Nowhere", 100, "\0\0"s, 0},
  };
  for (const ListCase &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<char> buf(c.size, '#');
    EXPECT_EQ(GetPrivateProfileStringA(c.section, nullptr, "ignored", buf.data(), c.size, path_.c_str()), c.count);
    EXPECT_EQ(std::string(buf.data(), c.expected.size()), c.expected);
  }
}

struct IntCase {
  const char *section;
  const char *key;
  INT fallback;
  UINT expected;
};

TEST_F(Win32Profile, IntegerValues) {
  const std::vector<IntCase> cases = {
      {"TIME", "MAIN_WAIT_TIME", 1, 80000},
      {"TIME", "DSP_WAIT_TIME", 40000, 40000},
      {"time", "negative", 1, static_cast<UINT>(-25)},
      {"time", "Plus", 1, 7},
      {"time", "Trailing", 1, 42},
      {"time", "NoDigits", 1, 0},
      {"time", "Huge", 1, 2147483647u},
      {"time", "HugeNegative", 1, 0x80000000u},
      {"time", "Spaced", 1, 1},
      {"time", "QuotedNumber", 1, 123},
      {"time", "EmptyNumber", 55, 55},
      {"Nowhere", "MAIN_WAIT_TIME", 80000, 80000},
  };
  for (const IntCase &c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(GetPrivateProfileIntA(c.section, c.key, c.fallback, path_.c_str()), c.expected);
  }
}

TEST_F(Win32Profile, MissingFileGivesDefaults) {
  const std::string missing = dir_.File("none.ini");
  char buf[16];
  EXPECT_EQ(GetPrivateProfileStringA("MAIN", "FILEPATH", "None", buf, sizeof buf, missing.c_str()), 4u);
  EXPECT_STREQ(buf, "None");
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetPrivateProfileIntA("TIME", "MAIN_WAIT_TIME", 80000, missing.c_str()), 80000u);
}

// A bare name and a relative path with '\' are taken from the current
// directory, as the updater builds them.
TEST_F(Win32Profile, RelativeNamesAreInTheCurrentDirectory) {
  char saved[4096];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0700), 0);
  std::ofstream(dir_.File("sub/other.ini")) << "[A]\nb=c\n";
  ASSERT_EQ(chdir(dir_.path().c_str()), 0);
  char buf[16];
  EXPECT_EQ(GetPrivateProfileIntA("TIME", "MAIN_WAIT_TIME", 0, "pkg.ini"), 80000u);
  EXPECT_EQ(GetPrivateProfileStringA("A", "b", "", buf, sizeof buf, "sub\\other.ini"), 1u);
  EXPECT_STREQ(buf, "c");
  EXPECT_EQ(GetPrivateProfileStringA("A", "b", "", buf, sizeof buf, (dir_.path() + "\\sub\\other.ini").c_str()), 1u);
  ASSERT_EQ(chdir(saved), 0);
}

}  // namespace
}  // namespace win32_test

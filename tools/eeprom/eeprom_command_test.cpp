// The factory EEPROM programmer's command line on state directories that
// exist, do not exist yet, or cannot exist.
#include "tools/eeprom/eeprom_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/eeprom/eeprom_image.h"

namespace eepromimage {
namespace {

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

Outcome Command(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int code = RunEepromCommand(args, out, err);
  return Outcome{code, out.str(), err.str()};
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

class EepromCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = ::testing::TempDir() + "bom-eeprom-XXXXXX";
    ASSERT_NE(mkdtemp(m_dir.data()), nullptr);
  }
  std::string m_dir;
};

TEST_F(EepromCommand, ASerialNumberGoesIntoAStateDirectoryMadeForIt) {
  for (const std::string& state : {m_dir, m_dir + "/new", m_dir + "/deeper/still/new"}) {
    const Outcome serial = Command({"serial", state, "SN123456"});
    EXPECT_EQ(serial.code, 0) << state << ": " << serial.err;
    EXPECT_EQ(Command({"show", state}).out, "SN123456\n") << state;
  }
  // Written again, the formatted image keeps its cells and takes the new number.
  EXPECT_EQ(Command({"serial", m_dir + "/new", "SN654321"}).code, 0);
  EXPECT_EQ(Command({"show", m_dir + "/new"}).out, "SN654321\n");
}

TEST_F(EepromCommand, WhatCannotBeDoneLeavesNothingBehind) {
  // A serial number that is not one: no directory is made for it.
  const Outcome bad = Command({"serial", m_dir + "/never", "SHORT"});
  EXPECT_EQ(bad.code, 1);
  EXPECT_NE(bad.err.find("bom-eeprom: "), std::string::npos) << bad.err;
  EXPECT_FALSE(Exists(m_dir + "/never"));

  // A file where a directory would have to be.
  std::ofstream(m_dir + "/file") << "x";
  const Outcome blocked = Command({"serial", m_dir + "/file/state", "SN123456"});
  EXPECT_EQ(blocked.code, 1);
  EXPECT_NE(blocked.err.find("cannot"), std::string::npos) << blocked.err;

  const Outcome blank = Command({"show", m_dir + "/missing"});
  EXPECT_EQ(blank.code, 1);
  EXPECT_NE(blank.out.find("not formatted"), std::string::npos) << blank.out;
  EXPECT_EQ(Command({"serial", m_dir}).code, 2);
  EXPECT_EQ(Command({"erase", m_dir, "SN123456"}).code, 2);
}

}  // namespace
}  // namespace eepromimage

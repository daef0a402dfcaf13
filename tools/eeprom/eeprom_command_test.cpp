// The factory EEPROM programmer's command line on state directories that
// exist, do not exist yet, or cannot exist.
#include "tools/eeprom/eeprom_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "firmware/devices/eeprom_map.h"
#include "tools/eeprom/eeprom_image.h"
#include "tests/support/temp_dir.h"

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
    m_dir = testsupport::MakeTempDir("bom-eeprom");
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

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The factory writes the engine version and each head's value (low byte
// first) as given, or the nominal value; a blank head EEPROM gets its
// cells' defaults too, a programmed one keeps its cells.
TEST_F(EepromCommand, TheEngineVersionAndTheHeadValuesGoWhereTheFirmwareReadsThem) {
  ASSERT_EQ(Command({"serial", m_dir, "SN123456", "--engine-version", "1", "--head-values", "3999", "9001"}).code, 0);
  std::vector<uint8_t> main = ReadBytes(m_dir + "/eeprom-main.bin");
  ASSERT_EQ(main.size(), 512u);
  EXPECT_EQ(main[28], 1);
  EXPECT_EQ(std::string(main.begin() + 48, main.begin() + 56), "SN123456") << "the CIS calibration's serial";
  const std::vector<uint8_t> headL = ReadBytes(m_dir + "/eeprom-head-l.bin");
  const std::vector<uint8_t> headR = ReadBytes(m_dir + "/eeprom-head-r.bin");
  ASSERT_EQ(headL.size(), 512u);
  ASSERT_EQ(headR.size(), 512u);
  EXPECT_EQ(headL[20], 3999 & 0xFF);
  EXPECT_EQ(headL[21], 3999 >> 8);
  EXPECT_EQ(HeadValueOf(headR), 9001);
  for (const EepromCellSpec& cell : kHeadEepromCells) {
    for (uint32_t b = 0; b < cell.usSize; ++b) ASSERT_EQ(headL[cell.usAddress + b], cell.aucDefault[b]) << cell.usAddress;
  }

  // Again without options: the version stays, the heads get the nominal
  // value, a head cell changed meanwhile stays.
  std::vector<uint8_t> changed = headL;
  changed[64] = 42;
  std::ofstream(m_dir + "/eeprom-head-l.bin", std::ios::binary).write(reinterpret_cast<const char*>(changed.data()), 512);
  ASSERT_EQ(Command({"serial", m_dir, "SN654321"}).code, 0);
  EXPECT_EQ(ReadBytes(m_dir + "/eeprom-main.bin")[28], 1);
  const std::vector<uint8_t> again = ReadBytes(m_dir + "/eeprom-head-l.bin");
  EXPECT_EQ(HeadValueOf(again), kNominalHeadValue);
  EXPECT_EQ(again[64], 42);
}

TEST_F(EepromCommand, AnOptionOutOfRangeIsAUsageErrorAndWritesNothing) {
  const std::string state = m_dir + "/new";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"serial", state, "SN123456", "--engine-version", "0"},
           {"serial", state, "SN123456", "--engine-version", "6"},
           {"serial", state, "SN123456", "--engine-version", "x"},
           {"serial", state, "SN123456", "--engine-version"},
           {"serial", state, "SN123456", "--head-values", "4000", "65536"},
           {"serial", state, "SN123456", "--head-values", "4000"},
           {"serial", state, "SN123456", "--heads", "1", "2"},
       }) {
    const Outcome o = Command(args);
    EXPECT_EQ(o.code, 2) << args[3];
    EXPECT_NE(o.err.find("usage"), std::string::npos) << o.err;
    EXPECT_FALSE(Exists(state)) << args[3];
  }
  // On a printer already programmed, nothing changes either.
  ASSERT_EQ(Command({"serial", m_dir, "SN123456", "--engine-version", "2"}).code, 0);
  const std::vector<uint8_t> before = ReadBytes(m_dir + "/eeprom-main.bin");
  EXPECT_EQ(Command({"serial", m_dir, "SN999999", "--engine-version", "9"}).code, 2);
  EXPECT_EQ(ReadBytes(m_dir + "/eeprom-main.bin"), before);
}

}  // namespace
}  // namespace eepromimage

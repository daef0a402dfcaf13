// The CIS calibration update from the host, through the in-process host
// port: the received image written byte for byte into its flash sector,
// the EEPROM backup restored from it, "CisWrProgress" set and the serial
// number kept; an image without serial leaves the serial area erased; a
// bad checksum, failing flash bits and a size no calibration has; and the
// next boot loading the new gains.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/flash_area_writer.h"
#include "firmware/devices/settings.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/platform/flash.h"
#include "firmware/printengine/cis.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "sim/fpga/cis_window.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"
#include "tools/images/checksums.h"
#include "tools/images/cis_calibration.h"
#include "tools/images/flash_map.h"

namespace {

using hostiftest::Bytes;
using hostiftest::SendUpdate;
using testsupport::Ms;
using namespace protocol;

constexpr sim::Nanos kReady = Ms(15000);
// An ordinary serial number: the blocks carry the image's checksums, the
// serial after them none.
constexpr char kSerial[] = "P7300002";
constexpr uint32_t kHistoryAt = images::kAreaErrorHist0.offset;
constexpr uint32_t kHistoryBytes = 2 * images::kAreaErrorHist0.bytes;

std::array<uint8_t, images::kCisBackupItems> BackupItems() {
  std::array<uint8_t, images::kCisBackupItems> items{};
  for (uint32_t i = 0; i < items.size(); ++i) items[i] = static_cast<uint8_t>(i * 37 + 5);
  items[113] &= 0x3F;  // six bits travel
  return items;
}

// Distinct gains in every block.
Bytes CalibrationImage(bool bWithSerial) {
  std::array<images::CisGains, 4> gains;
  for (uint32_t n = 0; n < 4; ++n) {
    for (uint32_t p = 0; p < images::kCisPixels; ++p) gains[n][p] = static_cast<uint8_t>(100 + n * 7 + p % 50);
  }
  Bytes image = images::BuildCisCalibration(gains, BackupItems(), kSerial);
  if (!bWithSerial) image.resize(images::kCisSerialOffset);
  return image;
}

sim::UsbHostPort& Ready(sim::Machine& m) {
  sim::UsbHostPort& host = m.UsbHost();
  host.WaitForConfigured(kReady);
  m.RunUntil([&m] { return m.Logged("Main Loop ..."); }, kReady);
  m.RunFor(Ms(3000));
  return host;
}

class CisCalibrationUpdate : public testsupport::MachineTest {
 protected:
  const uint8_t* Flash() { return m_machine->GetBoard().FindDevice<sim::NorFlash>()->Array(); }
  Bytes FlashBytes(uint32_t at, uint32_t size) { return Bytes(Flash() + at, Flash() + at + size); }
  // Sends the image with the no-reset flag and runs until the update ends.
  int Update(const Bytes& image) {
    const int result = SendUpdate(m_machine->UsbHost(), UPDATE_KIND_CALIBRATION, 0, 1, image);
    m_machine->RunFor(Ms(20000));
    return result;
  }
  std::vector<uint8_t> Cells() {
    std::vector<uint8_t> cells(CIS_BACKUP_CELL_COUNT);
    m_machine->RunStep([&] {
      for (uint32_t i = 0; i < CIS_BACKUP_CELL_COUNT; ++i) g_apCisBackupCells[i]->Read(&cells[i]);
    }, Ms(5000));
    return cells;
  }
  std::string CellSerial() {
    uint8_t aucSerial[8] = {};
    m_machine->RunStep([&] { g_CellCisCalibSerial.Read(aucSerial); }, Ms(5000));
    return std::string(aucSerial, aucSerial + 8);
  }
};

TEST_F(CisCalibrationUpdate, AnImageWithItsSerialIsWrittenAndItsBackupRestored) {
  BootNewPrinter();
  Ready(*m_machine);
  const Bytes history = FlashBytes(kHistoryAt, kHistoryBytes);
  const Bytes image = CalibrationImage(true);
  ASSERT_EQ(Update(image), 0);
  EXPECT_EQ(FlashBytes(images::kAreaCis.offset, images::kCisImageBytes), image);
  const std::array<uint8_t, images::kCisBackupItems> items = BackupItems();
  EXPECT_EQ(Cells(), std::vector<uint8_t>(items.begin(), items.end()));
  EXPECT_EQ(SettingValue(g_ParamCisWrProgress), 1);
  EXPECT_EQ(CellSerial(), kSerial);
  EXPECT_EQ(FlashBytes(kHistoryAt, kHistoryBytes), history) << "the error history untouched";
  EXPECT_FALSE(IsErrorRaised(0x11B));
  EXPECT_FALSE(IsErrorRaised(0x11C));
}

TEST_F(CisCalibrationUpdate, AnImageWithoutSerialLeavesTheSerialAreaErased) {
  BootNewPrinter();
  Ready(*m_machine);
  const Bytes history = FlashBytes(kHistoryAt, kHistoryBytes);
  const Bytes image = CalibrationImage(false);
  ASSERT_EQ(Update(image), 0);
  EXPECT_EQ(FlashBytes(images::kAreaCis.offset, images::kCisSerialOffset), image);
  EXPECT_EQ(FlashBytes(images::kAreaCis.offset + images::kCisSerialOffset, 8), Bytes(8, 0xFF));
  EXPECT_EQ(CellSerial(), std::string(8, '\xFF'));
  EXPECT_EQ(FlashBytes(kHistoryAt, kHistoryBytes), history);
}

TEST_F(CisCalibrationUpdate, ABadChecksumRaises11bAndWritesNothing) {
  BootNewPrinter();
  Ready(*m_machine);
  const Bytes before = FlashBytes(images::kAreaCis.offset, images::kAreaCis.bytes);
  const std::vector<uint8_t> cells = Cells();
  struct Case {
    const char* name;
    uint32_t at;
    bool bWithSerial;
  };
  const Case kCases[] = {
      {"a gain of block 0", 700, true},
      {"block 3's checksum", 3 * images::kCisBlockBytes + images::kCisPixels, true},
      {"a gain of block 2, no serial", 2 * images::kCisBlockBytes + 5, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Bytes image = CalibrationImage(c.bWithSerial);
    image[c.at] ^= 0x10;
    ASSERT_EQ(Update(image), 0);
    EXPECT_TRUE(IsErrorRaised(0x11B));
    EXPECT_EQ(FlashBytes(images::kAreaCis.offset, images::kAreaCis.bytes), before);
    EXPECT_EQ(Cells(), cells) << "no backup restored";
    EXPECT_EQ(SettingValue(g_ParamCisWrProgress), 0);
    m_machine->RunStep([] { g_ErrorMng.ClearError(0x11B); }, Ms(1000));
  }
}

// The serial number is not summed: images made for different printers,
// whatever their serials' halfwords add up to, are all taken.
TEST_F(CisCalibrationUpdate, AnySerialNumberIsTaken) {
  BootNewPrinter();
  Ready(*m_machine);
  for (const char* pszSerial : {"P7300001", "R1234567", "        ", "@@@@??@@"}) {
    SCOPED_TRACE(pszSerial);
    Bytes image = CalibrationImage(true);
    std::copy(pszSerial, pszSerial + 8, image.begin() + images::kCisSerialOffset);
    ASSERT_EQ(Update(image), 0);
    EXPECT_FALSE(IsErrorRaised(0x11B));
    EXPECT_EQ(FlashBytes(images::kAreaCis.offset, images::kCisImageBytes), image);
    EXPECT_EQ(CellSerial(), pszSerial);
  }
}

TEST_F(CisCalibrationUpdate, FailingFlashBitsRaise11cAndRestoreNoBackup) {
  BootNewPrinter();
  Ready(*m_machine);
  const std::vector<uint8_t> cells = Cells();
  m_machine->GetBoard().FindDevice<sim::NorFlash>()->SetProgramFailBits(images::kAreaCis.offset + 0x200, 0x0101);
  ASSERT_EQ(Update(CalibrationImage(true)), 0);
  EXPECT_TRUE(IsErrorRaised(0x11C));
  EXPECT_FALSE(IsErrorRaised(0x11B));
  EXPECT_EQ(Cells(), cells);
  EXPECT_EQ(SettingValue(g_ParamCisWrProgress), 0);
}

TEST_F(CisCalibrationUpdate, ASizeNoCalibrationHasIsRefusedBeforeAnyData) {
  BootNewPrinter();
  Ready(*m_machine);
  const Bytes before = FlashBytes(images::kAreaCis.offset, images::kAreaCis.bytes);
  for (const uint32_t size : {4924u, 8200u}) {
    SCOPED_TRACE(size);
    Bytes image = CalibrationImage(true);
    image.resize(size, 0);
    EXPECT_EQ(SendUpdate(m_machine->UsbHost(), UPDATE_KIND_CALIBRATION, 0, 1, image), REPLY_ERR_BAD_PARAMETER);
    m_machine->RunFor(Ms(2000));
  }
  EXPECT_EQ(FlashBytes(images::kAreaCis.offset, images::kAreaCis.bytes), before);
}

// The writer's own guard: a file longer than the sector would run into
// the error history's sectors; even one that sums right is refused.
TEST_F(CisCalibrationUpdate, TheWriterRefusesAnyOtherSizeBeforeFlashIsTouched) {
  BootNewPrinter();
  Ready(*m_machine);
  const Bytes before = FlashBytes(images::kAreaCis.offset, images::kAreaCis.bytes + kHistoryBytes);
  // All ones fold to 0xFFFF: the sum alone would let them pass.
  const Bytes ones(0x4000, 0xFF);
  for (const uint32_t size : {4924u, 4930u, 0x2800u, 0x4000u}) {
    SCOPED_TRACE(size);
    int32_t lResult = 0;
    m_machine->RunStep([&] {
      HwWriteBlock(DOWNLOAD_BUFFER, ones.data(), size);
      lResult = g_Cis.WriteCalibImage(size);
    }, Ms(5000));
    EXPECT_EQ(lResult, -2);
  }
  EXPECT_EQ(FlashBytes(images::kAreaCis.offset, images::kAreaCis.bytes + kHistoryBytes), before);
}

// The backup restore writes no cell from a sector that holds no backup.
TEST_F(CisCalibrationUpdate, TheRestoreRefusesAnErasedOrUnpackedSector) {
  BootNewPrinter();
  Ready(*m_machine);
  const std::vector<uint8_t> cells = Cells();
  // Block 0 summing right, but byte 20 outside the packed range.
  Bytes image = CalibrationImage(false);
  image[20] = 0x20;
  const uint16_t usSum = images::OnesComplementSum16(image.data(), images::kCisPixels);
  image[images::kCisPixels] = static_cast<uint8_t>(usSum);
  image[images::kCisPixels + 1] = static_cast<uint8_t>(usSum >> 8);
  int32_t alResults[2] = {9, 9};
  m_machine->RunStep([&] {
    FlashEraseSector(CIS_CALIB_FLASH);
    alResults[0] = g_Cis.RestoreEepromBackup();
    FlashProgram(CIS_CALIB_FLASH, IoctlPointerWord(image.data()), static_cast<uint32_t>(image.size()), 1);
    alResults[1] = g_Cis.RestoreEepromBackup();
  }, Ms(20000));
  EXPECT_EQ(alResults[0], -1) << "erased";
  EXPECT_EQ(alResults[1], -1) << "not packed";
  EXPECT_EQ(Cells(), cells);
}

// Boot 1 takes the image and restarts; boot 2 loads its block 0.
TEST(CisCalibrationUpdateBoots, TheNextBootLoadsTheNewGains) {
  testsupport::ForkedBoots printer;
  const std::vector<int> codes = printer.Run(2, [](int index, sim::MachineOptions options) {
    sim::Machine m(std::move(options));
    sim::UsbHostPort& host = Ready(m);
    if (index == 0) {
      if (SendUpdate(host, UPDATE_KIND_CALIBRATION, 0, 0, CalibrationImage(true)) != 0) return 11;
      return m.RunFor(Ms(60000)) == sim::RunResult::Reset ? 0 : 12;
    }
    if (!m.Logged("CisCalibData Set") || m.Logged("[CIS] Error: CIS CalibData SumCheck Err")) return 21;
    const Bytes image = CalibrationImage(true);
    const sim::CisWindow& cis = *m.GetBoard().FindDevice<sim::CisWindow>();
    for (uint32_t p = 0; p < images::kCisPixels; ++p) {
      if (cis.Gain(p) != image[p]) return 22;
    }
    return 0;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
}

}  // namespace

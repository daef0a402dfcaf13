// A power cut while a calibration update from the host writes its image,
// across boots of one printer: each boot checks what the cut before left,
// takes a whole update through the host port (the printer answers and
// writes it), and starts another one that the power cut ends at a chosen
// flash operation (the erase or a halfword programmed). Nothing of the
// EEPROM has been touched by then, so the next boot finds the serial
// number of the whole update in the EEPROM and a sector that is either
// still that image or a broken one:
// - "CisWrProgress" 0: the start-up reports the broken image (0x11A) and
//   loads no gains;
// - "CisWrProgress" 1 with the backup EEPROM's mark set: the start-up
//   writes the EEPROM's backup and serial number back into the image, and
//   the image passes; a cut into the erase that left the serial number in
//   place is reported as with "CisWrProgress" 0.
// The error history's sectors never change with the writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "protocol/codes.h"
#include "sim/board.h"
#include "sim/fpga/cis_window.h"
#include "sim/memory/board_power.h"
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

constexpr sim::Nanos kReady = Ms(15000);
constexpr uint32_t kHistoryAt = images::kAreaErrorHist0.offset;
constexpr uint32_t kHistoryBytes = 2 * images::kAreaErrorHist0.bytes;
constexpr uint32_t kCisAt = images::kAreaCis.offset;
// "CisWrProgress" and the "Eeprom Backup" byte.
constexpr uint32_t kProgressCell = 186, kBackupMarkCell = 120;
constexpr char kHistoryFile[] = "history-before-cut.bin";

// An image for an ordinary serial number; `seed` makes its gains and
// backup its own. No halfword is all ones, so each is one flash program.
Bytes Image(uint8_t ucSeed, const char* pszSerial) {
  std::array<images::CisGains, 4> gains;
  for (uint32_t n = 0; n < 4; ++n) {
    for (uint32_t p = 0; p < images::kCisPixels; ++p) gains[n][p] = static_cast<uint8_t>(ucSeed + n * 5 + p % 40);
  }
  std::array<uint8_t, images::kCisBackupItems> items{};
  for (uint32_t i = 0; i < items.size(); ++i) items[i] = static_cast<uint8_t>(i * 11 + ucSeed);
  items[113] &= 0x3F;
  return images::BuildCisCalibration(gains, items, pszSerial);
}

const Bytes& Whole() {
  static const Bytes image = Image(90, "P7300001");
  return image;
}
const Bytes& CutShort() {
  static const Bytes image = Image(140, "P7300002");
  return image;
}

// The flash operations of the cut update: the sector's erase, then one
// program per halfword.
uint64_t CutOperations() { return 1 + images::kCisImageBytes / 2; }

std::vector<uint64_t> CutPoints() {
  const uint64_t last = CutOperations() - 1;
  const uint64_t serial = 1 + images::kCisSerialOffset / 2;
  return {0, 1, 2, 1 + images::kCisPixels / 2, last / 2, serial - 1, serial, last - 1, last};
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void PatchByte(const std::string& path, uint32_t ulOffset, uint8_t ucValue) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(ulOffset);
  file.put(static_cast<char>(ucValue));
}

bool Holds(const std::vector<uint8_t>& flash, uint32_t at, const Bytes& bytes) {
  return flash.size() >= at + bytes.size() && std::equal(bytes.begin(), bytes.end(), flash.begin() + at);
}

// The boot's exit codes say where it went wrong.
enum Code : int {
  kOk = 0,
  kFault = 1,
  kNotReady = 2,
  kHistoryChanged = 3,
  kWrongStartUp = 4,
  kWrongImage = 5,
  kRepairFailed = 6,
  kNotCut = 7,
  kOtherWritesCut = 8,
};

// What the start-up should have made of the sector the cut left.
int CheckStartUp(sim::Machine& m, const std::vector<uint8_t>& flash, bool bProgress) {
  const bool bIntact = Holds(flash, kCisAt, Whole());
  const bool bRaised = IsErrorRaised(0x11A);
  const bool bUndone = m.Logged("[CIS] CIS CalibData Undo ");
  const bool bLoaded = m.Logged("CisCalibData Set");
  if (bIntact) return !bRaised && !bUndone && bLoaded ? kOk : kWrongStartUp;
  // Only a serial number that differs from the EEPROM's is re-synchronised;
  // a sector whose serial the cut left is reported like any broken image.
  const Bytes serial(Whole().begin() + images::kCisSerialOffset, Whole().end());
  if (!bProgress || Holds(flash, kCisAt + images::kCisSerialOffset, serial)) {
    const sim::CisWindow& cis = *m.GetBoard().FindDevice<sim::CisWindow>();
    for (uint32_t p = 0; p < images::kCisPixels; ++p) {
      if (cis.Gain(p) != 0) return kWrongStartUp;
    }
    return bRaised && !bUndone && !bLoaded ? kOk : kWrongStartUp;
  }
  if (bRaised || !bUndone || !bLoaded) return kWrongStartUp;
  // The image again: the EEPROM's serial number (the whole update's), its
  // backup packed into block 0 (the one the whole update restored), and
  // block 0's checksum right.
  const sim::NorFlash& nor = *m.GetBoard().FindDevice<sim::NorFlash>();
  const Bytes now(nor.Array() + kCisAt, nor.Array() + kCisAt + images::kCisImageBytes);
  if (!std::equal(now.begin() + images::kCisSerialOffset, now.end(), Whole().begin() + images::kCisSerialOffset)) {
    return kWrongImage;
  }
  if (!std::equal(now.begin() + 20, now.begin() + 150, Whole().begin() + 20)) return kWrongImage;
  const uint16_t usSum = images::OnesComplementSum16(now.data(), images::kCisPixels);
  return images::GetU16LE(now, images::kCisPixels) == usSum ? kOk : kWrongImage;
}

void RunPowerCuts(bool bProgress) {
  const std::vector<uint64_t> points = CutPoints();
  testsupport::ForkedBoots printer;
  printer.ProvisionSamplePrinter();
  const int count = static_cast<int>(points.size()) + 1;
  const std::vector<int> codes = printer.Run(count, [&](int index, sim::MachineOptions options) -> int {
    const sim::StateDir state(options.stateDir);
    std::vector<uint8_t> flash = ReadFile(state.FlashPath());
    if (index > 0) {
      const std::vector<uint8_t> history = ReadFile(state.Path() + "/" + kHistoryFile);
      if (!Holds(flash, kHistoryAt, Bytes(history.begin(), history.end()))) return kHistoryChanged;
      PatchByte(state.MainEepromPath(), kProgressCell, bProgress ? 1 : 0);
      // The start-up copies the main EEPROM to the backup one while the
      // mark asks for it: the mark is set in both.
      PatchByte(state.MainEepromPath(), kBackupMarkCell, 1);
      PatchByte(state.BackupEepromPath(), kBackupMarkCell, 1);
    }
    sim::Machine m(std::move(options));
    sim::UsbHostPort& host = m.UsbHost();
    host.WaitForConfigured(kReady);
    m.RunUntil([&m] { return m.Logged("Main Loop ..."); }, kReady);
    m.RunFor(Ms(3000));
    if (!m.Logged("Main Loop ...")) return kNotReady;
    if (index > 0) {
      const int code = CheckStartUp(m, flash, bProgress);
      if (code != kOk) return code;
    }
    // The printer answers and takes a whole update.
    sim::NorFlash& nor = *m.GetBoard().FindDevice<sim::NorFlash>();
    if (SendUpdate(host, protocol::UPDATE_KIND_CALIBRATION, 0, 1, Whole()) != 0) return kRepairFailed;
    m.RunFor(Ms(20000));
    if (IsErrorRaised(0x11B) || IsErrorRaised(0x11C) || !std::equal(Whole().begin(), Whole().end(), nor.Array() + kCisAt)) {
      return kRepairFailed;
    }
    if (index == count - 1) return m.UnexpectedFaults().empty() ? kOk : kFault;

    // The next update, cut at a flash operation.
    const Bytes history(nor.Array() + kHistoryAt, nor.Array() + kHistoryAt + kHistoryBytes);
    std::ofstream(state.Path() + "/" + kHistoryFile, std::ios::binary)
        .write(reinterpret_cast<const char*>(history.data()), static_cast<std::streamsize>(history.size()));
    sim::BoardPower& power = sim::BoardPower::Of(m.GetBoard());
    const uint64_t point = points[static_cast<size_t>(index)];
    const uint64_t ulWrites = power.Writes(), ulFlashOps = nor.OperationCount();
    power.CutAfterWrites(point, index % 2 == 0 ? sim::CutDamage::Partial : sim::CutDamage::None);
    SendUpdate(host, protocol::UPDATE_KIND_CALIBRATION, 0, 1, CutShort());
    if (m.RunFor(Ms(20000)) != sim::RunResult::Reset || !power.PoweredOff()) return kNotCut;
    // Every write up to the cut was one of the image's flash operations.
    if (power.Writes() - ulWrites != point + 1 || nor.OperationCount() - ulFlashOps > point + 1 ||
        nor.OperationCount() - ulFlashOps < point) {
      std::fprintf(stderr, "writes %llu flash %llu point %llu\n",
                   static_cast<unsigned long long>(power.Writes() - ulWrites),
                   static_cast<unsigned long long>(nor.OperationCount() - ulFlashOps),
                   static_cast<unsigned long long>(point));
      return kOtherWritesCut;
    }
    return kOk;
  });
  EXPECT_EQ(codes, std::vector<int>(static_cast<size_t>(count), kOk));
}

TEST(CisCalibrationPowerCut, WithoutProgressMarkTheNextBootReports11aAndTakesANewUpdate) { RunPowerCuts(false); }

TEST(CisCalibrationPowerCut, WithProgressAndBackupMarkTheNextBootResynchronisesTheImage) { RunPowerCuts(true); }

}  // namespace

// The serial EEPROMs on the virtual board, driven by the firmware's own
// drivers and device classes: the main EEPROM's byte driver with its fault
// paths, the select routing (upper half, backup device), backup and
// restore, the head-unit buses, the cells' initialisation rule, the bus
// ownership, and a fresh printer's first boot (format) and later boots.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/devices/eeprom.h"
#include "firmware/devices/eeprom_cell.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/eeprom_cells.h"
#include "firmware/devices/life_counters.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/machine_definition.h"
#include "firmware/devices/serial_number.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/tone_curve_lookup.h"
#include "firmware/printengine/tone_curve.h"
#include "firmware/hal/global.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/board_eeprom.h"
#include "firmware/platform/board_test_rig.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/ioctl.h"
#include "sim/board.h"
#include "sim/soc/gpio.h"
#include "sim/memory/board_eeproms.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"
#include "tests/support/usb_task_kernel.h"
#include "tools/eeprom/eeprom_image.h"

namespace {

using sim::BoardEeproms;
using testsupport::kStartUp;
using testsupport::Ms;

constexpr sim::Nanos kFirstBoot = kStartUp + testsupport::kFirstBootFormat;

BoardEeproms& Eeproms() { return *sim::Board::Current().FindDevice<BoardEeproms>(); }

class EepromTest : public testsupport::AppBodyTest {
 protected:
  void RunInApp(std::function<void()> body, sim::Nanos limit = kStartUp + Ms(20000)) {
    sim::MachineOptions options;
    options.kernel = &boardrig::RigKernel();
    AppBodyTest::RunInApp(std::move(body), limit, std::move(options));
  }
};

TEST_F(EepromTest, ByteWritesChangeOnlyTheirHalfAndSkipUnchangedBytes) {
  RunInApp([] {
    // The byte driver writes the half the routing selects: the lower one
    // here, whichever half the start-up touched last.
    g_FpgaMain.SelectEepromUpperHalf(0);
    sim::MicrowireEeprom& part = Eeproms().Main();
    const uint16_t usWord1 = part.PeekWord(1);
    EXPECT_EQ(EepromWriteByte(3, 0x5A), 0);
    EXPECT_EQ(part.PeekWord(1), static_cast<uint16_t>((usWord1 & 0x00FF) | 0x5A00));
    const uint64_t cycles = part.ProgramCycles();
    EXPECT_EQ(EepromWriteByte(3, 0x5A), 0);
    EXPECT_EQ(part.ProgramCycles(), cycles) << "an unchanged byte costs no write cycle";
    uint16_t usValue = 0;
    EXPECT_EQ(EepromReadByte(3, &usValue), 0);
    EXPECT_EQ(usValue, 0x5A);
    // Byte addresses above 511 wrap onto the 256 words.
    EXPECT_EQ(EepromReadByte(512 + 3, &usValue), 0);
    EXPECT_EQ(usValue, 0x5A);
  });
}

TEST_F(EepromTest, WriteFaultsAreRetriedAndReportedAndTheDeviceRaisesItsError) {
  RunInApp([] {
    sim::MicrowireEeprom& part = Eeproms().Main();
    // One failed verify is mended by the next attempt.
    part.FailVerify(1);
    EXPECT_EQ(EepromWriteByte(400, 0x11), 0);
    EXPECT_EQ(part.PeekByte(400), 0x11);
    // A part that never gets ready: three attempts of 500 ms, then -1.
    part.SetNeverReady(true);
    const uint32_t ulStart = IoctlGetTime();
    EXPECT_EQ(EepromWriteByte(401, 0x22), -1);
    const uint32_t ulSpent = IoctlGetTime() - ulStart;
    EXPECT_GE(ulSpent, 1500u);
    EXPECT_LT(ulSpent, 1700u);
    part.SetNeverReady(false);
    // An absent chip reads back the line's pull: every try fails, and the
    // device raises its write error.
    part.SetAbsent(true);
    uint32_t ulSet = 1;
    g_ErrorMng.IsErrorSet(CEeprom::kErrorWriteFailed, &ulSet);
    EXPECT_EQ(ulSet, 0u);
    EXPECT_EQ(g_Eeprom.WriteByte(402, 0x33), -1);
    g_ErrorMng.IsErrorSet(CEeprom::kErrorWriteFailed, &ulSet);
    EXPECT_NE(ulSet, 0u);
    part.SetAbsent(false);
  });
}

TEST_F(EepromTest, TheSelectBitsRouteTheUpperHalfAndTheBackupDevice) {
  RunInApp([] {
    BoardEeproms& parts = Eeproms();
    EXPECT_EQ(g_Eeprom.WriteByte(300, 0x77), 0);
    EXPECT_EQ(parts.Main().PeekByte(300), 0x77);
    EXPECT_NE(parts.Main().PeekByte(300 - 256), 0x77) << "not the lower half";
    uint8_t ucByte = 0;
    EXPECT_EQ(g_Eeprom.ReadByte(300, &ucByte), 0);
    EXPECT_EQ(ucByte, 0x77);
    EXPECT_EQ(g_Eeprom.ReadByte(512, &ucByte), -1) << "beyond the EEPROM";

    // Backup copies all 512 bytes and leaves device 0 selected.
    EXPECT_EQ(g_Eeprom.BackupToSecondDevice(), 0);
    EXPECT_EQ(parts.Select() & BoardEeproms::kSelBackup, 0);
    for (uint32_t a = 0; a < 512; ++a) ASSERT_EQ(parts.Backup().PeekByte(a), parts.Main().PeekByte(a)) << a;

    // Restore takes bytes 20-511 and keeps device 0's own header.
    std::vector<uint8_t> other(512);
    for (uint32_t a = 0; a < 512; ++a) other[a] = static_cast<uint8_t>(a * 7 + 1);
    parts.Backup().LoadImage(other.data(), 512);
    std::vector<uint8_t> header(20);
    for (uint32_t a = 0; a < 20; ++a) header[a] = parts.Main().PeekByte(a);
    EXPECT_EQ(g_Eeprom.RestoreFromSecondDevice(), 0);
    EXPECT_EQ(parts.Select() & BoardEeproms::kSelBackup, 0);
    for (uint32_t a = 0; a < 20; ++a) ASSERT_EQ(parts.Main().PeekByte(a), header[a]) << a;
    for (uint32_t a = 20; a < 512; ++a) ASSERT_EQ(parts.Main().PeekByte(a), other[a]) << a;
  });
}

TEST_F(EepromTest, HeadEepromsAnswerOnTheirOwnBuses) {
  RunInApp([] {
    BoardEeproms& parts = Eeproms();
    const uint16_t usWord2 = parts.Head(0).PeekWord(2);
    const uint16_t usOther = parts.Head(1).PeekWord(2);
    EXPECT_EQ(g_HeadEepromL.WriteByte(5, 0xA5), 0);
    EXPECT_EQ(parts.Head(0).PeekWord(2), static_cast<uint16_t>((usWord2 & 0x00FF) | 0xA500));
    EXPECT_EQ(parts.Head(1).PeekWord(2), usOther);
    uint8_t ucByte = 0;
    EXPECT_EQ(g_HeadEepromL.ReadByte(5, &ucByte), 0);
    EXPECT_EQ(ucByte, 0xA5);
    const uint64_t cycles = parts.Head(0).ProgramCycles();
    EXPECT_EQ(g_HeadEepromL.WriteByte(5, 0xA5), 0);
    EXPECT_EQ(parts.Head(0).ProgramCycles(), cycles);
    // The cells on the factory-programmed heads read their defaults; a
    // 4-byte head cell at 96 is stored low byte first.
    EXPECT_EQ(g_HeadCellR64.Read(&ucByte), 0);
    EXPECT_EQ(ucByte, 100);
    const uint32_t ulCount = 0x01020304u;
    EXPECT_EQ(g_HeadCellR96.Write(&ulCount), 0);
    EXPECT_EQ(parts.Head(1).PeekByte(96), 0x04);
    EXPECT_EQ(parts.Head(1).PeekByte(99), 0x01);
    // Faults: never ready gives -1, a failed verify -2 per try (-1 after
    // three).
    parts.Head(1).SetNeverReady(true);
    EXPECT_EQ(g_HeadEepromR.WriteByte(7, 0x01), -1);
    parts.Head(1).SetNeverReady(false);
    parts.Head(1).FailVerify(3);
    EXPECT_EQ(g_HeadEepromR.WriteByte(8, 0x01), -1);
    parts.Head(1).FailVerify(1);
    EXPECT_EQ(g_HeadEepromR.WriteByte(9, 0x01), 0);
  });
}

TEST_F(EepromTest, CellsApplyTheInitialisationRuleByFlagsAndVersion) {
  RunInApp([] {
    BoardEeproms& parts = Eeproms();
    uint16_t usLayout = 0;
    g_Eeprom.GetLayoutVersion(&usLayout);
    EXPECT_EQ(usLayout, eepromimage::CurrentLayoutVersion());
    alignas(2) static const uint8_t aucDefault[2] = {0x34, 0x12};
    static CEepromCell s_cell;
    struct Case {
      uint16_t usVersion;
      bool bRewritten;
    };
    for (const Case& c : {Case{static_cast<uint16_t>(usLayout + 1), true}, Case{usLayout, false},
                          Case{static_cast<uint16_t>(usLayout - 1), false}}) {
      EXPECT_EQ(g_Eeprom.WriteByte(420, 0xEE), 0);
      hal::ConstructGlobal(s_cell, 420u, 2u, aucDefault, uint16_t{1}, c.usVersion);
      EXPECT_EQ(parts.Main().PeekByte(420) == 0x34, c.bRewritten) << c.usVersion;
    }

    // A stored 0x8080 counts as the running version minus 1; a format sets
    // every init flag, so even an old cell is rewritten, and a bit index of
    // 16 or more leaves only the version rule.
    std::vector<uint8_t> image = eepromimage::BuildMainEepromImage("SN000001");
    image[16] = 0x80;
    image[17] = 0x80;
    parts.Main().LoadImage(image.data(), 512);
    // The running firmware is 01.05 (its information block's version texts).
    sim::Board::Current().FindDevice<sim::NorFlash>()->LoadImage(0x100000 + 26, "0105", 4);
    EXPECT_EQ(CEeprom::RunningFirmwareVersion(), 0x0105);
    hal::ConstructGlobal(g_Eeprom, kGlobalBuild);
    g_Eeprom.GetLayoutVersion(&usLayout);
    EXPECT_EQ(usLayout, 0x0104);
    EXPECT_EQ(g_Eeprom.Format(), 0);
    uint16_t usFlags = 0;
    g_Eeprom.GetInitFlags(&usFlags);
    EXPECT_EQ(usFlags, 0xFFFF);
    hal::ConstructGlobal(s_cell, 420u, 2u, aucDefault, uint16_t{1}, uint16_t{0});
    EXPECT_EQ(parts.Main().PeekByte(420), 0x34);
    EXPECT_EQ(g_Eeprom.WriteByte(420, 0xEE), 0);
    hal::ConstructGlobal(s_cell, 420u, 2u, aucDefault, uint16_t{16}, uint16_t{0});
    EXPECT_EQ(parts.Main().PeekByte(420), 0xEE);
  });
}

// Interrupt handlers (and the USB task) do not own the EEPROM bus: their
// calls are refused before a line or select bit moves.
TEST_F(EepromTest, OnlyTheApplicationOwnsTheBus) {
  RunInApp([] {
    EXPECT_TRUE(EepromBusOwnedByCaller());
    const uint16_t usSelect = Eeproms().Select();
    int32_t lRead = 0;
    int32_t lWrite = 0;
    int32_t lCell = 0;
    // The FPGA's interrupt handler tries the bus in non-task context.
    boardrig::g_fpgaIrqWork = [&] {
      uint16_t usValue = 0;
      lRead = EepromReadByte(20, &usValue);
      lWrite = EepromWriteByte(20, 'X');
      uint8_t ucByte = 0;
      lCell = g_Eeprom.ReadByte(300, &ucByte);
    };
    const uint32_t ulHandled = boardrig::g_ulFpgaIrqCount;
    sim::Board::Current().GetCpu().InjectAtSwitchPoint(boardrig::kFpgaIrqEvent, 1);
    CpuRelax();
    CpuRelax();
    boardrig::g_fpgaIrqWork = nullptr;
    EXPECT_EQ(boardrig::g_ulFpgaIrqCount, ulHandled + 1);
    EXPECT_EQ(lRead, -1);
    EXPECT_EQ(lWrite, -1);
    EXPECT_EQ(lCell, -1);
    EXPECT_EQ(Eeproms().Select(), usSelect);
    EXPECT_EQ(Eeproms().Main().PeekByte(20), 'R');
  });
}

// The USB task runs at task level, yet the bus is not its own either: its
// first pass tries the bus while the application waits for it.
struct UsbTaskTry {
  bool bDone = false;
  bool bOwned = true;
  int32_t lRead = 0;
  int32_t lWrite = 0;
  int32_t lCell = 0;
  uint16_t usSelect = 0;
};
UsbTaskTry g_usbTry;

void BusTryingUsbTask(VP_INT) {
  g_usbTry.usSelect = Eeproms().Select();
  g_usbTry.bOwned = EepromBusOwnedByCaller();
  uint16_t usValue = 0;
  g_usbTry.lRead = EepromReadByte(20, &usValue);
  g_usbTry.lWrite = EepromWriteByte(20, 'X');
  uint8_t ucByte = 0;
  g_usbTry.lCell = g_Eeprom.ReadByte(300, &ucByte);
  g_usbTry.bDone = true;
  for (;;) dly_tsk(1000);
}

TEST_F(EepromTest, TheUsbTaskIsRefusedTheBus) {
  static testsupport::KernelWithUsbTask s_kernel(BusTryingUsbTask);
  sim::MachineOptions options;
  options.kernel = &s_kernel.config;
  options.appEntry = [] {
    while (!g_usbTry.bDone) dly_tsk(1);
    syslog(LOG_NOTICE, "[test] done");
  };
  sim::Machine& m = Boot(std::move(options));
  ASSERT_EQ(m.RunUntil([&] { return m.Logged("[test] done"); }, kStartUp + Ms(2000)), sim::RunResult::ConditionMet);
  EXPECT_FALSE(g_usbTry.bOwned);
  EXPECT_EQ(g_usbTry.lRead, -1);
  EXPECT_EQ(g_usbTry.lWrite, -1);
  EXPECT_EQ(g_usbTry.lCell, -1);
  EXPECT_EQ(Eeproms().Select(), g_usbTry.usSelect);
  EXPECT_NE(Eeproms().Main().PeekByte(20), 'X');
}

// A new printer: its blank EEPROMs are formatted at the first start, every
// cell takes its default, and what the application writes stays across the
// next starts; a provisioned serial number survives.
TEST(EepromBoots, ABlankEepromIsFormattedOnceAndKeepsItsCells) {
  testsupport::ForkedBoots boots;
  const std::vector<int> codes = boots.Run(3, [](int index, sim::MachineOptions options) {
    options.appEntry = [] {
      // The start-up's EEPROM step, which this entry replaces.
      g_Eeprom.StoreFirmwareVersion();
      alignas(2) char acSerial[8];
      g_CellSerialNo.Read(acSerial);
      syslog(LOG_NOTICE, "[test] serial %c%c%c%c%c%c%c%c", acSerial[0], acSerial[1], acSerial[2], acSerial[3],
             acSerial[4], acSerial[5]);
      if (testsupport::ForkedBoots::Index() == 0) {
        const uint8_t ucValue = 0;
        g_Cell120.Write(&ucValue);
      }
      syslog(LOG_NOTICE, "[test] done");
    };
    sim::Machine m(options);
    const bool bDone = m.RunUntil([&] { return m.Logged("[test] done"); }, kFirstBoot) == sim::RunResult::ConditionMet;
    const bool bFormatted = m.Logged("[EEPROM] formatting the main EEPROM\n");
    if (!bDone || !m.UnexpectedFaults().empty()) return 1;
    if (bFormatted != (index == 0)) return 2;
    return 0;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0, 0}));
  const std::vector<uint8_t> main = boots.ReadBytes("eeprom-main.bin");
  ASSERT_EQ(main.size(), 512u);
  EXPECT_EQ(std::string(main.begin(), main.begin() + 16), "Morvelan KT-3318");
  EXPECT_EQ(eepromimage::SerialNumberOf(main), "R0000000");
  EXPECT_EQ(main[28], 5);
  EXPECT_EQ(main[120], 0) << "the application's write stayed";
  EXPECT_EQ(main[224], 0x08);
  EXPECT_EQ(main[225], 0x03);
  EXPECT_EQ(main[18], 0);
  EXPECT_EQ(main[19], 0);
  EXPECT_EQ((main[16] << 8) | main[17], 0x0210) << "the sample MAIN image's version";
  const std::vector<uint8_t> head = boots.ReadBytes("eeprom-head-r.bin");
  ASSERT_EQ(head.size(), 512u);
  EXPECT_EQ(head[64], 100);
  EXPECT_EQ(head[76], '0');

  // The factory programmer's serial number is kept by the next start.
  std::vector<uint8_t> provisioned = main;
  std::string error;
  ASSERT_TRUE(eepromimage::ProvisionSerialNumber(provisioned, "KT123456", &error)) << error;
  std::ofstream(boots.Path("eeprom-main.bin"), std::ios::binary)
      .write(reinterpret_cast<const char*>(provisioned.data()), 512);
  const std::vector<int> again = boots.Run(1, [](int, sim::MachineOptions options) {
    sim::Machine m(options);
    const bool bSeen = m.RunUntil([&] { return m.Logged("[MAIN] S/N = KT123456"); },
                                  kStartUp + testsupport::kEepromBackup + Ms(1000)) ==
                       sim::RunResult::ConditionMet;
    return bSeen && !m.Logged("[EEPROM] formatting the main EEPROM\n") ? 0 : 1;
  });
  EXPECT_EQ(again, (std::vector<int>{0}));
}

// The main EEPROM as a first start leaves it, byte by byte from the
// stored layout: header, serial number, head information, the settings'
// defaults that are not zero, and the zero bytes of the counters and of the
// CIS backup.
struct ExpectedBytes {
  uint32_t ulAddress;
  std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Repeat(uint8_t ucByte, size_t count) { return std::vector<uint8_t>(count, ucByte); }

std::vector<uint8_t> TextBytes(const char* psz) { return std::vector<uint8_t>(psz, psz + std::strlen(psz)); }

std::vector<uint8_t> FourteenThvDefaults() {
  // 776 little-endian on 224-237 and 240-253; 238-239 belong to no cell.
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 15; ++i) {
    if (i == 7) {
      bytes.insert(bytes.end(), {0, 0});
      continue;
    }
    bytes.insert(bytes.end(), {0x08, 0x03});
  }
  return bytes;
}

TEST(EepromBoots, TheFirstBootLeavesTheFormatsLayoutInEveryEeprom) {
  testsupport::ForkedBoots boots;
  const std::vector<int> codes = boots.Run(1, [](int, sim::MachineOptions options) {
    options.appEntry = [] {
      // The start-up's EEPROM step, which this entry replaces.
      g_Eeprom.StoreFirmwareVersion();
      syslog(LOG_NOTICE, "[test] done");
    };
    sim::Machine m(options);
    const bool bDone = m.RunUntil([&] { return m.Logged("[test] done"); }, kFirstBoot) == sim::RunResult::ConditionMet;
    return bDone && m.UnexpectedFaults().empty() ? 0 : 1;
  });
  ASSERT_EQ(codes, (std::vector<int>{0}));
  const std::vector<uint8_t> main = boots.ReadBytes("eeprom-main.bin");
  ASSERT_EQ(main.size(), 512u);
  const ExpectedBytes kMain[] = {
      {0, TextBytes("Morvelan KT-3318")},
      {16, {0x02, 0x10}},  // the MAIN image's layout version, high byte first
      {18, {0x00, 0x00}},  // init flags cleared once the cells are built
      {20, TextBytes("R0000000")},
      {28, {5}},
      {29, TextBytes("0000")},
      {48, TextBytes("        ")},
      {132, {0x00, 0x80}},
      {187, Repeat(0, 5)},
      {220, Repeat(0, 4)},
      {224, FourteenThvDefaults()},
      {256, Repeat(0, 70)},  // counters 256-325
      {326, Repeat(0, 22)},
      {348, Repeat(0, 4)},
      {352, Repeat(0, 12)},
      {364, {80, 0, 0, 0, 80, 0}},
      {380, {1}},
      {441, Repeat(0, 71)},
  };
  for (const ExpectedBytes& e : kMain) {
    for (size_t i = 0; i < e.bytes.size(); ++i) {
      EXPECT_EQ(main[e.ulAddress + i], e.bytes[i]) << "main byte " << e.ulAddress + i;
    }
  }
  const ExpectedBytes kHead[] = {
      {64, {100, 100, 100, 0, 100, 0, 100, 0, 100}},
      {76, TextBytes("000000")},
      {96, Repeat(0, 8)},
  };
  for (const char* pszFile : {"eeprom-head-l.bin", "eeprom-head-r.bin"}) {
    const std::vector<uint8_t> head = boots.ReadBytes(pszFile);
    ASSERT_EQ(head.size(), 512u) << pszFile;
    for (const ExpectedBytes& e : kHead) {
      for (size_t i = 0; i < e.bytes.size(); ++i) {
        EXPECT_EQ(head[e.ulAddress + i], e.bytes[i]) << pszFile << " byte " << e.ulAddress + i;
      }
    }
  }
}

// What a restart keeps: a stored setting its saved value; a stored setting
// changed in RAM only, and a RAM setting, their defaults again.
TEST(EepromBoots, ARestartKeepsStoredSettingsAndResetsRamSettings) {
  testsupport::ForkedBoots boots;
  const std::vector<int> codes = boots.Run(2, [](int index, sim::MachineOptions options) {
    options.appEntry = [] {
      // The start-up's EEPROM step, which this entry replaces.
      g_Eeprom.StoreFirmwareVersion();
      if (testsupport::ForkedBoots::Index() == 0) {
        const bool bSet = g_ParamSideAL.SetValue(-5) == 0 && g_ParamTopOffsetL.SetValueNoSave(7) == 0 &&
                          g_ParamWaitStep01.SetValue(55) == 0 && g_ParamWait10ms.SetValue(9) == 0;
        syslog(LOG_NOTICE, bSet ? "[test] set" : "[test] refused");
      }
      syslog(LOG_NOTICE, "[test] side %d top %d waits %d %d", static_cast<int>(SettingValue(g_ParamSideAL)),
             static_cast<int>(SettingValue(g_ParamTopOffsetL)), static_cast<int>(SettingValue(g_ParamWaitStep01)),
             static_cast<int>(SettingValue(g_ParamWait10ms)));
    };
    sim::Machine m(options);
    const char* pszExpected = index == 0 ? "[test] side -5 top 7 waits 55 9" : "[test] side -5 top 0 waits 20 0";
    const bool bSeen = m.RunUntil([&] { return m.Logged(pszExpected); }, kFirstBoot) == sim::RunResult::ConditionMet;
    if (index == 0 && !m.Logged("[test] set")) return 1;
    return bSeen && m.UnexpectedFaults().empty() ? 0 : 2;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
}

TEST(EepromBoots, AFactoryImageOfABlankFileIsAcceptedWithItsSerialNumber) {
  std::vector<uint8_t> image(512, 0xFF);
  std::string error;
  EXPECT_FALSE(eepromimage::ProvisionSerialNumber(image, "SHORT", &error));
  ASSERT_TRUE(eepromimage::ProvisionSerialNumber(image, "PR000042", &error));
  EXPECT_TRUE(eepromimage::IsFormatted(image));
  EXPECT_EQ(eepromimage::SerialNumberOf(image), "PR000042");
  for (const EepromCellSpec& cell : kMainEepromCells) {
    if (cell.usAddress == EEPROM_SERIAL_NO_ADDR) continue;
    for (uint32_t b = 0; b < cell.usSize; ++b) ASSERT_EQ(image[cell.usAddress + b], cell.aucDefault[b]) << cell.usAddress;
  }
}

}  // namespace

// ---- services and settings on the machine's cells -----------------------------------------

TEST_F(EepromTest, AFailedSerialNumberWriteIsReportedAndKeepsTheOldNumber) {
  RunInApp([] {
    sim::MicrowireEeprom& part = Eeproms().Main();
    char acSerial[SERIAL_NO_LENGTH] = {};
    ASSERT_EQ(SetSerialNumber("S1234567"), 0);
    GetSerialNumber(acSerial);
    EXPECT_EQ(std::string(acSerial, SERIAL_NO_LENGTH), "S1234567");
    part.SetAbsent(true);
    EXPECT_EQ(SetSerialNumber("X7654321"), -1);
    part.SetAbsent(false);
    GetSerialNumber(acSerial);
    EXPECT_EQ(std::string(acSerial, SERIAL_NO_LENGTH), "S1234567");
    g_ErrorMng.ClearError(CEeprom::kErrorWriteFailed);
  });
}

// The shut-down after the main loop: pins 1-7 lose their falling-edge
// interrupt; pin 8 lies beyond what the system-device call takes and makes
// the result -1.
TEST_F(EepromTest, TheShutDownClearsTheFallingEdgesItCanAndReportsPin8) {
  static uint32_t s_ulBefore, s_ulAfter;
  RunInApp([] {
    const sim::GpioController& gpio = *sim::Board::Current().FindDevice<sim::GpioController>();
    for (uint32_t ulPin = 1; ulPin <= 7; ++ulPin) ASSERT_EQ(IoctlSetGpioFallTrig(ulPin), 0);
    s_ulBefore = gpio.FallTrigger(0);
    EXPECT_EQ(ShutdownApplicationIo(), -1);
    s_ulAfter = gpio.FallTrigger(0);
  });
  EXPECT_EQ(s_ulBefore & 0xFEu, 0xFEu);
  EXPECT_EQ(s_ulAfter & 0xFEu, 0u);
}

// The USB side sends a curve only from an address the store gave: a failed
// lookup is reported and leaves the address as the caller set it. A stored
// curve comes from the RAM mirror of the bank, never from flash.
TEST_F(EepromTest, AToneCurveTheStoreCannotNameIsReportedAndKeepsTheAddress) {
  RunInApp([] {
    struct Lookup {
      uint32_t ulSource;
      uint32_t ulCurve;
      int32_t lResult;
      PhysAddr ulAddress;
    };
    const Lookup lookups[] = {
        {1, 0, -1, 0x1234u},           {1, 9, -1, 0x1234u},           {2, 0, -1, 0x1234u}, {3, 1, -1, 0x1234u},
        {1, 1, 0, TONE_CURVE_MIRROR}, {1, 8, 0, TONE_CURVE_MIRROR + 7 * TONE_CURVE_BYTES},
        {2, 3, 0, TONE_CURVE_RAM + 2 * TONE_CURVE_BYTES},
    };
    for (const Lookup& l : lookups) {
      PhysAddr ulAddress = 0x1234u;
      EXPECT_EQ(GetToneCurve(l.ulSource, l.ulCurve, &ulAddress), l.lResult) << l.ulSource << "/" << l.ulCurve;
      EXPECT_EQ(ulAddress, l.ulAddress) << l.ulSource << "/" << l.ulCurve;
    }
  });
}

TEST_F(EepromTest, EditingAUnitsDensityWritesItsMainByteAndOnlyItsOwnHead) {
  RunInApp([] {
    struct Case {
      CParameter* pParam;
      uint32_t ulMainByte;
      uint32_t ulUnit;
    };
    for (const Case& c : {Case{&g_ParamDensityYmcL, 58, 0}, Case{&g_ParamDensityYmcR, 80, 1}}) {
      uint8_t aucOwn = 0, aucOther = 0, ucMain = 0;
      CHeadEepromCell* const pOwn = c.ulUnit == 0 ? &g_HeadCellL64 : &g_HeadCellR64;
      CHeadEepromCell* const pOther = c.ulUnit == 0 ? &g_HeadCellR64 : &g_HeadCellL64;
      pOther->Read(&aucOther);
      ASSERT_EQ(c.pParam->SetValue(123), 0);
      FindMainEepromCell(c.ulMainByte)->Read(&ucMain);
      pOwn->Read(&aucOwn);
      uint8_t ucOtherAfter = 0;
      pOther->Read(&ucOtherAfter);
      EXPECT_EQ(ucMain, 123) << c.ulMainByte;
      EXPECT_EQ(aucOwn, 123) << c.ulUnit;
      EXPECT_EQ(ucOtherAfter, aucOther) << "the other unit's head is untouched";
      EXPECT_EQ(c.pParam->SetValue(201), -1) << "beyond the limits nothing is written";
      FindMainEepromCell(c.ulMainByte)->Read(&ucMain);
      EXPECT_EQ(ucMain, 123);
      c.pParam->SetValue(100);
    }
  });
}

TEST_F(EepromTest, CountersWriteTheirHeadCellOnlyAfterAGoodMainWrite) {
  RunInApp([] {
    sim::MicrowireEeprom& part = Eeproms().Main();
    ASSERT_EQ(g_CounterHeadPrintsL.Write(7), 0);
    EXPECT_EQ(g_CounterHeadPrintsL.CompareHeadCell(), 0);
    part.SetAbsent(true);
    EXPECT_NE(g_CounterHeadPrintsL.Add(1), 0);
    part.SetAbsent(false);
    EXPECT_EQ(g_CounterHeadPrintsL.CompareHeadCell(), -1) << "the head kept 7 while RAM holds 8";
    EXPECT_EQ(g_CounterHeadPrintsL.RestoreFromHeadCell(), 0);
    uint32_t ulValue = 0;
    g_CounterHeadPrintsL.GetValue(&ulValue);
    EXPECT_EQ(ulValue, 7u);
    // Without a head cell.
    EXPECT_EQ(g_CounterTotal.CompareHeadCell(), -2);
    EXPECT_EQ(g_CounterTotal.RestoreFromHeadCell(), -1);
    g_ErrorMng.ClearError(CEeprom::kErrorWriteFailed);
  });
}

TEST_F(EepromTest, ACounterShowsItsCellsWidthAndAnyUnsignedValue) {
  RunInApp([] {
    struct Case {
      CLifeCounter* pCounter;
      uint32_t ulValue;
      uint32_t ulMode;
      const char* pszShown;
    };
    g_Lcd.Init();
    for (const Case& c : {Case{&g_CounterMediaPrn, 1234, LIFE_COUNTER_MODE_DECIMAL, "MediaPrn    1234"},
                          Case{&g_CounterMediaPrn, 1234, 16, "MediaPrn    04D2"},
                          Case{&g_CounterTotal, 4294967295u, LIFE_COUNTER_MODE_DECIMAL, "Total  294967295"},
                          Case{&g_CounterTotal, 0x80000001u, 16, "Total   80000001"}}) {
      c.pCounter->Write(c.ulValue);
      c.pCounter->Show(c.ulMode);
      char acLine[17] = {};
      g_Lcd.ReadText(acLine, 0, 16);
      EXPECT_STREQ(acLine, c.pszShown);
      c.pCounter->Reset();
    }
  });
}

TEST_F(EepromTest, TheConstructionListBuildsOnlyForItsOwnPair) {
  RunInApp([] {
    ASSERT_EQ(g_ParamPowerSaveTime.SetValueNoSave(10), 0);
    ASSERT_EQ(g_CounterCut.Write(3), 0);
    ConstructGlobals(1, 0);
    ConstructGlobals(0, 0xFFFF);
    int32_t lValue = 0;
    g_ParamPowerSaveTime.GetValue(&lValue);
    EXPECT_EQ(lValue, 10) << "a rebuild would have restored the default 5";
    uint32_t ulCut = 0;
    g_CounterCut.GetValue(&ulCut);
    EXPECT_EQ(ulCut, 3u);
    g_CounterCut.Reset();
  });
}

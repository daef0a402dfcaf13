// The tone curves of a whole printer: the banks a new printer writes at its
// first start and finds at the next, the host's reads of stored and RAM
// curves through the cable (also while the application writes a bank), the
// host's permanent and temporary curves across a restart, and power cuts
// during a bank write and during the start-up's rebuild.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/control/host_status_table.h"
#include "firmware/devices/flash_area_writer.h"
#include "firmware/devices/settings.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/printengine/tone_curve.h"
#include "protocol/codes.h"
#include "protocol/tone_curve.h"
#include "sim/board.h"
#include "sim/machine.h"
#include "sim/memory/board_power.h"
#include "sim/memory/nor_flash.h"
#include "sim/state_dir.h"
#include "tests/support/forked_boots.h"
#include "tests/support/machine_test.h"
#include "tools/images/tone_curve_bank.h"

namespace {

using hostiftest::Bytes;
using hostiftest::Command;
using hostiftest::Reply;
using hostiftest::SendUpdate;
using testsupport::Ms;
using namespace protocol;

constexpr sim::Nanos kReady = Ms(15000);

// The host's curve: entry i is 0x1000 + 3 i (no word all ones).
Bytes HostCurve() {
  Bytes b(TONE_CURVE_BYTES);
  for (uint32_t i = 0; i < TONE_CURVE_ENTRIES; ++i) {
    b[2 * i] = static_cast<uint8_t>(0x1000 + 3 * i);
    b[2 * i + 1] = static_cast<uint8_t>((0x1000 + 3 * i) >> 8);
  }
  return b;
}

Bytes DefaultCurve() {
  Bytes b(TONE_CURVE_BYTES);
  for (uint32_t i = 0; i < TONE_CURVE_ENTRIES; ++i) {
    b[2 * i] = static_cast<uint8_t>(64 * (i % 256));
    b[2 * i + 1] = static_cast<uint8_t>((64 * (i % 256)) >> 8);
  }
  return b;
}

// CMD_READ_TONE_CURVE and its pieces; `during` runs before each piece. The
// curve's bytes, or empty when the printer refused or a piece was wrong.
Bytes ReadCurve(sim::UsbHostPort& host, uint8_t ucType, uint8_t ucCurve, const std::function<void()>& during = {}) {
  const Reply r = Command(host, CMD_READ_TONE_CURVE, {ucType, ucCurve});
  if (hostiftest::ErrorCodeOf(r) != 0 || r.data.size() != 2) return {};
  const uint16_t usSize = GetU16(r.data.data());
  Bytes curve;
  for (uint32_t i = 0; i < ToneCurvePieceCount(usSize); ++i) {
    if (during) during();
    const sim::UsbTransferResult t = host.BulkIn(64, Ms(1000));
    ToneCurvePiece piece{};
    if (t.outcome != sim::UsbOutcome::Done || DecodeToneCurvePiece(t.data.data(), t.data.size(), &piece) != WIRE_OK) {
      return {};
    }
    curve.insert(curve.end(), piece.data, piece.data + piece.length);
  }
  return curve;
}

sim::UsbHostPort& Ready(sim::Machine& m) {
  sim::UsbHostPort& host = m.UsbHost();
  host.WaitForConfigured(kReady);
  m.RunFor(Ms(3000));
  return host;
}

sim::NorFlash& Flash(sim::Machine& m) { return *m.GetBoard().FindDevice<sim::NorFlash>(); }

uint32_t StateItem(uint32_t ulCurve) { return GetStatusItem(SI_TONE_CURVE_1 - 1 + ulCurve); }

// A new printer's flash holds no bank: the start-up writes eight, the
// last into the sector where it began, and publishes state 0. The next
// start finds the bank valid, writes neither bank and publishes the
// stored states.
TEST(ToneCurveBoots, ANewPrinterRebuildsEightBanksAndTheNextStartWritesNone) {
  testsupport::ForkedBoots printer;
  const std::vector<int> codes = printer.Run(2, [](int index, sim::MachineOptions options) {
    sim::Machine m(std::move(options));
    // The banks as the boot finds them.
    const uint8_t* pFound = Flash(m).Array() + (TONE_BANK_0 - 0x60000000u);
    static images::Bytes s_bank0, s_bank1;
    s_bank0.assign(pFound, pFound + TONE_BANK_BYTES);
    s_bank1.assign(pFound + 0x10000, pFound + 0x10000 + TONE_BANK_BYTES);
    const sim::Nanos limit = testsupport::kStartUp + testsupport::kFirstBootFormat + testsupport::kEepromBackup + Ms(30000);
    if (m.RunUntil([&] { return m.Logged("Main Loop ..."); }, limit) != sim::RunResult::ConditionMet) return 1;
    if (!m.Logged("[MAIN] ToneCurve Initialize ...")) return 2;
    const uint64_t ullOps = Flash(m).OperationCount();
    int32_t lCheck = -9;
    int32_t lBankNo = -9;
    std::vector<uint32_t> states;
    if (!m.RunStep([&] {
          lCheck = CheckToneCurveBank();
          lBankNo = SettingValue(g_ParamTonecurveNo);
        }, Ms(5000))) {
      return 3;
    }
    for (uint32_t n = 1; n <= 8; ++n) states.push_back(StateItem(n));
    if (lCheck != 0 || lBankNo != 0) return 4;
    if (states != std::vector<uint32_t>(8, 0)) return 5;
    const uint8_t* pBank0 = Flash(m).Array() + (TONE_BANK_0 - 0x60000000u);
    const uint8_t* pBank1 = Flash(m).Array() + (TONE_BANK_1 - 0x60000000u);
    if (images::CheckToneCurveBank(images::Bytes(pBank0, pBank0 + TONE_BANK_BYTES)) != 0) return 6;
    if (images::CheckToneCurveBank(images::Bytes(pBank1, pBank1 + TONE_BANK_BYTES)) != 0) return 7;
    if (index == 0) {
      // Eight erases and the programming of eight banks.
      return ullOps >= 8 * (1 + 6000) ? 0 : 8;
    }
    // Neither bank was written again.
    const images::Bytes now0(pBank0, pBank0 + TONE_BANK_BYTES);
    const images::Bytes now1(pBank1, pBank1 + TONE_BANK_BYTES);
    return now0 == s_bank0 && now1 == s_bank1 ? 0 : 9;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
}

// Types 1 and 2 of a curve read back the default; a permanent host curve
// survives a restart with state 1, a temporary one (readable from RAM
// meanwhile) is gone with the stored state published again.
TEST(ToneCurveBoots, HostCurvesThroughTheCableAcrossARestart) {
  testsupport::ForkedBoots printer;
  printer.ProvisionSamplePrinter();
  const std::vector<int> codes = printer.Run(2, [](int index, sim::MachineOptions options) {
    sim::Machine m(std::move(options));
    sim::UsbHostPort& host = Ready(m);
    const Bytes host3 = HostCurve();
    Bytes host6 = HostCurve();
    host6[0] = 0x77;
    if (index == 0) {
      if (ReadCurve(host, 1, 1) != DefaultCurve()) return 10;
      if (ReadCurve(host, 2, 1) != DefaultCurve()) return 11;
      if (ReadCurve(host, 1, 9).size() != 0) return 12;
      if (SendUpdate(host, UPDATE_KIND_TONE_CURVE_SAVE, 3, 0, host3) != 0) return 13;
      if (SendUpdate(host, UPDATE_KIND_TONE_CURVE, 6, 0, host6) != 0) return 14;
      if (m.RunUntil([] { return StateItem(3) == 1 && StateItem(6) == 2; }, Ms(30000)) != sim::RunResult::ConditionMet) {
        return 15;
      }
      // The host sees the printer ready again once the updates are done
      // and their status notifications have all gone out.
      auto settled = [] {
        return g_ReplyStatus.ucPrinterState != PRINTER_STATE_DOWNLOADING &&
               g_ReplyStatus.ucPrinterState == GetStatusItem(SI_PRINTER_STATE);
      };
      m.RunFor(Ms(1000));
      if (m.RunUntil(settled, Ms(10000)) != sim::RunResult::ConditionMet) return 24;
      if (ReadCurve(host, 2, 6) != host6) return 16;
      if (ReadCurve(host, 1, 6) != DefaultCurve()) return 17;
      if (ReadCurve(host, 1, 3) != host3) return 18;
      if (ReadCurve(host, 2, 3) != host3) return 19;
      return 0;
    }
    if (StateItem(3) != 1 || StateItem(6) != 0 || StateItem(1) != 0) return 20;
    if (ReadCurve(host, 2, 3) != host3) return 21;
    if (ReadCurve(host, 2, 6) != DefaultCurve()) return 22;
    if (ReadCurve(host, 1, 3) != host3) return 23;
    return 0;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
}

class ToneCurveRead : public testsupport::MachineTest {};

// The USB task sends a stored curve from the RAM mirror: a read of curve 1
// while the application erases and programs the next bank gets the curve,
// not the part's status words.
TEST_F(ToneCurveRead, AStoredCurveReadDuringABankWriteIsTheCurve) {
  sim::Machine& m = BootNewPrinter();
  sim::UsbHostPort& host = Ready(m);
  constexpr uint32_t kOffset = 0x100000u;
  const Bytes curve = HostCurve();
  std::memcpy(m.GetBoard().GetBus().RamPointer(DOWNLOAD_BUFFER + kOffset, TONE_CURVE_BYTES), curve.data(), curve.size());
  bool bQueued = false;
  uint32_t ulBusyPieces = 0;
  int32_t lStored = -9;
  const Bytes read = ReadCurve(host, 1, 1, [&] {
    if (!bQueued) m.AtNextPass([&lStored] { lStored = g_ToneCurve.StoreHostCurve(3, kOffset); });
    bQueued = true;
    if (Flash(m).Busy()) ++ulBusyPieces;
  });
  EXPECT_EQ(read, DefaultCurve());
  EXPECT_GT(ulBusyPieces, 0u) << "the bank write overlapped the read";
  ASSERT_EQ(m.RunUntil([&] { return lStored != -9; }, Ms(30000)), sim::RunResult::ConditionMet);
  EXPECT_EQ(lStored, 0);
  EXPECT_EQ(ReadCurve(host, 1, 3), curve);
}

// Power cuts during bank writes: the next start comes up with the previous
// set of curves or the new one, each published state matching its curve.
struct PowerCut {
  const char* name;
  bool bRebuild;      // the start-up's rebuild of an erased pair of banks
  uint64_t ullWrite;  // the write (flash or EEPROM) the power fails in
  sim::CutDamage damage;
  // What the next start has: 0 the previous set, 1 the new one, 2 either.
  int iOutcome;
};

// A bank write: one erase, then every halfword of the bank that is not all
// ones (the curves, mark, versions, states and checksum: 6163), then the
// EEPROM write of "TonecurveNo.".
constexpr uint64_t kBankPrograms = 6163;
constexpr uint64_t kBankFlashOps = 1 + kBankPrograms;
constexpr uint64_t kNever = 1000000000ull;

const PowerCut kPowerCuts[] = {
    {"StoreErase", false, 0, sim::CutDamage::Partial, 0},
    {"StoreFirstWord", false, 1, sim::CutDamage::Partial, 0},
    {"StoreHostCurveWords", false, 1 + 2 * 768 + 5, sim::CutDamage::Partial, 0},
    {"StoreStates", false, 1 + 6144 + 8 + 2 + 3, sim::CutDamage::None, 0},
    {"StoreChecksum", false, kBankPrograms, sim::CutDamage::Partial, 0},
    {"StoreToggle", false, kBankFlashOps, sim::CutDamage::Partial, 2},
    {"StoreNoCut", false, kNever, sim::CutDamage::None, 1},
    {"RebuildFirstErase", true, 0, sim::CutDamage::Partial, 2},
    {"RebuildFirstBank", true, 3000, sim::CutDamage::Partial, 2},
    {"RebuildFirstChecksum", true, kBankPrograms, sim::CutDamage::None, 2},
    {"RebuildFourthBank", true, 3 * (kBankFlashOps + 1) + 4000, sim::CutDamage::Partial, 2},
    {"RebuildEighthBank", true, 7 * (kBankFlashOps + 1) + 2, sim::CutDamage::Partial, 2},
    {"RebuildNoCut", true, kNever, sim::CutDamage::None, 2},
};

class ToneCurvePowerCut : public testing::TestWithParam<PowerCut> {};

// Boot 0 starts from the sample printer's bank (or, for a rebuild, from no
// bank at all) and writes with the power failing at the given write; boot
// 1 runs the start-up's tone-curve step and checks every curve.
TEST_P(ToneCurvePowerCut, TheNextStartHasThePreviousOrTheNewCurves) {
  static PowerCut s_cut;
  s_cut = GetParam();
  testsupport::ForkedBoots printer;
  printer.ProvisionSamplePrinter();
  if (s_cut.bRebuild) {
    std::fstream flash(sim::StateDir(printer.Dir()).FlashPath(), std::ios::in | std::ios::out | std::ios::binary);
    const std::string erased(0x20000, '\xFF');
    flash.seekp(TONE_BANK_0 - 0x60000000u);
    flash.write(erased.data(), static_cast<std::streamsize>(erased.size()));
  }
  const std::vector<int> codes = printer.Run(2, [](int index, sim::MachineOptions options) {
    static int s_code;
    s_code = 100;
    options.appEntry = [] {
      const Bytes host = HostCurve();
      if (testsupport::ForkedBoots::Index() == 0) {
        std::memcpy(PhysToHost(DOWNLOAD_BUFFER, TONE_CURVE_BYTES), host.data(), host.size());
        sim::BoardPower::Of(sim::Board::Current()).CutAfterWrites(s_cut.ullWrite, s_cut.damage);
        if (s_cut.bRebuild) {
          g_ToneCurve.InitToneCurve();
        } else {
          g_ToneCurve.StoreHostCurve(3, 0);
        }
        s_code = 0;
      } else {
        g_ToneCurve.InitToneCurve();
        s_code = 0;
        const bool bNew = StateItem(3) == 1;
        const int iWant = s_cut.bRebuild ? 0 : s_cut.iOutcome;
        if (iWant != 2 && bNew != (iWant == 1)) s_code = 30;
        for (uint32_t n = 1; n <= 8 && s_code == 0; ++n) {
          uint32_t ulState = 9;
          g_ToneCurve.GetCurveState(n, &ulState);
          const uint8_t* pRam = reinterpret_cast<const uint8_t*>(CToneCurve::RamCurve(n));
          const Bytes ram(pRam, pRam + TONE_CURVE_BYTES);
          if (ulState != StateItem(n)) s_code = 31;
          else if (ulState == 1 && (n != 3 || ram != host)) s_code = 32;
          else if (ulState == 0 && ram != DefaultCurve()) s_code = 33;
          else if (ulState > 1) s_code = 34;
        }
        if (CheckToneCurveBank() != 0) s_code = 35;
      }
      syslog(LOG_NOTICE, "[test] done");
      for (;;) CpuRelax();
    };
    sim::Machine m(options);
    const sim::RunResult result = m.RunUntil([&] { return m.Logged("[test] done"); },
                                             testsupport::kStartUp + testsupport::kEepromBackup + Ms(120000));
    if (!m.UnexpectedFaults().empty()) return 10;
    if (index == 0) {
      const bool bCut = s_cut.ullWrite != kNever;
      if (bCut != (result == sim::RunResult::Reset)) return 11;
      return bCut ? 0 : s_code;
    }
    if (result != sim::RunResult::ConditionMet) return 21;
    return s_code;
  });
  EXPECT_EQ(codes, (std::vector<int>{0, 0}));
}

INSTANTIATE_TEST_SUITE_P(Writes, ToneCurvePowerCut, testing::ValuesIn(kPowerCuts),
                         [](const testing::TestParamInfo<PowerCut>& p) { return std::string(p.param.name); });

}  // namespace

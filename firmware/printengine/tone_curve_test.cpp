// The tone-curve banks on the virtual board: the check of a bank laid out
// by the image tools, bank writes that keep the other curves and states,
// the refusal of curve numbers outside 1-8 before any bus access, and a
// write into a damaged current bank starting from default curves.
#include "firmware/printengine/tone_curve.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "firmware/control/host_status_table.h"
#include "firmware/devices/flash_area_writer.h"
#include "firmware/devices/settings.h"
#include "sim/board.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/machine_test.h"
#include "tools/images/flash_map.h"
#include "tools/images/main_image.h"
#include "tools/images/tone_curve_bank.h"

namespace {

using testsupport::kStartUp;
using testsupport::Ms;

sim::NorFlash& Flash() { return *sim::Board::Current().FindDevice<sim::NorFlash>(); }

void PutBank(uint32_t ulBank, const images::Bytes& bank) {
  const images::Bytes erased(images::kToneBankBytes, 0xFF);
  const uint32_t ulOffset = (ulBank == 0 ? TONE_BANK_0 : TONE_BANK_1) - 0x60000000u;
  Flash().LoadImage(ulOffset, erased.data(), images::kToneBankBytes);
  Flash().LoadImage(ulOffset, bank.data(), static_cast<uint32_t>(bank.size()));
}

images::Bytes BankBytes(PhysAddr ulBank) {
  const uint8_t* p = Flash().Array() + (ulBank - 0x60000000u);
  return images::Bytes(p, p + TONE_BANK_BYTES);
}

// Curve n holds 100 x n + entry index; state n is n % 3.
images::Bytes NumberedBank() {
  std::array<images::ToneCurve, 8> curves{};
  std::array<uint16_t, 8> states{};
  for (uint32_t n = 0; n < 8; ++n) {
    for (uint32_t i = 0; i < TONE_CURVE_ENTRIES; ++i) curves[n][i] = static_cast<uint16_t>(100 * (n + 1) + i);
    states[n] = static_cast<uint16_t>((n + 1) % 3);
  }
  return images::BuildToneCurveBank(curves, states, images::Version{0x02, 0x10});
}

class ToneCurveBanks : public testsupport::AppBodyTest {
 protected:
  // The MAIN image gives the version texts a written bank carries.
  void RunInApp(std::function<void()> body) {
    static std::function<void()> s_body;
    s_body = std::move(body);
    AppBodyTest::RunInApp(
        [] {
          const images::Bytes main = images::BuildMainImage();
          Flash().LoadImage(images::kAreaMain.offset, main.data(), static_cast<uint32_t>(main.size()));
          g_ParamTonecurveNo.SetValue(0);
          s_body();
        },
        kStartUp + Ms(600000));
  }
};

TEST_F(ToneCurveBanks, TheCheckFollowsMarkChecksumAndVersion) {
  RunInApp([] {
    struct Case {
      const char* name;
      std::function<void(images::Bytes&)> damage;
      int32_t lResult;
    };
    auto version = [](const char* pszMajor, const char* pszMinor) {
      return [=](images::Bytes& b) {
        images::PutText(b, TONE_BANK_VERSION_MAJOR, pszMajor, 2);
        images::PutText(b, TONE_BANK_VERSION_MINOR, pszMinor, 2);
      };
    };
    const Case cases[] = {
        {"as written", [](images::Bytes&) {}, 0},
        {"last character of the mark", [](images::Bytes& b) { b[TONE_BANK_MARK + 15] = '1'; }, -1},
        {"first character of the mark", [](images::Bytes& b) { b[TONE_BANK_MARK] = 't'; }, -1},
        {"a curve entry changed", [](images::Bytes& b) { b[5] ^= 0x01; }, -2},
        {"the checksum changed", [](images::Bytes& b) { b[TONE_BANK_CHECKSUM] ^= 0x80; }, -2},
        {"version 00/04", version("00", "04"), -4},
        {"version 00/05", version("00", "05"), 0},
        {"version 01/00", version("01", "00"), 0},
        {"version 00/0a", version("00", "0a"), 0},
        {"non-hex major reads 0", version("G0", "04"), -4},
        {"non-hex major digit beside a 1", version("1Z", "00"), 0},
        {"non-hex minor reads 0", version("00", "Z5"), 0},
        {"non-hex minor digit", version("00", "5Z"), 0},
        {"blank versions", version("  ", "  "), -4},
        {"the undefined bytes are not read", [](images::Bytes& b) { b[TONE_BANK_SPARE] = 0; }, 0},
    };
    for (const Case& c : cases) {
      images::Bytes bank = NumberedBank();
      c.damage(bank);
      PutBank(0, bank);
      EXPECT_EQ(CheckToneCurveBank(), c.lResult) << c.name;
    }
    // "TonecurveNo." 1 checks the other bank.
    PutBank(1, NumberedBank());
    g_ParamTonecurveNo.SetValue(1);
    EXPECT_EQ(CheckToneCurveBank(), 0);
    PhysAddr ulBank = 0;
    g_ToneCurve.GetBankAddress(&ulBank);
    EXPECT_EQ(ulBank, TONE_BANK_1);
  });
}

TEST_F(ToneCurveBanks, StoringACurveKeepsTheOthersAndMovesTheBank) {
  RunInApp([] {
    const images::Bytes before = NumberedBank();
    PutBank(0, before);
    uint16_t* pusSource = static_cast<uint16_t*>(PhysToHost(DOWNLOAD_BUFFER, TONE_CURVE_BYTES));
    for (uint32_t i = 0; i < TONE_CURVE_ENTRIES; ++i) pusSource[i] = static_cast<uint16_t>(0x4000 + i);
    ASSERT_EQ(StoreToneCurve(3, DOWNLOAD_BUFFER), 0);
    EXPECT_EQ(SettingValue(g_ParamTonecurveNo), 1);
    EXPECT_EQ(CheckToneCurveBank(), 0);
    const images::Bytes after = BankBytes(TONE_BANK_1);
    for (uint32_t n = 1; n <= 8; ++n) {
      const uint32_t ulAt = (n - 1) * TONE_CURVE_BYTES;
      for (uint32_t i = 0; i < TONE_CURVE_ENTRIES; ++i) {
        const uint16_t usWant = n == 3 ? static_cast<uint16_t>(0x4000 + i) : images::GetU16LE(before, ulAt + 2 * i);
        ASSERT_EQ(images::GetU16LE(after, ulAt + 2 * i), usWant) << n << "/" << i;
      }
      uint32_t ulState = 9;
      g_ToneCurve.GetCurveState(n, &ulState);
      EXPECT_EQ(ulState, n == 3 ? 1u : (n % 3)) << n;
    }
    EXPECT_EQ(images::GetText(after, TONE_BANK_VERSION_MAJOR, 4), "0210");
    for (uint32_t i = TONE_BANK_SPARE; i < TONE_BANK_CHECKSUM; ++i) ASSERT_EQ(after[i], 0xFF) << i;
    EXPECT_EQ(images::CheckToneCurveBank(after), 0);
    EXPECT_EQ(BankBytes(TONE_BANK_0), before) << "the previous bank stays";

    // The mirror the USB side sends a stored curve from follows the bank.
    PhysAddr ulMirror = 0;
    ASSERT_EQ(g_ToneCurve.GetMirrorCurveAddress(3, &ulMirror), 0);
    EXPECT_EQ(HwRead16(ulMirror + 2 * 5), 0x4005);

    // A rebuild of curve 3 goes back to bank 0 with its default and state 0.
    ASSERT_EQ(g_ToneCurve.RebuildToneCurve(3), 0);
    EXPECT_EQ(SettingValue(g_ParamTonecurveNo), 0);
    EXPECT_EQ(GetStatusItem(SI_TONE_CURVE_1 + 2), 0u);
    uint16_t ausCurve[TONE_CURVE_ENTRIES] = {};
    ASSERT_EQ(g_ToneCurve.CopyCurve(TONE_CURVE_SOURCE_FLASH, 3, ausCurve), 0);
    for (uint32_t i = 0; i < TONE_CURVE_ENTRIES; ++i) ASSERT_EQ(ausCurve[i], (i % 256) * 64) << i;
  });
}

// Every operation refuses a curve number outside 1-8 before it touches
// the bus: no flash, no download buffer, no setting.
TEST_F(ToneCurveBanks, CurveNumbersOutsideOneToEightAreRefusedWithoutABusAccess) {
  RunInApp([] {
    PutBank(0, NumberedBank());
    sim::BusTrace& trace = sim::Board::Current().GetBus().Trace();
    for (uint32_t n : {0u, 9u}) {
      trace.Clear();
      trace.Start();
      PhysAddr ulAddress = 0x1234u;
      uint32_t ulState = 0x5678u;
      uint16_t ausCurve[TONE_CURVE_ENTRIES] = {};
      const std::vector<std::pair<std::string, int32_t>> results = {
          {"StoreToneCurve", StoreToneCurve(n, DOWNLOAD_BUFFER)},
          {"RebuildToneCurve", g_ToneCurve.RebuildToneCurve(n)},
          {"StoreHostCurve", g_ToneCurve.StoreHostCurve(n, 0)},
          {"LoadHostCurve", g_ToneCurve.LoadHostCurve(n, 0)},
          {"LoadCurve", g_ToneCurve.LoadCurve(n, DOWNLOAD_BUFFER)},
          {"GetCurveState", g_ToneCurve.GetCurveState(n, &ulState)},
          {"PublishCurveState", g_ToneCurve.PublishCurveState(n, 1)},
          {"GetFlashCurveAddress", g_ToneCurve.GetFlashCurveAddress(n, &ulAddress)},
          {"GetRamCurveAddress", g_ToneCurve.GetRamCurveAddress(n, &ulAddress)},
          {"CopyCurve flash", g_ToneCurve.CopyCurve(TONE_CURVE_SOURCE_FLASH, n, ausCurve)},
          {"CopyCurve RAM", g_ToneCurve.CopyCurve(TONE_CURVE_SOURCE_RAM, n, ausCurve)},
      };
      trace.Stop();
      for (const auto& [name, lResult] : results) EXPECT_EQ(lResult, -1) << name << " " << n;
      EXPECT_EQ(ulAddress, 0x1234u);
      EXPECT_EQ(ulState, 0x5678u);
      EXPECT_TRUE(trace.Accesses().empty()) << n << ": " << trace.Accesses().size() << " accesses";
    }
    EXPECT_EQ(SettingValue(g_ParamTonecurveNo), 0);
  });
}

// A write whose current bank fails its check starts from default curves
// with state 0, never from the damaged bank's bytes; a failed programming
// leaves the current bank and "TonecurveNo." as they were.
TEST_F(ToneCurveBanks, WritesStartFromDefaultsOverADamagedBankAndAFailedWriteKeepsTheBank) {
  RunInApp([] {
    images::Bytes damaged = NumberedBank();
    damaged[TONE_BANK_CHECKSUM] ^= 0xFF;
    PutBank(0, damaged);
    ASSERT_EQ(g_ToneCurve.RebuildToneCurve(1), 0);
    EXPECT_EQ(CheckToneCurveBank(), 0);
    for (uint32_t n = 2; n <= 8; ++n) {
      uint16_t ausCurve[TONE_CURVE_ENTRIES] = {};
      g_ToneCurve.CopyCurve(TONE_CURVE_SOURCE_FLASH, n, ausCurve);
      EXPECT_EQ(ausCurve[7], 7 * 64) << n;
      uint32_t ulState = 9;
      g_ToneCurve.GetCurveState(n, &ulState);
      EXPECT_EQ(ulState, 0u) << n;
    }

    // Bank 1 is current; programming bank 0 fails.
    const images::Bytes current = BankBytes(TONE_BANK_1);
    Flash().SetProgramFailBits(TONE_BANK_0 - 0x60000000u, 0xFFFF);
    SetStatusItem(SI_TONE_CURVE_1 + 1, 7, 0);
    EXPECT_NE(g_ToneCurve.RebuildToneCurve(2), 0);
    EXPECT_EQ(SettingValue(g_ParamTonecurveNo), 1);
    EXPECT_EQ(CheckToneCurveBank(), 0);
    EXPECT_EQ(BankBytes(TONE_BANK_1), current);
    EXPECT_EQ(GetStatusItem(SI_TONE_CURVE_1 + 1), 7u) << "no state published for a failed rebuild";
  });
}

}  // namespace

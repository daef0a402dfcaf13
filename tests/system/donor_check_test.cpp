// The two donor checks of unit L on the ribbon model of a ready printer,
// run one after the other as the ribbon initialisation runs them: the first
// finds the panel order from where the tape stands (three passes, a fourth
// for a unit that printed inside a print, a spent roll found empty); the
// second reads the barcode over a panel boundary and selects the roll's
// model, in both drive modes, also when the barcode reads only at the
// third attempt, never, when the panels are too short for the barcode
// window, or when the take-up encoder loses counts.
#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/ribbon_roll.h"
#include "firmware/sequences/donor_checks.h"
#include "firmware/sequences/sequence_words.h"
#include "sim/mechanism/ribbon_mechanism.h"
#include "tests/support/ribbon.h"

namespace {

using ribbontest::Ms;
using sim::Panel;
using sim::PrintUnit;

constexpr uint32_t kMask = 3;  // host commands and covers
constexpr uint32_t kRibbonEmptyL = 0x1603;
constexpr uint32_t kIncorrectRibL = 0x1600;
constexpr uint32_t kTakeUpEncoderL = 0x31F;
// The colour sensor's start: this far into the Y panel.
constexpr double kIntoY = 1000;

struct Outcome {
  int32_t lFirst = 9;
  int32_t lSecond = 9;
  uint32_t ulPanelAfterFirst = 99;
  uint32_t ulPanelAfterSecond = 99;
  uint32_t ulPrinted = 99;
  int32_t lSliceAfterFirst = -1;
  int32_t lSlice = -1;
  int32_t lInitialD = -1;
  bool bRibbonEmpty = false;
  bool bIncorrectRib = false;
  bool bTakeUpEncoder = false;
  bool bModel8x10K1 = false;
};

struct DonorCase {
  const char* name;
  uint32_t ulDriveMode;
  bool bPrinted;                  // the unit printed since its last check
  std::optional<sim::UnitRibbon> ribbon;
  const char* pszBeforeSecond;    // operator actions between the checks, or null
  bool bSecond;                   // the second check runs
  int32_t lFirst;
  uint32_t ulPanelAfterFirst;     // the model's panel: two before the last seen
  int32_t lSecond;
  bool bRibbonEmpty, bIncorrectRib, bTakeUpEncoder, bDecoded;
  int32_t lSlice;                 // the barcode slice at the end
};

// Barcode levels: bars 900, the rest 100 (raw); the slice from a pass over
// both is ((900 + 100) / 2) / 4, over clear tape only (100 / 4).
constexpr int32_t kSliceBoth = 125;
constexpr int32_t kSliceClear = 25;
const sim::UnitRibbon kSpent{sim::UnitRibbon::Kind::Spent};

// clang-format off
const DonorCase kCases[] = {
    // Y under the sensor: M, C, L in three passes, L last; the ribbon ends
    // at M, the barcode reads on the first attempt.
    {"clean in drive mode 2", 2, false, std::nullopt, nullptr, true, 0, 1, 0, false, false, false, true, kSliceBoth},
    {"clean in drive mode 1", 1, false, std::nullopt, nullptr, true, 0, 1, 0, false, false, false, true, kSliceBoth},
    // Printed since the last check and M first: a fourth pass, Y last.
    {"printed unit M first", 2, true, std::nullopt, nullptr, false, 0, 2, 9, false, false, false, false, kSliceBoth},
    // A spent roll shows its clear leader: no next panel.
    {"spent roll", 2, false, kSpent, nullptr, false, -1, 99, 9, true, false, false, false, 128},
    // Unreadable twice, read at the third attempt: the slice of the last
    // wind back, over bars again.
    {"barcode read at the third attempt", 2, false, std::nullopt, "barcode-unreadable=l:2", true, 0, 1, 0, false,
     false, false, true, kSliceBoth},
    {"barcode never read, mode 2", 2, false, std::nullopt, "barcode-unreadable=l:always", true, 0, 1, 0, false, true,
     false, false, kSliceClear},
    {"barcode never read, mode 1", 1, false, std::nullopt, "barcode-unreadable=l:always", true, 0, 1, 0, false, true,
     false, false, kSliceClear},
    // Two panels pass before the window closes: too little ribbon.
    {"panels shorter than the window", 2, false, std::nullopt, "short-panels=l", true, 0, 1, -1, true, false, false,
     false, kSliceBoth},
    {"take-up encoder losing counts", 1, false, std::nullopt, "encoder-loss=l:take-up:10", true, 0, 1, -1, false,
     false, true, false, kSliceBoth},
};
// clang-format on

class DonorChecks : public ribbontest::RibbonPrinter, public ::testing::WithParamInterface<DonorCase> {};

TEST_P(DonorChecks, OnTheRibbonModel) {
  const DonorCase& c = GetParam();
  sim::MachineOptions options;
  options.ribbonDriveMode = c.ulDriveMode;
  options.unitRibbons[0] = c.ribbon;
  BootReady(std::move(options));
  Ribbons().PlaceTape(PrintUnit::L, Panel::Yellow, kIntoY - Ribbons().Tape(PrintUnit::L).ColorSensorLines());
  static Outcome s_out;
  static const DonorCase* s_case;
  s_out = Outcome{};
  s_case = &c;
  ASSERT_TRUE(InLoop(
      [] {
        SelectUnit(0);
        g_ulEngModeA = s_case->ulDriveMode;
        g_ulUnitsPrinted = s_case->bPrinted ? 3u : 2u;
        // The model of another type, until the barcode names the roll's.
        g_pRibbonRoll = g_pCurRibbonRolls[1];
        *g_pCurRibbonTypeIndex = 1;
        s_out.lFirst = CheckDonor1st(kMask);
        g_pRibbonRoll->GetPanelIndex(&s_out.ulPanelAfterFirst);
        s_out.ulPrinted = g_ulUnitsPrinted;
        g_ParamSliceBarcodeL.GetValue(&s_out.lSliceAfterFirst);
      },
      Ms(120000)));
  EXPECT_EQ(s_out.lFirst, c.lFirst);
  EXPECT_EQ(s_out.ulPrinted, 2u) << "unit L's printed bit cleared, unit R's kept";
  if (c.lFirst == 0) {
    EXPECT_EQ(s_out.ulPanelAfterFirst, c.ulPanelAfterFirst);
  }
  if (c.bSecond) {
    std::string error;
    if (c.pszBeforeSecond != nullptr) {
      ASSERT_TRUE(m_machine->Act(c.pszBeforeSecond, &error)) << error;
    }
    ASSERT_TRUE(InLoop(
        [] {
          SelectUnit(0);
          g_ulEngModeA = s_case->ulDriveMode;
          s_out.lSecond = CheckDonor2nd(kMask);
          g_pRibbonRoll->GetPanelIndex(&s_out.ulPanelAfterSecond);
          s_out.bModel8x10K1 = g_pRibbonRoll == g_apRibbonRollColorL[0];
        },
        Ms(300000)));
    EXPECT_EQ(s_out.lSecond, c.lSecond);
    EXPECT_EQ(s_out.bModel8x10K1, c.bDecoded) << "the barcode selects the 8x10 K1 model";
    if (c.lSecond == 0 && !c.bIncorrectRib) {
      // Drive mode 2 winds to Y's print start; other modes end with the
      // search back to the print start, on Y too.
      EXPECT_EQ(s_out.ulPanelAfterSecond, 0u);
    }
  }
  g_ParamInitialD.GetValue(&s_out.lInitialD);
  g_ParamSliceBarcodeL.GetValue(&s_out.lSlice);
  s_out.bRibbonEmpty = IsErrorRaised(kRibbonEmptyL);
  s_out.bIncorrectRib = IsErrorRaised(kIncorrectRibL);
  s_out.bTakeUpEncoder = IsErrorRaised(kTakeUpEncoderL);
  EXPECT_EQ(s_out.bRibbonEmpty, c.bRibbonEmpty);
  EXPECT_EQ(s_out.bIncorrectRib, c.bIncorrectRib);
  EXPECT_EQ(s_out.bTakeUpEncoder, c.bTakeUpEncoder);
  EXPECT_EQ(s_out.lInitialD, 60) << "\"Initial D[%]\" back at its value";
  EXPECT_EQ(s_out.lSlice, c.lSlice);
}

INSTANTIATE_TEST_SUITE_P(Cases, DonorChecks, ::testing::ValuesIn(kCases), [](const auto& i) {
  std::string s = i.param.name;
  for (char& ch : s) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return s;
});

}  // namespace

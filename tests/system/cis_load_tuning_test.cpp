// The CIS tuning at paper load, both engine variants, from the paper parked
// at "Position": the feed back to "Top L", the move that brings blank paper
// under the CIS, the tuning with the LCD line kept, each variant's end
// position and ending, the tuning once per power-on, "Cis SW" off, the
// load-pinch path after a roll end, a roll end found before the tuning,
// and "Top L" stuck on.
#include <gtest/gtest.h>

#include <string>

#include "firmware/control/engine_variant.h"
#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/settings.h"
#include "firmware/devices/unit_switch.h"
#include "firmware/mechanism/cis_load_tuning.h"
#include "firmware/mechanism/roll_encoder_checks.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/positioner.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/mechanism/unit_moves.h"
#include "firmware/sequences/action_results_placeholder.h"
#include "tests/support/paper_web.h"

namespace {

using paperwebtest::PaperWebPrinter;
using testsupport::Ms;

constexpr uint32_t kMask = SEQ_CHECK_COVERS;
constexpr uint32_t kLimitLines = 5404;
constexpr uint32_t kJam = 0x1529;


struct LoadOutcome {
  int32_t lResult = 9;
  std::string lcdBefore;
  std::string lcdAfter;
  uint32_t ulLine = 0;
  uint32_t ulEventSet = 9;
};

class CisTuningAtLoad : public PaperWebPrinter {
 protected:
  void Boot(sim::EngineVariant variant) {
    BootOnTheWeb(variant);
    g_ulSlackTakeUpCountL = 0;
    // The paper parked at "Position" under the lowered main pinch.
    // (The mechanism's initialisation that finds the pinch up is not built
    // yet: its position is given.)
    InLoop([] {
      g_pProllMain->SetPosition(PINCH_UP);
      EXPECT_EQ(MoveMainPinch(10, kMask), 0);
    });
  }
  // The tunings logged since log record `from`, one letter each (O offset,
  // L LED), and the paper edge under the CIS at the last of them.
  std::string Tunings(size_t from, double* pEdge = nullptr) {
    std::string s;
    sim::Nanos last = 0;
    const auto& log = m_machine->Log();
    for (size_t i = from; i < log.size(); ++i) {
      const std::string& t = log[i].text;
      const char c = t.rfind("[CIS] Tune Offset = ", 0) == 0 ? 'O' : t.rfind("[CIS] Tune LED = ", 0) == 0 ? 'L' : 0;
      if (c == 0) continue;
      s += c;
      last = log[i].at;
    }
    if (pEdge != nullptr) {
      *pEdge = -9.0;
      for (const auto& e : Mechanism().Trace().Of("CisLine")) {
        if (e.at <= last) *pEdge = e.value;
      }
    }
    return s;
  }
  LoadOutcome Load() {
    LoadOutcome o;
    m_ulLogMark = m_machine->Log().size();
    EXPECT_TRUE(InLoop([&] {
      char acLine[17] = {};
      g_Lcd.ReadText(acLine, 0, 16);
      o.lcdBefore = acLine;
      o.lResult = g_pfnTuneCisAtLoad(1, kLimitLines, kJam, kMask);
      g_Lcd.ReadText(acLine, 0, 16);
      o.lcdAfter = acLine;
      g_PaperPosition.GetCurrentPoint(&o.ulLine);
      o.ulEventSet = IsEventPending(EV_PAPER_END) ? 1 : 0;
    }, Ms(120000)));
    return o;
  }
  // The values a clutch was switched to since boot.
  std::string Switched(std::string_view name) {
    std::string s;
    for (const auto& e : Mechanism().Trace().Of(name)) s += e.value != 0 ? '1' : '0';
    return s;
  }
  size_t m_ulLogMark = 0;
  void ExpectTunedLoad(uint32_t ulEndLine, uint32_t ulSlackRuns, uint32_t ulMainPinch) {
    const LoadOutcome o = Load();
    uint32_t ulPinch = 0;
    g_pProllMain->GetPosition(&ulPinch);
    EXPECT_EQ(ulPinch, ulMainPinch);
    EXPECT_EQ(o.lResult, 0);
    double dEdge = 0.0;
    EXPECT_EQ(Tunings(m_ulLogMark, &dEdge), "OL");
    EXPECT_TRUE(m_machine->Logged("[CIS] Tune Offset = 60"));
    EXPECT_TRUE(m_machine->Logged("[CIS] Tune LED = 40 (ReadValue = 129)"));
    EXPECT_EQ(dEdge, 80.0) << "blank paper under the CIS";
    EXPECT_EQ(o.lcdAfter, o.lcdBefore) << "the tunings' texts are gone";
    EXPECT_EQ(g_ulCisTunedAtLoad, 1u);
    EXPECT_EQ(o.ulLine, ulEndLine);
    EXPECT_NEAR(Web().Front(), ulEndLine, 40.0);
    EXPECT_EQ(Switched("ClutchRibRvsL").substr(0, 2), "10");
    EXPECT_EQ(Switched("ClutchLoad").find('1'), std::string::npos);
    EXPECT_EQ(g_ulSlackTakeUpCountL, ulSlackRuns) << "slack take-ups counted on unit L";
    // A second load moves the paper as before but tunes nothing.
    const LoadOutcome again = Load();
    EXPECT_EQ(again.lResult, 0);
    EXPECT_EQ(Tunings(m_ulLogMark), "");
    EXPECT_EQ(again.ulLine, ulEndLine);
  }
};

TEST_F(CisTuningAtLoad, Em3TunesAtTheEndPositionOnce) {
  Boot(sim::EngineVariant::EM3);
  ASSERT_EQ(g_pfnTuneCisAtLoad, &TuneCisAtLoadEM3);
  ExpectTunedLoad(65383, 0, PINCH_HALF_L);
}

TEST_F(CisTuningAtLoad, Em2Tunes125LinesBeforeTopThenTakesUpTheSlackAndMovesOn) {
  Boot(sim::EngineVariant::EM2);
  ASSERT_EQ(g_pfnTuneCisAtLoad, &TuneCisAtLoadEM2);
  ExpectTunedLoad(66594, 1, PINCH_UP);
}

TEST_F(CisTuningAtLoad, WithCisSwOffTheCisIsNeverCalled) {
  Boot(sim::EngineVariant::EM3);
  InLoop([] { g_ParamCisSW.SetValueNoSave(0); });
  const LoadOutcome o = Load();
  EXPECT_EQ(o.lResult, 0);
  EXPECT_EQ(Tunings(m_ulLogMark), "");
  EXPECT_EQ(g_ulCisTunedAtLoad, 0u);
  EXPECT_EQ(o.ulLine, 65383u);
  InLoop([] { g_ParamCisSW.SetValueNoSave(1); });
}

TEST_F(CisTuningAtLoad, AfterARollEndTheLoadPinchBringsThePaper) {
  Boot(sim::EngineVariant::EM3);
  InLoop([] { g_ulRollEndDetected = 1; });
  const LoadOutcome o = Load();
  InLoop([] {
    g_ulRollEndDetected = 0;
    g_pCurEventMng->ClearEvent(EV_PAPER_END);
  });
  EXPECT_EQ(o.lResult, 0);
  EXPECT_EQ(Switched("ClutchLoad"), "10");
  EXPECT_EQ(Switched("ClutchRibRvsL").substr(0, 2), "10");
  EXPECT_EQ(Tunings(m_ulLogMark), "OL");
  EXPECT_EQ(o.ulLine, 65383u);
}

TEST_F(CisTuningAtLoad, ARollEndFoundBeforeTheTuningEndsTheLoadAtOnce) {
  Boot(sim::EngineVariant::EM3);
  WebDevice().Detach();
  const LoadOutcome o = Load();
  InLoop([] {
    g_ulRollEndDetected = 0;
    g_pCurEventMng->ClearEvent(EV_PAPER_END);
  });
  EXPECT_EQ(o.lResult, 0);
  EXPECT_EQ(o.ulEventSet, 1u);
  EXPECT_EQ(Tunings(m_ulLogMark), "");
  EXPECT_EQ(g_ulCisTunedAtLoad, 0u);
  EXPECT_EQ(Switched("ClutchRibRvsL"), "1") << "the clutch is left on";
}

TEST_F(CisTuningAtLoad, TopLStuckOnRaisesTheCallersJam) {
  Boot(sim::EngineVariant::EM3);
  Inputs().SetPaperSeen(sim::PhotoSensor::TopL, true);
  const LoadOutcome o = Load();
  EXPECT_EQ(o.lResult, -1);
  EXPECT_TRUE(IsErrorRaised(kJam));
  EXPECT_EQ(Tunings(m_ulLogMark), "");
  EXPECT_EQ(g_ulCisTunedAtLoad, 0u);
}

}  // namespace

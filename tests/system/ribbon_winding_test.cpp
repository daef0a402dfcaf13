// The blocking ribbon operations of the sequences on unit L of a ready
// printer, against the ribbon model: a ribbon found by its held supply, a
// missing one, slack taken up, a cut ribbon, winds by count, the ribbon's
// home correction. Each case runs one operation between two passes of the
// main loop and checks its result, its time, the unit's ribbon-empty index
// and that the motors and the clutch end off.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "firmware/control/engine_variant.h"
#include "firmware/devices/paper_position.h"
#include "firmware/devices/settings.h"
#include "firmware/sequences/ribbon_winding.h"
#include "sim/mechanism/input_faults.h"
#include "tests/support/ribbon.h"

namespace {

using ribbontest::Ms;
using sim::PrintUnit;
using sim::RibbonFault;

struct Outcome {
  int32_t lResult = 9;
  double dElapsedMs = 0;
  bool bRibbonEmpty = false;
  uint32_t ulSlackCount = 0;
  uint32_t ulPaperLine = 0;
  uint32_t ulPaperLineBefore = 0;
  int32_t lHomePosi = 0;
};

struct OperationCase {
  const char* name;
  std::optional<RibbonFault> fault;  // on unit L before the operation
  double slackMm;                    // of unit L's ribbon at power-on
  std::function<int32_t()> operation;  // in the application task, unit L current
  int32_t result;
  double minMs, maxMs;  // the operation's time
  bool ribbonEmpty;
  // Supply counts the model turned during the operation: at least, at most.
  uint64_t minSupply, maxSupply;
  std::function<void(const Outcome&, const sim::RibbonTransport&)> check;
  // The slack take-up ends in the tension phase (phase 0 in reverse): the
  // supply pulls back against the clutch; every other operation ends with
  // the motors and the clutch off.
  bool tension = false;
};

constexpr uint64_t kAny = ~0ull;

int32_t WithTension(int32_t lTension, uint32_t ulTolerate) {
  g_ParamTensionS.SetValueNoSave(lTension);
  const int32_t lResult = CheckRibbonLoaded(ulTolerate, SEQ_CHECK_COVERS);
  g_ParamTensionS.SetValueNoSave(100);
  return lResult;
}

int32_t HomeFrom(int32_t lValue) {
  g_ParamDonorHomePosi.SetValue(lValue);
  return ReturnDonorHome(SEQ_CHECK_COVERS);
}

int32_t InModeOne(std::function<int32_t()> op) {
  const uint32_t ulMode = g_ulEngModeA;
  g_ulEngModeA = 1;
  const int32_t lResult = op();
  g_ulEngModeA = ulMode;
  return lResult;
}

void HomeIs(int32_t lValue, const Outcome& o) { EXPECT_EQ(o.lHomePosi, lValue); }

const std::vector<OperationCase> kCases = {
    // A loaded ribbon holds the supply against the reverse pull: locked
    // once it has stood 500 ms.
    {"loaded ribbon locks", std::nullopt, 0, [] { return CheckRibbonLoaded(0, SEQ_CHECK_COVERS); }, 0, 500, 1500,
     false, 0, kAny, nullptr},
    // Without a ribbon the supply spins free: never still, so no lock.
    {"no ribbon", RibbonFault::NoRibbon, 0, [] { return CheckRibbonLoaded(0, SEQ_CHECK_COVERS); }, -1, 0, 4010, true,
     1, kAny, nullptr},
    // A free supply creeping at 10 % duty: 4000 ms, an error only when the
    // time-out is not tolerated.
    {"creeping supply, time-out an error", RibbonFault::NoRibbon, 0, [] { return WithTension(10, 0); }, -1, 3990,
     4100, true, 1, kAny, nullptr},
    {"creeping supply, time-out tolerated", RibbonFault::NoRibbon, 0, [] { return WithTension(10, 1); }, 0, 3990,
     4100, false, 1, kAny, nullptr},
    // The slack is wound into the take-up, the tape then wound on with the
    // paper feed and tightened; the take-up is counted.
    {"slack taken up", std::nullopt, 40, [] { return TakeUpRibbonSlack(1, 0, SEQ_CHECK_COVERS); }, 0, 0, 20000, false,
     2, kAny,
     [](const Outcome& o, const sim::RibbonTransport& r) {
       EXPECT_EQ(o.ulSlackCount, 1u);
       EXPECT_LT(r.Slack(), 1.0);
     },
     true},
    // The last ribbon stop braked the supply: the take-up frees it first.
    {"slack taken up after a braking stop", std::nullopt, 40,
     [] {
       g_pDonorMng->StopRibbon(0, 1);
       return TakeUpRibbonSlack(1, 0, SEQ_CHECK_COVERS);
     },
     0, 0, 20000, false, 2, kAny,
     [](const Outcome& o, const sim::RibbonTransport& r) {
       EXPECT_EQ(o.ulSlackCount, 1u);
       EXPECT_LT(r.Slack(), 1.0);
     },
     true},
    // Drive mode 1, or skip, runs only the last step: the tension phase,
    // nothing wound and no paper moved; the take-up counted when asked.
    {"drive mode 1 only the last step", std::nullopt, 40,
     [] { return InModeOne([] { return TakeUpRibbonSlack(1, 0, SEQ_CHECK_COVERS); }); }, 0, 0, 50, false, 0, kAny,
     [](const Outcome& o, const sim::RibbonTransport& r) {
       EXPECT_EQ(o.ulSlackCount, 1u);
       EXPECT_EQ(r.TakeUpCount(), 0u);
       EXPECT_EQ(o.ulPaperLine, o.ulPaperLineBefore);
     },
     true},
    {"skip only the last step, uncounted", std::nullopt, 40,
     [] { return TakeUpRibbonSlack(0, 1, SEQ_CHECK_COVERS); }, 0, 0, 50, false, 0, kAny,
     [](const Outcome& o, const sim::RibbonTransport& r) {
       EXPECT_EQ(o.ulSlackCount, 0u);
       EXPECT_EQ(r.TakeUpCount(), 0u);
     },
     true},
    // A cut ribbon: the supply never turns; 5000 ms, no paper moved.
    {"ribbon cut", RibbonFault::Cut, 0, [] { return TakeUpRibbonSlack(1, 0, SEQ_CHECK_COVERS); }, -1, 5000, 5100,
     true, 0, 0,
     [](const Outcome& o, const sim::RibbonTransport&) { EXPECT_EQ(o.ulPaperLine, o.ulPaperLineBefore); }},
    {"wind by count", std::nullopt, 0,
     [] { return WindRibbonToCount(RIBPH_SLOW_WIND_Y, 1, 100, SEQ_CHECK_COVERS, 1, nullptr, nullptr, 0, 1); }, 0, 0,
     3000, false, 100, 160, nullptr},
    // The ribbon's end: the supply stops at its core, the stall watch
    // reports it after 4000 ms, and no retry is left.
    {"ribbon end, no retry", RibbonFault::End, 0,
     [] { return WindRibbonToCount(RIBPH_WIND_Y, 1, 20000, SEQ_CHECK_COVERS, 1, nullptr, nullptr, 0, 1); }, -1, 4000,
     30000, true, 1, kAny, nullptr},
    {"ribbon end, three retries", RibbonFault::End, 0,
     [] { return WindRibbonToCount(RIBPH_WIND_Y, 1, 20000, SEQ_CHECK_COVERS, 1, nullptr, nullptr, 3, 1); }, -1, 4000,
     60000, true, 1, kAny, nullptr},
    // The home correction: 32768 is home (nothing wound); 16400 winds 14
    // of its 16; a failed correction keeps 14, so the next winds 13.
    {"home at home", std::nullopt, 0, [] { return HomeFrom(32768); }, 0, 0, 1000, false, 0, 0,
     [](const Outcome& o, const sim::RibbonTransport&) { HomeIs(32768, o); }},
    {"home from 16400", std::nullopt, 0, [] { return HomeFrom(16400); }, 0, 0, 3000, false, 14, 40,
     [](const Outcome& o, const sim::RibbonTransport&) { HomeIs(32768, o); }},
    {"home failing", RibbonFault::NoRibbon, 0, [] { return HomeFrom(16400); }, -1, 4000, 4100, true, 0, 0,
     [](const Outcome& o, const sim::RibbonTransport&) { HomeIs(14, o); }},
    {"home after a failure", std::nullopt, 0, [] { return HomeFrom(14); }, 0, 0, 3000, false, 13, 40,
     [](const Outcome& o, const sim::RibbonTransport&) { HomeIs(32768, o); }},
};

class RibbonOperations : public ribbontest::RibbonPrinter, public ::testing::WithParamInterface<OperationCase> {};

TEST_P(RibbonOperations, EndWithTheirResultAndEveryMotorOff) {
  const OperationCase& c = GetParam();
  sim::MachineOptions options;
  options.ribbons[0].slackMm = c.slackMm;
  BootReady(std::move(options));
  if (c.fault) m_machine->MechanismFaults().SetRibbonFault(PrintUnit::L, *c.fault, true);
  const sim::RibbonTransport& model = Ribbon(PrintUnit::L);
  const uint64_t ullSupplyBefore = model.SupplyCount();
  static Outcome s_outcome;
  static const OperationCase* s_case;
  s_case = &c;
  s_outcome = Outcome{};
  sim::Machine& machine = *m_machine;
  ASSERT_TRUE(InLoop(
      [&machine] {
        SelectUnit(0);
        g_ulSlackTakeUpCountL = 0;
        g_PaperPosition.GetCurrentPoint(&s_outcome.ulPaperLineBefore);
        const sim::Nanos from = machine.Now();
        s_outcome.lResult = s_case->operation();
        s_outcome.dElapsedMs = static_cast<double>(machine.Now() - from) / sim::kNsPerMs;
        s_outcome.bRibbonEmpty = IsErrorRaised(0x1603);
        s_outcome.ulSlackCount = g_ulSlackTakeUpCountL;
        g_PaperPosition.GetCurrentPoint(&s_outcome.ulPaperLine);
        s_outcome.lHomePosi = SettingValue(g_ParamDonorHomePosi);
      },
      Ms(90000)));
  const uint64_t ullSupply = model.SupplyCount() - ullSupplyBefore;
  EXPECT_EQ(s_outcome.lResult, c.result);
  EXPECT_GE(s_outcome.dElapsedMs, c.minMs);
  EXPECT_LE(s_outcome.dElapsedMs, c.maxMs);
  EXPECT_EQ(s_outcome.bRibbonEmpty, c.ribbonEmpty);
  EXPECT_GE(ullSupply, c.minSupply);
  if (c.maxSupply != kAny) {
    EXPECT_LE(ullSupply, c.maxSupply);
  }
  if (c.check) c.check(s_outcome, model);
  m_machine->RunFor(Ms(50));
  if (c.tension) {
    EXPECT_TRUE(model.Inputs().bClutch);
    EXPECT_EQ(model.Inputs().supply.command, sim::SpoolCommand::Reverse);
    EXPECT_EQ(model.Inputs().takeUp.command, sim::SpoolCommand::Hold);
  } else {
    EXPECT_EQ(model.Motion(), 0u) << "the ribbon stands";
    EXPECT_FALSE(model.Inputs().bClutch);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RibbonOperations, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<OperationCase>& param) {
                           std::string name = param.param.name;
                           for (char& ch : name) {
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           }
                           return name;
                         });

}  // namespace

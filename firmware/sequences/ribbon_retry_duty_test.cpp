// The retry duty of the take-up model: the worked example with its nine log
// lines, the slow supply that keeps the initial duty, and runs without time
// or counts.
#include "firmware/sequences/ribbon_retry_duty.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/control/panel_test_rig.h"

namespace {

struct DutyCase {
  const char* name;
  uint32_t time, src, dst;
  int32_t initial;
  int32_t duty;
  std::vector<std::string> log;  // in order, after the four argument lines
};

const std::vector<DutyCase> kCases = {
    {"the worked example", 1000, 1000, 1000, 60, 30,
     {"dSpeedSrc = 10000", "dSpeedDst = 10000", "dData_R = 833333", "dData_T = -14021528",
      "dData_SR = 5847", "dDutyTarget = 303470"}},
    {"a supply at 1.71 ms a count keeps the duty", 1710, 1000, 1000, 60, 60,
     {"dSpeedSrc = 17100", "dSpeedDst = 17100", "dDutyTarget = 600000"}},
    {"a slower supply keeps the duty, truncated", 4000, 1000, 2000, -7, -7,
     {"dSpeedSrc = 40000", "dSpeedDst = 20000", "dDutyTarget = -70000"}},
    // Read as signed, the time would give a negative (fast) supply speed.
    {"a time of 2^31 ms stays positive: a slow supply", 0x80000000u, 1000, 1000, 50, 50,
     {"dSpeedSrc = 2147483647", "dSpeedDst = 2147483647", "dDutyTarget = 500000"}},
    {"no time: the initial duty", 0, 1000, 1000, 45, 45, {"dDutyTarget = 450000"}},
    {"no supply counts: the initial duty", 1000, 0, 1000, 45, 45, {"dDutyTarget = 450000"}},
    {"no take-up counts: the initial duty", 1000, 1000, 0, 45, 45, {"dDutyTarget = 450000"}},
};

class RetryDuty : public paneltest::PanelTest, public ::testing::WithParamInterface<DutyCase> {};

TEST_P(RetryDuty, FollowsTheTakeUpModel) {
  const DutyCase& c = GetParam();
  static const DutyCase* s_case;
  static int32_t s_lResult, s_lDuty;
  s_case = &c;
  const size_t from = m_machine->Console().size();
  InApp([] {
    s_lDuty = 12345;
    s_lResult = Iniribon::RetryDuty(s_case->time, s_case->src, s_case->dst, s_case->initial, &s_lDuty);
  });
  EXPECT_EQ(s_lResult, 0) << c.name;
  EXPECT_EQ(s_lDuty, c.duty) << c.name;
  const std::string log = m_machine->Console().substr(from);
  std::vector<std::string> lines = {"arg_ulTime = " + std::to_string(static_cast<int32_t>(c.time)),
                                    "arg_ulSrcSlit = " + std::to_string(static_cast<int32_t>(c.src)),
                                    "arg_ulDstSlit = " + std::to_string(static_cast<int32_t>(c.dst)),
                                    "arg_lInitialDuty = " + std::to_string(c.initial)};
  lines.insert(lines.end(), c.log.begin(), c.log.end());
  size_t at = 0;
  for (const std::string& line : lines) {
    const size_t found = log.find("[Iniribon::RetryDuty] " + line, at);
    ASSERT_NE(found, std::string::npos) << c.name << ": " << line << " in\n" << log;
    at = found;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RetryDuty, ::testing::ValuesIn(kCases));

// Four arguments, two speeds, the three model values and the target.
TEST_F(RetryDuty, WorkedExampleLogsEveryValueOnce) {
  const size_t from = m_machine->Console().size();
  InApp([] {
    int32_t lDuty = 0;
    Iniribon::RetryDuty(1000, 1000, 1000, 60, &lDuty);
  });
  const std::string log = m_machine->Console().substr(from);
  size_t count = 0;
  for (size_t at = log.find("[Iniribon::RetryDuty]"); at != std::string::npos; at = log.find("[Iniribon::RetryDuty]", at + 1)) ++count;
  EXPECT_EQ(count, 10u) << log;
}

}  // namespace

// The exit-print comparator's threshold: "ExitPrint1" reaches the FPGA as
// one write of its low 16 bits.
#include <vector>

#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/settings.h"
#include "sim/fpga/fpga_main_block.h"

namespace paneltest {
namespace {

constexpr uint32_t kThresholdOffset = 0x9C;

class ExitPrintThreshold : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    Fpga().AddWriteObserver([this](uint32_t offset, uint16_t value) {
      if ((offset & 0xFFFFu) == kThresholdOffset) m_writes.push_back(value);
    });
  }
  sim::FpgaMainBlock& Fpga() { return *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>(); }
  // Applies the threshold with the setting as `prepare` leaves it; the
  // writes the comparator saw.
  std::vector<uint16_t> Apply(const std::function<void()>& prepare) {
    m_writes.clear();
    InApp([&prepare] {
      prepare();
      EXPECT_EQ(ApplyExitPrintThreshold(), 0);
    });
    return m_writes;
  }
  std::vector<uint16_t> m_writes;
};

TEST_F(ExitPrintThreshold, TheSettingsValueIsWrittenOnce) {
  struct Case {
    const char* pszWhat;
    int32_t lValue;  // -1: the setting as the start left it
    uint16_t usWritten;
  };
  const Case kCases[] = {
      {"the default", -1, 127},
      {"the lowest", 0, 0},
      {"the highest", 255, 255},
      {"edited in between", 64, 64},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.pszWhat);
    const int32_t lValue = c.lValue;
    EXPECT_EQ(Apply([lValue] {
                if (lValue >= 0) {
                  EXPECT_EQ(g_ParamSliceExitPrint1.SetValueNoSave(lValue), 0);
                }
              }),
              std::vector<uint16_t>{c.usWritten});
    EXPECT_EQ(Fpga().Register(kThresholdOffset), c.usWritten);
  }
}

// Only the low half of a wider value reaches the 16-bit register: a
// setting of wider limits stands in for "ExitPrint1" here.
TEST_F(ExitPrintThreshold, OnlyTheLow16BitsReachTheRegister) {
  struct Case {
    int32_t lValue;
    uint16_t usWritten;
  };
  const Case kCases[] = {{0x12345, 0x2345}, {0x10000, 0x0000}, {-1, 0xFFFF}, {-0x8000, 0x8000}};
  const CParameter saved = g_ParamSliceExitPrint1;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.lValue);
    const int32_t lValue = c.lValue;
    EXPECT_EQ(Apply([lValue] {
                g_ParamSliceExitPrint1 = CParameter("ExitPrint1       ", -0x100000, 0x100000, nullptr, nullptr,
                                                    nullptr, lValue);
              }),
              std::vector<uint16_t>{c.usWritten});
  }
  InApp([saved] { g_ParamSliceExitPrint1 = saved; });
}

}  // namespace
}  // namespace paneltest

// The CIS on the board, through the firmware's system-device window: a
// line of the sensor read with the paper under it.
#include <gtest/gtest.h>

#include <cstdint>

#include "firmware/platform/ioctl.h"
#include "sim/fpga/cis_window.h"
#include "tests/support/carousel.h"

namespace {

using carouseltest::CarouselPrinter;
using testsupport::Ms;

constexpr PhysAddr kLed = 0x64040000u, kOffset = 0x64040002u, kControl = 0x64040004u, kGains = 0x64044000u;
constexpr PhysAddr kBuffers[3] = {0x64043000u, 0x64041000u, 0x64042000u};  // by status

class CisOnTheBoard : public CarouselPrinter {
 protected:
  void SetUp() override { BootReady(sim::EngineVariant::EM3); }
};

TEST_F(CisOnTheBoard, AnEnabledSensorShowsThePaperEdgeAtPixel80) {
  sim::CisWindow& cis = *m_machine->GetBoard().FindDevice<sim::CisWindow>();
  // The web's front rests past the sensor's line: paper under it.
  ASSERT_EQ(cis.PaperEdgeNow(), 80.0);
  uint8_t aucLine[sim::CisWindow::kPixels] = {};
  int32_t lResult = -9;
  uint32_t ulStatus = 0;
  ASSERT_TRUE(InLoop([&] {
    // The start-up loaded the calibration gains; a gain of 0 passes the
    // pixels as the sensor sees them.
    for (uint32_t w = 0; w < sim::CisWindow::kWords; ++w) IoctlWrite16(kGains + 2 * w, 0);
    lResult = IoctlWrite16(kLed, 40);
    if (lResult == 0) lResult = IoctlWrite16(kOffset, 60);
    uint16_t usControl = 0;
    if (lResult == 0) lResult = IoctlRead16(kControl, &usControl);
    if (lResult == 0) lResult = IoctlWrite16(kControl, static_cast<uint16_t>(usControl | 0x2));
    // Until the status names a buffer other than the one it named at the
    // start: a line completed since.
    const uint32_t ulFirst = (usControl >> 8) & 3u;
    do {
      lResult = IoctlRead16(kControl, &usControl);
      ulStatus = (usControl >> 8) & 3u;
    } while (lResult == 0 && ulStatus == ulFirst);
    for (uint32_t w = 0; lResult == 0 && ulStatus < 3 && w < sim::CisWindow::kWords; ++w) {
      uint16_t usWord = 0;
      lResult = IoctlRead16(kBuffers[ulStatus] + 2 * w, &usWord);
      aucLine[2 * w] = static_cast<uint8_t>(usWord);
      aucLine[2 * w + 1] = static_cast<uint8_t>(usWord >> 8);
    }
  }, Ms(100)));
  ASSERT_EQ(lResult, 0);
  EXPECT_LT(ulStatus, 3u);
  EXPECT_GE(cis.LinesCompleted(), 1u);
  EXPECT_TRUE(m_machine->GetBoard().Faults().empty());
  // Background up to pixel 79, paper from 80 on.
  EXPECT_EQ(aucLine[0], 59);
  EXPECT_EQ(aucLine[79], 59);
  EXPECT_EQ(aucLine[80], 131);
  EXPECT_EQ(aucLine[1227], 131);
  const auto trace = Mechanism().Trace().Of("CisLine");
  ASSERT_FALSE(trace.empty());
  EXPECT_EQ(trace.front().value, 80);
}

}  // namespace

// Test support of the test prints (test code only): the application of a
// booted printer runs a test body, drawings land in the image memory the
// test reads directly, and print-size records of any length stand in for
// the selected one.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "firmware/hal/hw.h"
#include "firmware/printengine/image_buffer.h"
#include "firmware/printengine/print_size.h"
#include "firmware/service/draw_parts_rect.h"
#include "tests/support/machine_test.h"

namespace servicetest {

using testsupport::kStartUp;
using testsupport::Ms;

constexpr uint32_t kW = PRINT_WIDTH;
// The second colour buffer of print mode 0: where the test drawings go.
constexpr uint32_t kBuffer = 0x1A00000u;

// The image memory at an image-window offset.
inline uint8_t* ImageAt(uint32_t ulOffset, uint32_t ulBytes) {
  return static_cast<uint8_t*>(PhysToHost(IMAGE_BUFFER_BASE + ulOffset, ulBytes));
}

// A record of the 8x10 row with its print length changed, selected while
// the test runs.
inline PrintSizeRecord g_TestSize;
inline PrintSizeRecord* UseLength(uint32_t ulLength) {
  g_TestSize = g_PrintSize8x10;
  g_TestSize.ulPrintLength = ulLength;
  g_pPrintSizeTable = &g_TestSize;
  return &g_TestSize;
}
inline uint32_t PlaneBytes() {
  return g_TestSize.ulPrintWidth * (g_TestSize.ulPrintLength + g_TestSize.aulExtraLines[0] + g_TestSize.aulExtraLines[1]);
}

// The three drawers, Y, M, C.
inline CDrawPartsRect* Drawer(uint32_t ulPlane) {
  CDrawPartsRect* const apDrawers[] = {&g_DrawPartsRectY, &g_DrawPartsRectM, &g_DrawPartsRectC};
  return apDrawers[ulPlane];
}
inline void SetBases(uint32_t ulBuffer) {
  for (uint32_t p = 0; p < 3; ++p) Drawer(p)->SetBase(ulBuffer);
}

class ServiceTest : public testsupport::AppBodyTest {
 protected:
  void RunInApp(std::function<void()> body) { AppBodyTest::RunInApp(std::move(body), kStartUp + Ms(600000)); }
};

}  // namespace servicetest

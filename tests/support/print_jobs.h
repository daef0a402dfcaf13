// Print jobs from the host as the system tests send them through the
// in-process host port: a set-up, colour or one-bit images with their bulk
// data, and the media a job needs (8x10 ribbons in both units, paper
// loaded).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "firmware/hostif/print_job_handlers.h"
#include "firmware/hostif/usb_command_layer.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/printengine/media_config.h"
#include "protocol/codes.h"
#include "protocol/requests.h"
#include "sim/machine.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/machine_test.h"

namespace hostjobs {

using hostiftest::Bytes;
using hostiftest::ErrorCodeOf;
using hostiftest::PacketOf;
using hostiftest::Reply;

// The full 8x10 picture's lines.
constexpr uint16_t kFull8x10 = 3024;

template <class Request>
Reply Send(sim::UsbHostPort& host, const Request& request) {
  return hostiftest::Exchange(host, PacketOf(request));
}

inline protocol::SetupPrintJobRequest JobSetup(uint8_t ucMask, uint8_t ucFirstSide = 0,
                                               uint8_t ucCutCount = protocol::CUT_COUNT_DEFAULT) {
  protocol::SetupPrintJobRequest r{};
  r.copies = 1;
  r.unitRequest = ucMask;
  r.cutCount = ucCutCount;
  r.firstUnitSelection = ucFirstSide;
  return r;
}

// A picture as wide as its media; print option A 2 is a glossy overcoat.
inline protocol::PrintRequest Image(uint16_t usWidth, uint16_t usHeight, uint8_t ucType = protocol::IMAGE_TYPE_COLOUR,
                                    uint8_t ucOvercoat = 2) {
  protocol::PrintRequest r{};
  r.imageWidth = usWidth;
  r.imageHeight = usHeight;
  r.mediaMaxWidth = usWidth;
  r.mediaMaxHeight = usHeight;
  r.imageType = ucType;
  r.printOptionA = ucOvercoat;
  return r;
}

// The set-up's errorCode and the job id.
inline std::pair<int, uint8_t> SetUpJob(sim::UsbHostPort& host, const protocol::SetupPrintJobRequest& request) {
  const Reply r = Send(host, request);
  return {ErrorCodeOf(r), r.data.empty() ? uint8_t{0} : r.data[0]};
}

// A print command and, when accepted and asked for, its image data; the
// errorCode.
inline int SendImage(sim::Machine& m, const protocol::PrintRequest& request, bool bData = true) {
  const int code = ErrorCodeOf(Send(m.UsbHost(), request));
  if (code != 0 || !bData) return code;
  EXPECT_EQ(g_ulBulkRxKind, static_cast<uint32_t>(BULK_RX_PRINT)) << "the data phase armed";
  const Bytes data(protocol::PrintDataSize(request), 0x5A);
  EXPECT_EQ(m.UsbHost().BulkOut(data, testsupport::Ms(60000)).outcome, sim::UsbOutcome::Done);
  // The application's pass takes the end of the data phase.
  m.RunUntil([] { return g_ulBulkRxKind == BULK_RX_NONE; }, testsupport::Ms(100));
  m.RunFor(testsupport::Ms(50));
  return code;
}

// The media of the tests' jobs: 8x10 ribbons in both units, paper loaded,
// the print sizes selected and published. Run in the application.
inline void Use8x10Media() {
  g_MediaConfig.SetRibbonSize(0, RIBBON_SIZE_8X10);
  g_MediaConfig.SetRibbonSize(1, RIBBON_SIZE_8X10);
  g_MediaConfig.SetLoadModeChecked(LOAD_MODE_LOADED);
  g_MediaConfig.SelectPrintSizeTable();
  g_MediaConfig.SendMediaInfo();
}

}  // namespace hostjobs

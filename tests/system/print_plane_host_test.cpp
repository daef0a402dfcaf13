// The one-sided job of a generated picture sent as a host sends it (set-up
// and print commands over the in-process host port) to a new sample
// printer that has started up and runs its main loop; a sequence in the
// application task then prints its planes Y, M and C, and the strobed lines
// are those the picture gives, as in print_plane_test.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "firmware/hostif/usb_command_layer.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/print_job_queue.h"
#include "protocol/codes.h"
#include "protocol/requests.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/host_print.h"
#include "tests/support/machine_test.h"
#include "tests/support/print_plane.h"

namespace {

using hostiftest::Bytes;
using hostiftest::ErrorCodeOf;
using hostiftest::PacketOf;
using testsupport::Ms;
using namespace protocol;

using PrintPlaneHost = testsupport::HostPrintTest;

TEST_F(PrintPlaneHost, AJobSentThroughTheHostPortPrintsThePicturesLines) {
  ASSERT_NO_FATAL_FAILURE(BootWithHostAndMedia());

  // Set-up of a one-sided job, then its picture (size id 7) with its data.
  SetupPrintJobRequest setup{};
  setup.copies = 1;
  setup.unitRequest = SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED;
  setup.cutCount = CUT_COUNT_DEFAULT;
  ASSERT_EQ(ErrorCodeOf(hostiftest::Exchange(Host(), PacketOf(setup))), 0);
  const testsupport::TestImage picture = testsupport::ColourBars(2464, 1208);
  PrintRequest image{};
  image.imageWidth = 2464;
  image.imageHeight = 1208;
  image.mediaMaxWidth = 2464;
  image.mediaMaxHeight = 1208;
  image.imageType = IMAGE_TYPE_COLOUR;
  image.printOptionA = 2;
  ASSERT_EQ(ErrorCodeOf(hostiftest::Exchange(Host(), PacketOf(image))), 0);
  ASSERT_EQ(picture.bytes.size(), PrintDataSize(image));
  ASSERT_EQ(Host().BulkOut(picture.bytes, Ms(60000)).outcome, sim::UsbOutcome::Done);
  m_machine->RunUntil([] { return g_ulBulkRxKind == BULK_RX_NONE; }, Ms(100));
  m_machine->RunFor(Ms(50));

  // Side A on unit L; the side offset the printer's settings give.
  InApp([] {
    PrintJobRecord* pJob = nullptr;
    ASSERT_EQ(g_PrintJobQueue.GetNthActiveJob(1, &pJob), 0);
    ASSERT_EQ(g_PrintJobQueue.BuildPrintOrder(pJob, SIDE_A, UNIT_L, UNIT_L), 0);
  });
  sim::DspCore& dsp = *m_machine->GetBoard().FindDevice<sim::DspCore>();
  for (uint16_t usPlane : {PLANE_Y, PLANE_M, PLANE_C}) {
    SCOPED_TRACE(usPlane);
    const uint32_t ulSession = dsp.PrintSession();
    dsp.ClearLineRuns();
    testsupport::PlaneRun run;
    InApp([&] { run = testsupport::PrintPlaneInApp(usPlane); }, Ms(30000));
    ASSERT_EQ(run.lStart, 0);
    ASSERT_EQ(run.lPlan, 0);
    ASSERT_TRUE(run.bDone);
    ASSERT_FALSE(dsp.LineRuns().empty());
    const int16_t sSideOffset = dsp.LineRuns().back().words.sideOffset;
    testsupport::ExpectPlaneFromPicture(dsp, ulSession, m_machine->PrintRecord(), run, usPlane, picture, sSideOffset);
  }
}

}  // namespace

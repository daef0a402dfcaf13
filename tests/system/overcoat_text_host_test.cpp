// Laminate strings sent as a host sends them (over the in-process host port,
// before the job's picture) to a new sample printer that has started up:
// the DSP derives the overcoat plane of the picture, and the overcoat
// plane's start draws the strings into it. A string placed far along the
// paper, where the plane's bytes would run into the track-correction
// buffers behind it, draws nothing; the one inside the plane is drawn.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "firmware/hostif/usb_command_layer.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/printengine/dsp_image_job.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/printengine/text_overlay_test_support.h"
#include "protocol/codes.h"
#include "protocol/requests.h"
#include "sim/dsp/image_job_rule.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/host_print.h"
#include "tests/support/machine_test.h"
#include "tests/support/print_jobs.h"
#include "tests/support/print_plane.h"

namespace {

using hostiftest::ErrorCodeOf;
using overlaytest::Cell;
using overlaytest::FirstDifference;
using overlaytest::PlaneModel;
using testsupport::Ms;
using namespace protocol;

constexpr uint32_t kWidth = 2464, kHeight = 1208;
constexpr PhysAddr kPlane = 0xC5A00000u;
constexpr uint32_t kTrackBytes = 0x80000;

class OvercoatTextHost : public testsupport::HostPrintTest {
 protected:
  sim::Bus& Bus() { return m_machine->GetBoard().GetBus(); }
  std::vector<uint8_t> Bytes(PhysAddr ulAddr, uint32_t ulBytes) {
    const uint8_t* p = Bus().RamPointer(ulAddr, ulBytes);
    return std::vector<uint8_t>(p, p + ulBytes);
  }
  void SendString(uint8_t ucItem, uint16_t usX, uint16_t usY, uint8_t ucFont, const std::string& text) {
    SetLaminateStringRequest r{};
    r.itemNumber = ucItem;
    r.x = usX;
    r.y = usY;
    r.style1 = ucFont;
    r.style2 = 0;
    r.textLength = static_cast<uint8_t>(text.size());
    std::memcpy(r.text, text.data(), text.size());
    ASSERT_EQ(ErrorCodeOf(hostjobs::Send(Host(), r)), 0);
  }
};

TEST_F(OvercoatTextHost, AStringFarAlongThePaperDrawsNothingAndTheOneInsideIsDrawn) {
  ASSERT_NO_FATAL_FAILURE(BootWithHostAndMedia());

  SendString(1, 100, 9400, 1, "FAR");
  SendString(2, 1000, 500, 1, "Host text");
  SendString(3, 2000, 40000, 2, "FARTHER");
  ASSERT_EQ(ErrorCodeOf(hostjobs::Send(Host(), hostjobs::JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED))), 0);
  const testsupport::TestImage picture = testsupport::GreyRamp(kWidth, kHeight);
  const PrintRequest image = hostjobs::Image(kWidth, kHeight, IMAGE_TYPE_COLOUR, OVERCOAT_MATTE);
  ASSERT_EQ(ErrorCodeOf(hostjobs::Send(Host(), image)), 0);
  ASSERT_EQ(Host().BulkOut(picture.bytes, Ms(60000)).outcome, sim::UsbOutcome::Done);
  m_machine->RunUntil([] { return g_ulBulkRxKind == BULK_RX_NONE; }, Ms(100));
  m_machine->RunFor(Ms(50));

  // The overcoat plane derived from the picture.
  InApp(
      [] {
        PrintJobRecord* pJob = nullptr;
        ASSERT_EQ(g_PrintJobQueue.GetNthActiveJob(1, &pJob), 0);
        ASSERT_EQ(g_PrintJobQueue.BuildPrintOrder(pJob, SIDE_A, UNIT_L, UNIT_L), 0);
        const uint8_t* pucItem = pJob->slotColorA.aucTextItems[0];
        EXPECT_EQ(pucItem[2] | pucItem[3] << 8, 9400) << "the host's y as sent";
        ASSERT_EQ(SetupDspPlaneBuffers(), 0);
        ASSERT_EQ(StartDspImageJob(), 0);
        ASSERT_EQ(WaitDspImageJob(), 0);
      },
      Ms(5000));
  sim::DspCore& dsp = *m_machine->GetBoard().FindDevice<sim::DspCore>();
  ASSERT_EQ(dsp.ImageRuns().size(), 1u);
  const sim::ImageJobWords words = dsp.ImageRuns().front().words;
  std::vector<uint8_t> derived(kWidth * kHeight);
  const sim::image_job::RamReader ram = [this](uint32_t addr, uint32_t bytes) -> const uint8_t* {
    return Bus().RamPointer(addr, bytes);
  };
  for (uint32_t r = 0; r < kHeight; ++r) sim::image_job::ComputeRow(words, r, ram, &derived[r * kWidth]);
  ASSERT_TRUE(Bytes(kPlane, kWidth * kHeight) == derived);

  // The overcoat plane's start draws the strings.
  const std::vector<uint8_t> track = Bytes(TRACK_LINE_BUFFER_BASE, kTrackBytes);
  std::vector<uint8_t> plane, trackAfter;
  testsupport::PlaneRun run;
  InApp(
      [&] {
        run = testsupport::PrintPlaneInApp(PLANE_OVERCOAT, [&] {
          plane = Bytes(kPlane, kWidth * kHeight);
          trackAfter = Bytes(TRACK_LINE_BUFFER_BASE, kTrackBytes);
        });
      },
      Ms(30000));
  ASSERT_EQ(run.lStart, 0);
  ASSERT_EQ(run.lPlan, 0);
  EXPECT_TRUE(trackAfter == track) << "the track-correction buffers";
  PlaneModel model(derived, kWidth, kHeight);
  const std::string text = "Host text";
  for (uint32_t k = 0; k < text.size(); ++k) model.Draw(Cell{1, 1000 + 32 * k, 500, text[k], k + 1 == text.size()});
  EXPECT_TRUE(plane == model.Bytes()) << FirstDifference(plane, model.Bytes(), kWidth);
}

}  // namespace

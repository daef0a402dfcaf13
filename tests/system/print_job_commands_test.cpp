// The host's print-job commands through the in-process host port, on the
// whole firmware of a new sample printer with 8x10 colour ribbons in both
// units: set-up, images with their bulk data, the job's status while it
// receives and once complete, the buffer slots it holds, cancel, the
// refusals that arm nothing and create nothing, the blank fill-in side,
// the image control of a two-sided job, the cut list and text items, the
// exit-tray status of both engine variants, and an image transfer that
// stops half-way.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/control/event_set.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/leds.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/hostif/print_job_handlers.h"
#include "firmware/hostif/usb_command_layer.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/print_job_queue.h"
#include "firmware/service/self_print.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "protocol/requests.h"
#include "protocol/status_record.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/panel/panel.h"
#include "sim/usb/usb_host_port.h"
#include "tests/support/machine_test.h"
#include "tests/support/prepared_paths.h"
#include "tests/support/print_jobs.h"

namespace {

using hostiftest::Bytes;
using hostiftest::ErrorCodeOf;
using hostiftest::PacketOf;
using hostiftest::Reply;
using testsupport::Ms;
using namespace protocol;

constexpr int kOk = 0;
constexpr int kBad = REPLY_ERR_BAD_PARAMETER;
constexpr int kUnitError = REPLY_ERR_UNIT_ERROR;
constexpr int kNoResource = REPLY_ERR_NO_RESOURCE;
constexpr int kJobState = REPLY_ERR_JOB_STATE;
constexpr int kBadLayout = REPLY_ERR_BAD_LAYOUT;
constexpr uint16_t kFull8x10 = 3024;
// An error the printer shows: "Ribbon Mismatch".
constexpr uint32_t kShownError = 0x1605;

using hostjobs::Image;
using hostjobs::JobSetup;

template <class ReplyT>
ReplyT Decoded(const Reply& r) {
  ReplyT out{};
  EXPECT_EQ(DecodeReply(r.data.data(), r.data.size(), &out), WIRE_OK);
  return out;
}

struct JobWords {
  uint32_t ulId;
  uint32_t ulSideA;
  uint32_t ulSideB;
};

class PrintJobCommandsTest : public testsupport::MachineTest {
 protected:
  void SetUp() override { BootPrinter(); }

  void BootPrinter(const testsupport::SamplePrinter& printer = {}) {
    BootNewPrinter({}, printer);
    ASSERT_TRUE(Host().WaitForConfigured(Ms(10000))) << Host().Hub().FailureReason();
    ASSERT_TRUE(hostiftest::WaitForSettledStatus(*m_machine));
    InApp(hostjobs::Use8x10Media);
    testsupport::PrepareJobsAtOnce();
  }

  sim::UsbHostPort& Host() { return m_machine->UsbHost(); }
  void InApp(std::function<void()> step) { ASSERT_TRUE(m_machine->RunStep(std::move(step), Ms(2000))); }

  template <class Request>
  Reply Send(const Request& request) {
    return hostiftest::Exchange(Host(), PacketOf(request));
  }
  Reply SendCode(uint16_t usCode, const Bytes& payload = {}) { return hostiftest::Command(Host(), usCode, payload); }

  // A set-up: its errorCode and the job id.
  std::pair<int, uint8_t> SetUpJob(const SetupPrintJobRequest& request) {
    const Reply r = Send(request);
    return {ErrorCodeOf(r), r.data.empty() ? uint8_t{0} : r.data[0]};
  }

  // A print command and, when accepted, its image data.
  int SendImage(const PrintRequest& request, bool bData = true) { return hostjobs::SendImage(*m_machine, request, bData); }

  JobStatusReply JobStatus(uint8_t ucId, int expected = kOk) {
    const Reply r = SendCode(CMD_GET_JOB_STATUS, {ucId});
    EXPECT_EQ(ErrorCodeOf(r), expected);
    return Decoded<JobStatusReply>(r);
  }

  BufferStatusReply Buffers() { return Decoded<BufferStatusReply>(SendCode(CMD_GET_BUFFER_STATUS)); }

  // The head job's status words as the host reads them (status items 32,
  // 36, 37).
  JobWords HeadJob() {
    StatusRecord record{};
    const Reply r = SendCode(CMD_GET_STATUS);
    EXPECT_EQ(DecodeStatusReply(r.data.data(), r.data.size(), &record), WIRE_OK);
    return {record.jobStatus[0], record.jobStatus[4], record.jobStatus[5]};
  }

  uint32_t ActiveJobs() {
    uint32_t ulCount = 0;
    InApp([&] { g_PrintJobQueue.GetActiveJobCount(&ulCount); });
    return ulCount;
  }

  uint32_t BuffersInUse(uint32_t ulPool) {
    uint32_t ulFree = 0;
    InApp([&] { g_pCurBufSlots[ulPool]->CountFree(&ulFree); });
    return g_pCurBufSlots[ulPool]->Count() - ulFree;
  }
};

// A slot state in a side word: colour in bits 8-11, SP in 12-15.
uint32_t ColourState(uint32_t ulSideWord) { return (ulSideWord >> 8) & 0xFu; }

// ---- The road of a job ------------------------------------------------------------------

TEST_F(PrintJobCommandsTest, ATwoSidedJobIsReceivedCompletedQueuedAndCancelled) {
  SetupPrintJobRequest setup = JobSetup(SLOT_COLOR_A | SLOT_COLOR_B);
  setup.copies = 2;
  const auto [result, ucId] = SetUpJob(setup);
  ASSERT_EQ(result, kOk);
  EXPECT_EQ(ucId, 1);

  // Receiving: both colour pictures expected.
  EXPECT_EQ(ColourState(HeadJob().ulSideA), SLOT_EXPECTED);
  EXPECT_EQ(ColourState(HeadJob().ulSideB), SLOT_EXPECTED);
  JobStatusReply status = JobStatus(ucId);
  EXPECT_EQ(status.jobId, ucId);
  EXPECT_EQ(status.copies, 2);
  EXPECT_EQ(status.receiveState, SLOT_COLOR_A | SLOT_COLOR_B);
  EXPECT_EQ(status.cutCount, 2);
  EXPECT_EQ(status.cutPositions[1], 3012);

  const PrintRequest image = Image(PRINT_WIDTH, kFull8x10);
  ASSERT_EQ(SendImage(image), kOk);
  EXPECT_EQ(ColourState(HeadJob().ulSideA), SLOT_RECEIVED);
  EXPECT_EQ(ColourState(HeadJob().ulSideB), SLOT_EXPECTED);
  ASSERT_EQ(SendImage(image), kOk);
  // Complete: both received, and the job waits in the queue.
  const JobWords complete = HeadJob();
  EXPECT_EQ(complete.ulId, ucId);
  EXPECT_EQ(ColourState(complete.ulSideA), SLOT_RECEIVED);
  EXPECT_EQ(ColourState(complete.ulSideB), SLOT_RECEIVED);
  uint32_t ulReady = 0;
  InApp([&] { g_PrintJobQueue.GetReadyJobCount(&ulReady); });
  EXPECT_EQ(ulReady, 1u);
  EXPECT_EQ(JobStatus(0).jobId, ucId);

  // Two buffers of the colour pool, tagged with the job and the side.
  const BufferStatusReply buffers = Buffers();
  EXPECT_EQ(buffers.entries[0].inUse, 1);
  EXPECT_EQ(buffers.entries[0].firstTag, ucId);
  EXPECT_EQ(buffers.entries[1].inUse, 1);
  EXPECT_EQ(buffers.entries[1].firstTag, ucId);
  EXPECT_EQ(buffers.entries[0].secondTag + buffers.entries[1].secondTag, 3) << "sides A (1) and B (2)";
  EXPECT_EQ(buffers.entries[2].inUse, 0);

  const Reply idStatus = Send(GetPrinterIdStatusRequest{ucId});
  ASSERT_EQ(ErrorCodeOf(idStatus), kOk);
  const PrinterIdStatusReply copies = Decoded<PrinterIdStatusReply>(idStatus);
  EXPECT_EQ(copies.jobId, ucId);
  EXPECT_EQ(copies.copiesLeft, 2);
  EXPECT_EQ(copies.copiesPrinted, 0);
  EXPECT_EQ(copies.copies, 2);
  EXPECT_EQ(copies.jobPhase, JOB_PHASE_NOT_PRINTING);

  // Cancelled by its id: every slot free again.
  EXPECT_EQ(ErrorCodeOf(Send(CancelPrintJobRequest{ucId, 0})), kOk);
  EXPECT_EQ(ActiveJobs(), 0u);
  EXPECT_EQ(BuffersInUse(BUF_POOL_COLOUR), 0u);
  for (const BufferStatusEntry& entry : Buffers().entries) EXPECT_EQ(entry.inUse, 0);
  EXPECT_EQ(ErrorCodeOf(Send(CancelPrintJobRequest{ucId, 0})), kBad) << "no job has the id any more";
}

TEST_F(PrintJobCommandsTest, AOneBitImageArmsItsPackedBytes) {
  ASSERT_EQ(SetUpJob(JobSetup(SLOT_SP_A | SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED)).first, kOk);
  ASSERT_EQ(SendImage(Image(PRINT_WIDTH, kFull8x10)), kOk);
  const PrintRequest sp = Image(PRINT_WIDTH, kFull8x10, IMAGE_TYPE_ONE_BIT);
  ASSERT_EQ(SendImage(sp, false), kOk);
  EXPECT_EQ(g_UsbPrintRequest.ulImageBytes, 931392u);
  EXPECT_EQ(PrintDataSize(sp), 931392u);
  const Bytes data(931392, 0xF0);
  ASSERT_EQ(Host().BulkOut(data, Ms(10000)).outcome, sim::UsbOutcome::Done);
  m_machine->RunFor(Ms(50));
  EXPECT_EQ(BuffersInUse(BUF_POOL_ONE_BIT), 1u);
  EXPECT_EQ((HeadJob().ulSideA >> 12) & 0xFu, SLOT_RECEIVED);
  uint32_t ulReady = 0;
  InApp([&] { g_PrintJobQueue.GetReadyJobCount(&ulReady); });
  EXPECT_EQ(ulReady, 1u);
}

TEST_F(PrintJobCommandsTest, AnImageTransferThatStopsHalfWayCancelsItsJob) {
  const auto [result, ucId] = SetUpJob(JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED));
  ASSERT_EQ(result, kOk);
  const PrintRequest image = Image(1200, 1200);
  ASSERT_EQ(SendImage(image, false), kOk);
  EXPECT_EQ(BuffersInUse(BUF_POOL_COLOUR), 1u);
  const Bytes half(PrintDataSize(image) / 2, 0x11);
  ASSERT_EQ(Host().BulkOut(half, Ms(1000)).outcome, sim::UsbOutcome::Done);
  // The driver's no-progress time.
  m_machine->RunFor(Ms(31000));
  EXPECT_EQ(g_ulBulkRxKind, static_cast<uint32_t>(BULK_RX_NONE));
  EXPECT_EQ(ActiveJobs(), 0u);
  EXPECT_EQ(BuffersInUse(BUF_POOL_COLOUR), 0u);
  JobStatus(ucId + 1, kBad);
  // The next request is served: a new job takes the freed buffers.
  ASSERT_EQ(SetUpJob(JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED)).first, kOk);
  ASSERT_EQ(SendImage(image), kOk);
  EXPECT_EQ(ColourState(HeadJob().ulSideA), SLOT_RECEIVED);
}

// ---- Refusals ------------------------------------------------------------------------------

// Every refused set-up answers its code, creates no job and leaves the next
// set-up free to succeed.
TEST_F(PrintJobCommandsTest, SetUpRefusalsCreateNoJob) {
  struct Case {
    const char* what;
    std::function<void(SetupPrintJobRequest&)> edit;
    std::function<void()> before;  // in the application
    int result;
  };
  auto Cuts = [](std::vector<uint16_t> cuts) {
    return [cuts](SetupPrintJobRequest& r) {
      r.cutCount = static_cast<uint8_t>(cuts.size());
      for (size_t i = 0; i < cuts.size(); ++i) r.cutPositions[i] = cuts[i];
    };
  };
  const Case cases[] = {
      {"print mode 2", [](SetupPrintJobRequest& r) { r.printMode = 2; }, nullptr, kNoResource},
      {"one cut", Cuts({100}), nullptr, kBadLayout},
      {"eleven cuts", [](SetupPrintJobRequest& r) { r.cutCount = 11; }, nullptr, kBadLayout},
      {"first cut at 11", Cuts({11, 1500}), nullptr, kBadLayout},
      {"last cut above 3624", Cuts({12, 3625}), nullptr, kBadLayout},
      {"third cut 30 above the second", Cuts({12, 100, 130}), nullptr, kBadLayout},
      {"cut offset 601", [](SetupPrintJobRequest& r) { r.cutOffset1 = 601; }, nullptr, kBad},
      {"offsets with three cuts", [Cuts](SetupPrintJobRequest& r) {
         Cuts({12, 100, 200})(r);
         r.cutOffset1 = 10;
       }, nullptr, kBad},
      {"offsets with the default cuts", [](SetupPrintJobRequest& r) { r.cutOffset2 = 5; }, nullptr, kBad},
      {"an error shown", nullptr, [] { g_ErrorMng.SetError(kShownError); }, kUnitError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.before) InApp(c.before);
    SetupPrintJobRequest request = JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED);
    if (c.edit) c.edit(request);
    const Reply r = Send(request);
    EXPECT_EQ(ErrorCodeOf(r), c.result);
    EXPECT_EQ(r.data, Bytes(4, 0));
    EXPECT_EQ(ActiveJobs(), 0u);
    EXPECT_EQ(g_ulJobSetupPending, 0u);
    if (c.before) InApp([] { g_ErrorMng.ClearError(kShownError); });
  }
  // Accepted with cuts 12 and 48, then a second set-up while it receives.
  SetupPrintJobRequest good = JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED);
  Cuts({12, 48})(good);
  ASSERT_EQ(SetUpJob(good).first, kOk);
  EXPECT_EQ(SetUpJob(good).first, kNoResource) << "a job is still receiving";
  EXPECT_EQ(ActiveJobs(), 1u);
}

TEST_F(PrintJobCommandsTest, AFullColourPoolRefusesTheSetUp) {
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(SetUpJob(JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED)).first, kOk);
    ASSERT_EQ(SendImage(Image(1200, 1200)), kOk);
  }
  EXPECT_EQ(SetUpJob(JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED)).first, kNoResource);
  EXPECT_EQ(ActiveJobs(), 3u);
}

// Every refused image arms nothing, takes no buffer and attaches nothing.
TEST_F(PrintJobCommandsTest, PrintRefusalsArmNothing) {
  struct Case {
    const char* what;
    PrintRequest image;
    std::function<void()> before;
    int result;
    bool bJob = true;
    std::vector<uint16_t> cuts = {};
  };
  auto With = [](PrintRequest r, const std::function<void(PrintRequest&)>& edit) {
    edit(r);
    return r;
  };
  const PrintRequest base = Image(PRINT_WIDTH, kFull8x10);
  const Case cases[] = {
      {"width 1199", With(base, [](PrintRequest& r) { r.imageWidth = r.mediaMaxWidth = 1199; }), nullptr, kBad},
      {"height 3025 on 8x10", With(base, [](PrintRequest& r) { r.imageHeight = r.mediaMaxHeight = 3025; }), nullptr,
       kBad},
      {"height 3100 on 8x10", With(base, [](PrintRequest& r) { r.imageHeight = 3100; }), nullptr, kBad},
      {"media maximum width 2465", With(base, [](PrintRequest& r) { r.mediaMaxWidth = 2465; }), nullptr, kBad},
      {"the media maximum too small for the offset",
       With(base, [](PrintRequest& r) { r.imageWidth = 2400, r.xOffset = 66; }), nullptr, kBad},
      {"y offset past the media", With(Image(1200, 1200), [](PrintRequest& r) { r.yOffset = 1; }), nullptr, kBad},
      {"last cut below the media height less 19", Image(1200, 1800), nullptr, kBad, true, {12, 1500}},
      {"image type 2", With(base, [](PrintRequest& r) { r.imageType = 2; }), nullptr, kBad},
      {"no receiving job", base, nullptr, kBad, false},
      {"an error shown", base, [] { g_ErrorMng.SetError(kShownError); }, kUnitError},
      {"a one-bit image where a colour one is due", Image(PRINT_WIDTH, kFull8x10, IMAGE_TYPE_ONE_BIT), nullptr, kBad},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.bJob) {
      SetupPrintJobRequest setup = JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED);
      if (!c.cuts.empty()) {
        setup.cutCount = static_cast<uint8_t>(c.cuts.size());
        for (size_t i = 0; i < c.cuts.size(); ++i) setup.cutPositions[i] = c.cuts[i];
      }
      ASSERT_EQ(SetUpJob(setup).first, kOk);
    }
    if (c.before) InApp(c.before);
    EXPECT_EQ(SendImage(c.image, false), c.result);
    EXPECT_EQ(g_ulBulkRxKind, static_cast<uint32_t>(BULK_RX_NONE));
    EXPECT_EQ(BuffersInUse(BUF_POOL_COLOUR), 0u);
    EXPECT_EQ(BuffersInUse(BUF_POOL_ONE_BIT), 0u);
    InApp([] {
      g_ErrorMng.ClearError(kShownError);
      PrintJobRecord* pJob = nullptr;
      g_PrintJobQueue.GetJob(PRINT_JOB_LIST_RECEIVING, &pJob);
      if (pJob != nullptr) {
        EXPECT_EQ(pJob->ucReceivedMask, 0u);
      }
      g_PrintJobQueue.CancelJobs(0, 0);
    });
  }
}

TEST_F(PrintJobCommandsTest, TheLastCutIsCheckedOnTheFirstImageOnly) {
  SetupPrintJobRequest setup = JobSetup(SLOT_COLOR_A | SLOT_COLOR_B);
  setup.cutCount = 2;
  setup.cutPositions[0] = 12;
  setup.cutPositions[1] = 1781;
  ASSERT_EQ(SetUpJob(setup).first, kOk);
  ASSERT_EQ(SendImage(Image(1200, 1800)), kOk) << "1781 is the media height less 19";
  // The second image is not compared with the cut list.
  setup.cutPositions[1] = 1500;
  EXPECT_EQ(SendImage(Image(1200, 1800)), kOk);
}

// ---- The blank fill-in side -------------------------------------------------------------

TEST_F(PrintJobCommandsTest, TheFillInIsAttachedBeforeOrAfterTheColourImageByTheFirstSide) {
  struct Case {
    const char* what;
    uint8_t ucFirstSide;
    uint32_t ulFillInAttachedAtAccept;  // the fill-in's side word before the data
  };
  const Case cases[] = {
      {"side B (the fill-in) printed first: attached before the image", 2, SLOT_RECEIVED},
      {"side A printed first: attached once the colour image is in", 1, SLOT_EXPECTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    InApp([] { g_pSelfPrintY = g_pSelfPrintM = g_pSelfPrintC = nullptr; });
    ASSERT_EQ(SetUpJob(JobSetup(SLOT_COLOR_A, c.ucFirstSide)).first, kOk);
    const PrintRequest image = Image(1200, 1200);
    ASSERT_EQ(SendImage(image, false), kOk);
    // Read while the data phase runs: side B's word of the head job.
    EXPECT_EQ(ColourState(GetStatusItem(SI_JOB_STATUS_0 + 5)), c.ulFillInAttachedAtAccept);
    ASSERT_EQ(Host().BulkOut(Bytes(PrintDataSize(image), 0x22), Ms(10000)).outcome, sim::UsbOutcome::Done);
    m_machine->RunFor(Ms(50));
    const JobWords words = HeadJob();
    EXPECT_EQ(ColourState(words.ulSideA), SLOT_RECEIVED);
    EXPECT_EQ(ColourState(words.ulSideB), SLOT_RECEIVED);
    EXPECT_EQ(g_pSelfPrintY, &g_SelfPrintGrayY);
    EXPECT_EQ(g_pSelfPrintC, &g_SelfPrintGrayC);
    // One buffer: the fill-in takes none.
    EXPECT_EQ(BuffersInUse(BUF_POOL_COLOUR), 1u);
    uint32_t ulReady = 0;
    InApp([&] { g_PrintJobQueue.GetReadyJobCount(&ulReady); });
    EXPECT_EQ(ulReady, 1u);
    InApp([] { g_PrintJobQueue.CancelJobs(0, 0); });
  }
}

// ---- Job status, printer-ID status and image control -------------------------------------

TEST_F(PrintJobCommandsTest, AnUnknownIdIsAnsweredAsSuchUnderItsId) {
  SetupPrintJobRequest setup = JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED);
  setup.copies = 3;
  const uint8_t ucId = SetUpJob(setup).second;
  ASSERT_EQ(ErrorCodeOf(Send(GetPrinterIdStatusRequest{ucId})), kOk);

  const JobStatusReply status = JobStatus(77, kBad);
  EXPECT_EQ(status.jobId, 0) << "an error reply carries no data";
  // The printer-ID status of an unknown id does not hand on the copies of
  // the job asked for before.
  const Reply unknown = Send(GetPrinterIdStatusRequest{77});
  EXPECT_EQ(ErrorCodeOf(unknown), kBad);
  EXPECT_EQ(unknown.data, Bytes(PrinterIdStatusReply::kSize, 0));
  PrinterIdStatusBlock* pBlock = nullptr;
  usb_comm_get_printer_id_status_block(&pBlock);
  EXPECT_EQ(pBlock->ucJobId, 77);
  EXPECT_EQ(pBlock->usCopies, 0);
  EXPECT_EQ(pBlock->usCopiesLeft, 0);
  EXPECT_EQ(pBlock->usPrintPhase, JOB_PHASE_NOT_PRINTING);
  EXPECT_EQ(Decoded<PrinterIdStatusReply>(Send(GetPrinterIdStatusRequest{ucId})).copies, 3);
}

TEST_F(PrintJobCommandsTest, JobImageControlEndsATwoSidedJobWithOneImage) {
  // Refused without a receiving job, and before the first colour image.
  EXPECT_EQ(ErrorCodeOf(Send(JobImageControlRequest{1})), kJobState);
  ASSERT_EQ(SetUpJob(JobSetup(SLOT_COLOR_A | SLOT_COLOR_B, 1)).first, kOk);
  EXPECT_EQ(ErrorCodeOf(Send(JobImageControlRequest{1})), kJobState);
  ASSERT_EQ(SendImage(Image(1200, 1200)), kOk);

  // Control 1: the missing side B becomes a blank fill-in.
  ASSERT_EQ(ErrorCodeOf(Send(JobImageControlRequest{1})), kOk);
  JobWords words = HeadJob();
  EXPECT_EQ(ColourState(words.ulSideB), SLOT_RECEIVED);
  EXPECT_EQ(JobStatus(0).receiveState, SLOT_COLOR_A | SLOT_COLOR_B);
  EXPECT_EQ(ErrorCodeOf(Send(JobImageControlRequest{1})), kJobState) << "no job receives any more";
  InApp([] { g_PrintJobQueue.CancelJobs(0, 0); });

  // Any other control: side B is dropped, the job prints side A on one unit.
  const uint8_t ucId = SetUpJob(JobSetup(SLOT_COLOR_A | SLOT_COLOR_B, 1)).second;
  ASSERT_EQ(SendImage(Image(1200, 1200)), kOk);
  ASSERT_EQ(ErrorCodeOf(Send(JobImageControlRequest{0})), kOk);
  EXPECT_EQ(JobStatus(ucId).receiveState, SLOT_COLOR_A);
  words = HeadJob();
  EXPECT_EQ(ColourState(words.ulSideB), SLOT_UNUSED);
  EXPECT_EQ((words.ulSideB >> 4) & 0xFu, 0u) << "side B has no unit";
  uint32_t ulReady = 0;
  InApp([&] { g_PrintJobQueue.GetReadyJobCount(&ulReady); });
  EXPECT_EQ(ulReady, 1u);
}

// ---- Cut list and text items --------------------------------------------------------------

TEST_F(PrintJobCommandsTest, LaminateItemsAndTheCutListWaitForTheNextImage) {
  struct Case {
    uint8_t ucItem;
    uint8_t ucLength;
    int result;
  };
  const Case cases[] = {{0, 5, kBad}, {1, 25, kOk}, {12, 3, kOk}, {13, 5, kBad}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ucItem);
    SetLaminateStringRequest r{};
    r.itemNumber = c.ucItem;
    r.x = 0x0102;
    r.y = 0x0304;
    r.style1 = 5;
    r.style2 = 6;
    r.textLength = c.ucLength;
    for (char& ch : r.text) ch = 'T';
    EXPECT_EQ(ErrorCodeOf(Send(r)), c.result);
  }
  EXPECT_EQ(Bytes(g_LamiTextItems[0], g_LamiTextItems[0] + 8), (Bytes{2, 1, 4, 3, 5, 6, 20, 'T'}));
  EXPECT_EQ(g_LamiTextItems[0][7 + 19], 'T');
  EXPECT_EQ(g_LamiTextItems[0][7 + 20], 0) << "20 characters at most";
  EXPECT_EQ(g_LamiTextItems[11][6], 3);
  EXPECT_EQ(g_LamiTextItems[11][7 + 3], 0);

  EXPECT_EQ(ErrorCodeOf(Send(SetCutListRequest{{100, 200, 300, 400}})), kOk);
  EXPECT_EQ(g_usCutList[3], 400);
  // The next host image takes both and clears them.
  ASSERT_EQ(SetUpJob(JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED)).first, kOk);
  ASSERT_EQ(SendImage(Image(1200, 1200)), kOk);
  InApp([] {
    PrintJobRecord* pJob = nullptr;
    g_PrintJobQueue.GetJob(PRINT_JOB_LIST_ACTIVE, &pJob);
    ASSERT_NE(pJob, nullptr);
    EXPECT_EQ(pJob->slotColorA.ausCutList[2], 300);
    EXPECT_EQ(pJob->slotColorA.aucTextItems[11][6], 3);
  });
  EXPECT_EQ(g_usCutList[0], 0);
  EXPECT_EQ(g_LamiTextItems[0][6], 0);
}

// ---- Multi-up ----------------------------------------------------------------------------

TEST_F(PrintJobCommandsTest, MultiUpImagesAreFoundByExactSize) {
  SetupPrintJobRequest setup = JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED);
  setup.printMode = protocol::PRINT_MODE_MULTI_UP;
  ASSERT_EQ(SetUpJob(setup).first, kOk);
  EXPECT_EQ(SendImage(Image(PRINT_WIDTH, 2400), false), kBad) << "no size of 2400 lines";
  ASSERT_EQ(SendImage(Image(PRINT_WIDTH, 1208)), kOk);
  // Size id 7 takes two small buffers, and its cuts are the size's.
  EXPECT_EQ(BuffersInUse(BUF_POOL_COLOUR), 2u);
  const JobStatusReply status = JobStatus(0);
  EXPECT_EQ(status.cutCount, 2);
  EXPECT_EQ(status.cutPositions[0], 19);
  EXPECT_EQ(status.cutPositions[1], 1189);
}

TEST_F(PrintJobCommandsTest, ARefusalForWantOfRoomRestartsTheMergeWait) {
  SetupPrintJobRequest setup = JobSetup(SLOT_COLOR_A | IMAGE_MASK_ONE_SIDED);
  setup.printMode = protocol::PRINT_MODE_MULTI_UP;
  ASSERT_EQ(SetUpJob(setup).first, kOk);
  ASSERT_EQ(SendImage(Image(PRINT_WIDTH, 1208)), kOk);
  uint32_t ulCompleted = 0;
  auto LastJobTick = [this] {
    uint32_t ulTick = 0;
    InApp([&] {
      PrintJobRecord* pLast = nullptr;
      g_PrintJobQueue.GetLastJob(PRINT_JOB_LIST_ACTIVE, &pLast);
      ulTick = pLast->ulCompletionTick;
    });
    return ulTick;
  };
  ulCompleted = LastJobTick();
  // Other holders take every other small buffer.
  InApp([] {
    int32_t lIndex = 0;
    uint32_t ulOffset = 0;
    while (g_pCurBufSlots[BUF_POOL_COLOUR]->Allocate(BUF_TYPE_PRINT, 1, 0x99, 1, &lIndex, &ulOffset) == 0) {
    }
  });
  m_machine->RunFor(Ms(200));
  EXPECT_EQ(SetUpJob(setup).first, kNoResource);
  EXPECT_GE(LastJobTick() - ulCompleted, 200000u) << "the wait starts again";
  EXPECT_EQ(ActiveJobs(), 1u);
}

// ---- Exit tray ---------------------------------------------------------------------------

class ExitTrayTest : public PrintJobCommandsTest {
 protected:
  void SetUp() override {}
  // Drives the exit-tray sensor (IN2 bit 12, low with a tray in) and the
  // exit-print sensor (bit 13, high with a sheet).
  void SetSensors(bool bTray, bool bPrint) {
    m_bTray = bTray;
    m_bPrint = bPrint;
  }
  void WireSensors() {
    sim::FpgaMainBlock& fpga = *m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>();
    fpga.SetInputBit(2, 0x1000, [this] { return !m_bTray; });
    fpga.SetInputBit(2, 0x2000, [this] { return m_bPrint; });
  }
  bool m_bTray = false;
  bool m_bPrint = false;
};

TEST_F(ExitTrayTest, EM3AnswersAfterTheSensorsSettledWithTheirTrayState) {
  BootPrinter();
  WireSensors();
  struct Case {
    bool bTray;
    bool bPrint;
    uint8_t ucState;
  };
  const Case cases[] = {{false, true, EXIT_TRAY_NONE}, {true, false, EXIT_TRAY_EMPTY}, {true, true, EXIT_TRAY_WITH_PRINT}};
  for (const Case& c : cases) {
    SetSensors(c.bTray, c.bPrint);
    const sim::Nanos sent = m_machine->Now();
    const Reply r = SendCode(CMD_GET_EXIT_TRAY_STATUS);
    ASSERT_EQ(ErrorCodeOf(r), kOk);
    EXPECT_EQ(Decoded<ExitTrayStatusReply>(r).trayState, c.ucState);
    EXPECT_GE(m_machine->Now() - sent, Ms(100));
    EXPECT_FALSE(m_machine->GetBoard().FindDevice<sim::PanelLeds>()->IsOn(sim::PanelLed::Exit)) << "the Exit LED is off again";
  }
}

TEST_F(ExitTrayTest, EM2AnswersNoTrayAtOnce) {
  testsupport::SamplePrinter printer;
  printer.engineVersion = 1;
  BootPrinter(printer);
  WireSensors();
  SetSensors(true, true);
  const sim::Nanos sent = m_machine->Now();
  const Reply r = SendCode(CMD_GET_EXIT_TRAY_STATUS);
  ASSERT_EQ(ErrorCodeOf(r), kOk);
  EXPECT_EQ(Decoded<ExitTrayStatusReply>(r).trayState, EXIT_TRAY_NONE);
  EXPECT_LT(m_machine->Now() - sent, Ms(100));
}

}  // namespace

// The library's print path against printer-sim processes on a bus directory
// of the test's own, each provisioned as the sample printer leaves the
// factory and ready with printer-sim's default media (8x10, 2464 x 3024).
// The test links the library's objects, since the print path is not
// exported, and sits beside the real BOM7300UsbCtrl and BOM7300ColorMatch.
//
// It runs on the replaceable clock, held still while the printers answer,
// so no library time-out runs out however slowly a loaded machine lets a
// printer work; waits for the printer's own progress are bounded in real
// time.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <win32_ext.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bom7300upgrade.h"
#include "host_result_codes.h"
#include "image_entries.h"
#include "library_frame.h"
#include "print_entries.h"
#include "printer_session.h"
#include "protocol/headers.h"
#include "protocol/replies.h"
#include "protocol/wire.h"
#include "tests/e2e/clock_hold.h"
#include "tests/e2e/forked_helper.h"
#include "tests/e2e/printer_sim_bus.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace hostlib;

constexpr char kSerial[] = "PRNT0001";
// Ready, with printer-sim's default media: colour 8x10 ribbons in both units.
constexpr char kReadyLine[] = "[lcd] |8x10 YMC-YMC    |";
constexpr uint16_t kMediaWidth = 2464;
constexpr uint16_t kMediaHeight = 3024;
// The smallest image of the 8x10 print size, for jobs whose content does
// not matter.
constexpr uint16_t kSmallSide = 1200;
constexpr uint8_t kColourL = 1;
constexpr uint8_t kColourR = 2;
constexpr uint8_t kOneBitL = 1;
// The printer's image memory as universal 224 reads it: the download area,
// whose colour pool holds three buffers in print mode 0.
constexpr uint32_t kDownloadArea = 0xC0800000u;
constexpr uint32_t kColourBufferBytes = 0x1A00000u;
constexpr uint8_t kMemoryReadBytes = 64;
// The answer: its count, the sub-code, the result, the six bytes of the
// request after the sub-code, then the memory.
constexpr size_t kMemoryReplyHead = 9;
// What the printer shows while it applies the uploads.
constexpr char kLaminateLine[] = "[lcd] |Loading L 8x12  |";
constexpr char kToneResetLine[] = "[lcd] |ToneCurve reset |";
// The tone-curve source a read names for the printer's RAM curves.
constexpr uint16_t kToneCurveRam = 2;
constexpr int32_t kCross[kFilterTaps] = {0, -10, 0, -10, 140, -10, 0, -10, 0};

// Expects a step of the print path to succeed with code 0.
#define EXPECT_STEP(call)                    \
  do {                                       \
    uint16_t stepErr = 0xFFFF;               \
    EXPECT_EQ(call(&stepErr), 1) << #call;   \
    EXPECT_EQ(stepErr, RESULT_OK) << #call;  \
  } while (0)

struct JobStatus {
  bool ok = false;
  uint16_t jobId = 0;
  uint16_t copies = 0;
  uint8_t colour = 0;  // the job's colour images, by unit
  uint8_t oneBit = 0;
};

JobStatus ReadJobStatus() {
  JobStatus s;
  uint16_t a = 0, b = 0, err = 0xFFFF;
  uint8_t data[kJobStatusDataBytes] = {};
  s.ok = EntryGetJobStatus(&s.jobId, &s.copies, &s.colour, &s.oneBit, &a, &b, data, &err) == 1 && err == RESULT_OK;
  return s;
}

// Whether the job printing next still expects images, from the unit
// status; false when it cannot be read or another job is next.
bool Complete(uint16_t jobId) {
  uint8_t unitStatus[28] = {};
  uint32_t size = sizeof unitStatus;
  return kt_getPrinterInfo(PINFTAG_UNITSTATUS, unitStatus, &size) == 1 &&
         unitStatus[kUnitStatusJobAt] == JobNumber(jobId) && UnitStatusJobComplete(unitStatus);
}

struct IdStatus {
  bool ok = false;
  uint16_t values[kPrinterIdValues] = {};
};

IdStatus ReadIdStatus(uint16_t jobId) {
  IdStatus s;
  uint16_t err = 0xFFFF;
  s.ok = EntryGetPrinterIdStatus(jobId, s.values, &err) == 1 && err == RESULT_OK;
  return s;
}

// CMD_GET_BUFFER_STATUS as a raw command; all entries 0 on failure.
protocol::BufferStatusReply Buffers() {
  protocol::BufferStatusReply buffers{};
  uint8_t packet[protocol::COMMAND_HEADER_SIZE] = {};
  const int32_t length =
      protocol::EncodeCommandPacket(protocol::CMD_GET_BUFFER_STATUS, nullptr, 0, packet, sizeof packet);
  uint8_t reply[KT_RAW_REPLY_SIZE] = {};
  uint32_t replyLength = 0;
  uint16_t err = 0xFFFF;
  protocol::ReplyFrame frame{};
  EXPECT_EQ(kt_SendCommand(packet, length, reply, &replyLength, &err), 1) << err;
  EXPECT_EQ(protocol::DecodeReplyFrame(reply, replyLength, &frame), protocol::WIRE_OK);
  EXPECT_EQ(protocol::DecodeReply(frame.data, frame.dataLength, &buffers), protocol::WIRE_OK);
  return buffers;
}

int BuffersInUse() {
  const protocol::BufferStatusReply buffers = Buffers();
  return static_cast<int>(std::count_if(std::begin(buffers.entries), std::end(buffers.entries),
                                        [](const protocol::BufferStatusEntry &e) { return e.inUse != 0; }));
}

// 64 bytes of the printer's memory at `address`, read byte by byte with
// universal sub-code 224.
Bytes ReadMemory(uint32_t address) {
  const uint8_t request[] = {7,
                             protocol::UNIVERSAL_READ_MEMORY,
                             static_cast<uint8_t>(address),
                             static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address >> 16),
                             static_cast<uint8_t>(address >> 24),
                             0,
                             kMemoryReadBytes};
  uint8_t reply[KT_RAW_REPLY_SIZE] = {};
  uint8_t count = 0;
  uint16_t err = 0xFFFF;
  if (kt_universal_command(request, sizeof request, reply, &count, &err) != 1 ||
      count != kMemoryReplyHead + kMemoryReadBytes) {
    ADD_FAILURE() << "universal 224 at 0x" << std::hex << address << ": " << std::dec << err << ", " << int{count};
    return {};
  }
  return Bytes(reply + kMemoryReplyHead, reply + count);
}

// PINFTAG_MEDIA: the media size of the next print.
int SetMedia(uint16_t width, uint16_t height, uint16_t *err) {
  uint8_t request[10] = {0, static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                         static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8)};
  uint32_t size = sizeof request;
  return kt_setPrinterInfo(PINFTAG_MEDIA, request, &size, err);
}

// A page of RGB rows: red across, green down, blue a diagonal and a
// pattern of single-pixel dots, so the filter has edges to work on.
Bytes RgbPage(uint16_t width, uint16_t height) {
  Bytes page(static_cast<size_t>(width) * height * 3);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t *p = &page[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(x * 255u / (width - 1u));
      p[1] = static_cast<uint8_t>(y * 255u / (height - 1u));
      p[2] = (x * 7 + y * 13) % 97 == 0 ? 0 : static_cast<uint8_t>(x + y);
    }
  }
  return page;
}

// Sends `data` with SendPrintData in pieces of the given row counts, in
// turn; true when every piece was taken.
bool SendInPieces(const Bytes &data, uint32_t rowBytes, const std::vector<uint32_t> &rowCounts) {
  size_t at = 0;
  for (size_t i = 0; at < data.size(); ++i) {
    uint32_t length = static_cast<uint32_t>(
        std::min<size_t>(data.size() - at, static_cast<size_t>(rowCounts[i % rowCounts.size()]) * rowBytes));
    uint16_t err = 0xFFFF;
    if (EntrySendPrintData(data.data() + at, &length, &err) != 1 || err != RESULT_OK) {
      ADD_FAILURE() << "send at byte " << at << ": " << err;
      return false;
    }
    at += length;
  }
  return true;
}

int KeepBytes(void *context, const uint8_t *data, uint32_t *length, uint16_t *err) {
  auto *kept = static_cast<Bytes *>(context);
  kept->insert(kept->end(), data, data + *length);
  *err = RESULT_OK;
  return 1;
}

// The bytes the session's pipeline makes of `image` with the settings of
// the job just sent, kept in memory instead of sent.
Bytes PipelineOutput(const Bytes &image) {
  PrinterSession &session = *CallerSession();
  Bytes out;
  session.Pipeline().SetSink(&KeepBytes, &out);
  session.BeginImageData();
  session.Pipeline().ChooseMode(&session.Image().firstSetActive, &session.Image().secondSetActive);
  uint32_t length = static_cast<uint32_t>(image.size());
  uint16_t err = 0xFFFF;
  EXPECT_EQ(session.SendImageStrips(image.data(), &length, &err), 1) << err;
  session.Pipeline().SetSink(nullptr, nullptr);
  return out;
}

std::string ReadText(const std::string &path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

size_t CountOf(const std::string &text, const std::string &line) {
  size_t count = 0;
  for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
  return count;
}

// A second host process with the library to itself, forked before this
// process starts any thread or replaces its clock. Told 'o', it opens the
// library and selects the printer; told 's', it asks kt_status; each time
// it writes back the result code. It ends when its pipe closes.
class SecondProcess {
 public:
  explicit SecondProcess(const char *serial)
      : m_helper([serial](int in, int out) {
          Serve(serial, in, out);
          return 0;
        }) {}

  // The code of the request, or 0xFFFF when no answer came in time.
  uint16_t Ask(char request) {
    uint16_t code = 0xFFFF;
    struct pollfd answer = {m_helper.FromChild(), POLLIN, 0};
    if (!m_helper.Started() || write(m_helper.ToChild(), &request, 1) != 1 ||
        poll(&answer, 1, e2e::kNoticeLimitMs) != 1 || read(m_helper.FromChild(), &code, sizeof code) != sizeof code) {
      return 0xFFFF;
    }
    return code;
  }

 private:
  static void Serve(const char *serial, int in, int out) {
    char request = 0;
    while (read(in, &request, 1) == 1) {
      uint16_t err = 0xFFFF;
      if (request == 'o') {
        char list[KT_SERIAL_LIST_SIZE];
        if (kt_open(&err) == 1) {
          kt_listupPrinterSN(list);
          kt_selectPrinterSN(serial, &err);
        }
      } else {
        kt_status(&err);
      }
      if (write(out, &err, sizeof err) != sizeof err) break;
    }
    kt_close();
  }

  e2e::ForkedHelper m_helper;
};

class LibraryPrintPath : public e2e::PrinterSimBusTest {
 protected:
  void SetUp() override {
    e2e::PrinterSimBusTest::SetUp();
    BeforeClock();
    ASSERT_TRUE(W32X_UseVirtualClock(nullptr));
  }
  // What a case must start while the process has no thread and its clock.
  virtual void BeforeClock() {}
  void TearDown() override {
    m_hold.reset();
    kt_close();
    EXPECT_TRUE(W32X_UseRealClock());
    if (m_printer) m_printer->Stop(SIGTERM);
    if (!HasFailure()) std::filesystem::remove_all(m_dir);
  }

  // A printer that has reached `readyLine`, selected in the library.
  void StartReadyPrinter(const std::vector<std::string> &options = {}, const char *readyLine = kReadyLine) {
    m_printer = StartPrinter("p", kSerial, options);
    ASSERT_TRUE(WaitForPorts({PortOf("p")})) << m_printer->Log();
    ASSERT_TRUE(WaitForLog(readyLine, 1)) << m_printer->Log();
    m_hold = std::make_unique<e2e::ClockHold>();
    ASSERT_TRUE(m_hold->Holding());
    uint16_t err = 0xFFFF;
    ASSERT_EQ(kt_open(&err), 1) << err;
    ASSERT_NE(kt_selectPrinterSN(kSerial, &err), nullptr);
    ASSERT_EQ(err, RESULT_OK);
  }

  bool WaitForLog(const std::string &line, size_t count) {
    return e2e::PollUntil([&] { return CountOf(m_printer->Log(), line) >= count; }, e2e::kBootLimitMs);
  }

  // A job of one colour image of `width` x `height` on media of that size.
  uint16_t SetUpJob(uint16_t type, uint16_t width, uint16_t height, uint8_t oneBitFlags = 0) {
    uint16_t jobId = 0xFFFF;
    uint8_t unit1[2] = {}, unit2[2] = {}, extra = 0;
    EXPECT_STEP(EntryResetJobFields);
    EXPECT_STEP([&](uint16_t *e) { return SetMedia(width, height, e); });
    EXPECT_STEP([&](uint16_t *e) { return EntrySetImageFormat(type, 3, 8, width, height, 0, 0, e); });
    EXPECT_STEP([&](uint16_t *e) {
      return EntrySetupPrintJob(&jobId, unit1, unit2, &extra, 1, kColourL, oneBitFlags, 0, 0, nullptr, e);
    });
    EXPECT_EQ(JobDevice(jobId), CallerSession()->SelectedDevice());
    return jobId;
  }

  bool JobComplete(uint16_t jobId) {
    return e2e::PollUntil([jobId] { return Complete(jobId); }, e2e::kNoticeLimitMs);
  }

  std::unique_ptr<e2e::ChildProcess> m_printer;
  std::unique_ptr<e2e::ClockHold> m_hold;
};

// A page of the media's size through colour matching and the cross
// filter, in sends of 1, 7 and 100 rows: the job goes from receiving to
// complete, and the printer's image buffer holds the pipeline's output.
TEST_F(LibraryPrintPath, AnRgbPageReachesTheImageBufferAsThePipelineMadeIt) {
  ASSERT_NO_FATAL_FAILURE(StartReadyPrinter());
  const std::string source = std::string(BOM_TEST_PROFILE_DIR) + "/srgb.icc";
  const std::string dest = std::string(BOM_TEST_PROFILE_DIR) + "/printer_rgb.icc";
  const uint16_t jobId = SetUpJob(kImageTypeRgb, kMediaWidth, kMediaHeight);
  const uint8_t *const tables[kLutCount] = {};
  EXPECT_STEP([&](uint16_t *e) { return EntrySetColorProfiles(source.c_str(), dest.c_str(), 0, tables, e); });
  EntrySetFilter(kCross);

  // The job expects its colour image on unit L, and the blank fill-in side
  // the printer adds on R.
  const JobStatus receiving = ReadJobStatus();
  EXPECT_TRUE(receiving.ok);
  EXPECT_EQ(receiving.jobId, jobId) << "the job printing next";
  EXPECT_EQ(receiving.copies, 1);
  EXPECT_EQ(receiving.colour, kColourL | kColourR);
  EXPECT_EQ(receiving.oneBit, 0);
  EXPECT_FALSE(Complete(jobId));
  const IdStatus idReceiving = ReadIdStatus(jobId);
  EXPECT_TRUE(idReceiving.ok);
  EXPECT_EQ(idReceiving.values[2], 1) << "copies";
  EXPECT_EQ(idReceiving.values[3], RESULT_NO_PRINT_STATE);

  const Bytes page = RgbPage(kMediaWidth, kMediaHeight);
  const uint32_t rowBytes = 3u * kMediaWidth;
  EXPECT_STEP([&](uint16_t *e) { return EntryStartPrint(jobId, 0, e); });
  EXPECT_EQ(CallerSession()->Pipeline().Mode(), kModeFilter);
  EXPECT_TRUE(SendInPieces(page, rowBytes, {1, 7, 100}));
  EXPECT_STEP(EntryEndPrintData);

  ASSERT_TRUE(JobComplete(jobId));
  const JobStatus complete = ReadJobStatus();
  EXPECT_TRUE(complete.ok);
  EXPECT_EQ(complete.jobId, jobId);
  const IdStatus idComplete = ReadIdStatus(jobId);
  EXPECT_TRUE(idComplete.ok);
  EXPECT_EQ(idComplete.values[0], 1) << "copies left";
  EXPECT_EQ(idComplete.values[3], RESULT_NO_PRINT_STATE) << "waiting in the queue, not printing";

  // The buffer that holds the job's image.
  const protocol::BufferStatusReply buffers = Buffers();
  int slot = -1;
  for (int i = 0; i < protocol::BUFFER_STATUS_ENTRIES; ++i) {
    if (buffers.entries[i].inUse != 0 && buffers.entries[i].firstTag == JobNumber(jobId)) slot = i;
  }
  ASSERT_GE(slot, 0);
  const uint32_t image = kDownloadArea + static_cast<uint32_t>(slot) * kColourBufferBytes;

  const Bytes expected = PipelineOutput(page);
  ASSERT_EQ(expected.size(), page.size());
  EXPECT_NE(expected, page) << "the pipeline changed the page";
  for (const uint32_t row : {0u, kMediaHeight / 2u, kMediaHeight - 1u}) {
    for (const uint32_t at : {0u, rowBytes / 2u, rowBytes - kMemoryReadBytes}) {
      SCOPED_TRACE(::testing::Message() << "row " << row << " byte " << at);
      const size_t offset = static_cast<size_t>(row) * rowBytes + at;
      const Bytes held = ReadMemory(image + static_cast<uint32_t>(offset));
      EXPECT_EQ(held, Bytes(expected.begin() + static_cast<std::ptrdiff_t>(offset),
                            expected.begin() + static_cast<std::ptrdiff_t>(offset + kMemoryReadBytes)));
    }
  }
}

// A job of a BGR colour image and a one-bit image of ceil(w / 8) x h
// bytes; cancelled by its id, it gives back every buffer.
TEST_F(LibraryPrintPath, ATwoSidedJobCancelledByItsIdFreesEveryBuffer) {
  ASSERT_NO_FATAL_FAILURE(StartReadyPrinter());
  const uint16_t jobId = SetUpJob(kImageTypeBgr, kSmallSide, kSmallSide, kOneBitL);
  const JobStatus receiving = ReadJobStatus();
  EXPECT_EQ(receiving.colour, kColourL | kColourR) << "the fill-in side on R";
  EXPECT_EQ(receiving.oneBit, kOneBitL);

  const Bytes colour = RgbPage(kSmallSide, kSmallSide);
  EXPECT_STEP([&](uint16_t *e) { return EntryStartPrint(jobId, 0, e); });
  EXPECT_TRUE(SendInPieces(colour, 3u * kSmallSide, {kSmallSide}));
  EXPECT_STEP(EntryEndPrintData);
  EXPECT_FALSE(e2e::PollUntil([jobId] { return Complete(jobId); }, 200)) << "the one-bit image is still expected";

  const uint32_t oneBitRow = (kSmallSide + 7u) / 8u;
  Bytes oneBit(static_cast<size_t>(oneBitRow) * kSmallSide);
  for (size_t i = 0; i < oneBit.size(); ++i) oneBit[i] = static_cast<uint8_t>(i * 37u);
  EXPECT_STEP([&](uint16_t *e) { return EntrySetImageFormat(kImageTypeGrey, 1, 8, kSmallSide, kSmallSide, 0, 0, e); });
  EXPECT_STEP([&](uint16_t *e) { return EntryStartPrint(jobId, 0, e); });
  EXPECT_TRUE(SendInPieces(oneBit, oneBitRow, {100}));
  EXPECT_STEP(EntryEndPrintData);
  ASSERT_TRUE(JobComplete(jobId));
  EXPECT_GT(BuffersInUse(), 0);

  EXPECT_STEP([&](uint16_t *e) { return EntryCancelPrintJob(jobId, 0, e); });
  EXPECT_EQ(BuffersInUse(), 0);
  uint16_t err = 0xFFFF;
  EXPECT_EQ(EntryCancelPrintJob(jobId, 0, &err), 0) << "no job has the id any more";
  EXPECT_EQ(err, RESULT_BAD_PARAMETER);
}

// Another process, with the printer selected before the job started.
class LibraryPrintPathAndAnotherProcess : public LibraryPrintPath {
 protected:
  void BeforeClock() override { m_other = std::make_unique<SecondProcess>(kSerial); }
  std::unique_ptr<SecondProcess> m_other;
};

// The data phase holds the printer for this process; bytes past the
// image's count are refused before they reach the printer's command
// channel, which answers as before.
TEST_F(LibraryPrintPathAndAnotherProcess, TheDataPhaseHoldsThePrinterAndTakesNoByteBeyondTheImage) {
  ASSERT_NO_FATAL_FAILURE(StartReadyPrinter());
  ASSERT_EQ(m_other->Ask('o'), RESULT_OK);
  ASSERT_EQ(m_other->Ask('s'), RESULT_OK);
  const uint16_t jobId = SetUpJob(kImageTypeRgb, kSmallSide, kSmallSide);
  const uint32_t rowBytes = 3u * kSmallSide;
  Bytes page = RgbPage(kSmallSide, kSmallSide);
  const uint32_t imageBytes = static_cast<uint32_t>(page.size());
  page.resize(page.size() + 100 * rowBytes, 0x5A);

  EXPECT_STEP([&](uint16_t *e) { return EntryStartPrint(jobId, 0, e); });
  EXPECT_EQ(m_other->Ask('s'), RESULT_DEVICE_BUSY);
  uint32_t length = static_cast<uint32_t>(page.size());
  uint16_t err = 0xFFFF;
  EXPECT_EQ(EntrySendPrintData(page.data(), &length, &err), 0);
  EXPECT_EQ(err, RESULT_BAD_PARAMETER);
  EXPECT_EQ(length, imageBytes) << "the image's own bytes went";
  length = rowBytes;
  EXPECT_EQ(EntrySendPrintData(page.data() + imageBytes, &length, &err), 0);
  EXPECT_EQ(err, RESULT_BAD_PARAMETER);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(m_other->Ask('s'), RESULT_DEVICE_BUSY) << "until the data phase ends";
  EXPECT_STEP(EntryEndPrintData);

  EXPECT_STEP(kt_status);
  EXPECT_TRUE(JobComplete(jobId));
  EXPECT_EQ(m_other->Ask('s'), RESULT_OK);
}

// A laminate pattern (step 0), then the printer's own back (step 2); a
// tone curve loaded into RAM (type 2), then reset (type 0). The printer
// accepts each, parks it and applies it; the RAM curve read back is the
// written one, then the default.
TEST_F(LibraryPrintPath, LaminatePatternAndToneCurveUploadsAreApplied) {
  ASSERT_NO_FATAL_FAILURE(StartReadyPrinter());
  Bytes pattern(8929536);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = (i / 64) % 2 == 0 ? 0xC0 : 0x00;
  // The start-up shows the pattern's loading once already.
  const size_t loaded = CountOf(m_printer->Log(), kLaminateLine);
  EXPECT_STEP([&](uint16_t *e) { return EntryUploadLaminatePattern(0, pattern.data(), e); });
  EXPECT_TRUE(WaitForLog(kLaminateLine, loaded + 1)) << m_printer->Log();
  EXPECT_TRUE(e2e::PollUntil([] { return kt_status(nullptr) == 1; }, e2e::kBootLimitMs));
  EXPECT_STEP([&](uint16_t *e) { return EntryUploadLaminatePattern(2, nullptr, e); });
  EXPECT_TRUE(WaitForLog(kLaminateLine, loaded + 2)) << m_printer->Log();

  Bytes curve(protocol::TONE_CURVE_SIZE);
  for (size_t i = 0; i < curve.size(); i += 2) protocol::PutU16(&curve[i], static_cast<uint16_t>(i * 21));
  EXPECT_TRUE(e2e::PollUntil([] { return kt_status(nullptr) == 1; }, e2e::kBootLimitMs));
  EXPECT_STEP([&](uint16_t *e) { return EntryWriteToneCurve(2, 3, curve.data(), e); });
  EXPECT_TRUE(e2e::PollUntil([] { return kt_status(nullptr) == 1 && BuffersInUse() == 0; }, e2e::kBootLimitMs))
      << "the parked curve's buffer given back";
  std::vector<uint16_t> read(protocol::TONE_CURVE_SIZE / 2);
  EXPECT_STEP([&](uint16_t *e) { return EntryReadToneCurve(kToneCurveRam, 3, read.data(), e); });
  for (size_t i = 0; i < read.size(); ++i) ASSERT_EQ(read[i], protocol::GetU16(&curve[2 * i])) << "entry " << i;

  EXPECT_STEP([&](uint16_t *e) { return EntryWriteToneCurve(0, 3, nullptr, e); });
  EXPECT_TRUE(WaitForLog(kToneResetLine, 1)) << m_printer->Log();
  EXPECT_TRUE(e2e::PollUntil([] { return kt_status(nullptr) == 1; }, e2e::kBootLimitMs));
  EXPECT_STEP([&](uint16_t *e) { return EntryReadToneCurve(kToneCurveRam, 3, read.data(), e); });
  for (size_t i = 0; i < read.size(); ++i) ASSERT_EQ(read[i], 64 * (i % 256)) << "the default curve, entry " << i;
}

// Without media the print is refused before anything goes to the printer.
TEST_F(LibraryPrintPath, WithoutMediaThePrintIsRefusedWithNothingSent) {
  ASSERT_NO_FATAL_FAILURE(StartReadyPrinter({"--media", "none"}, "[lcd] |Ready           |"));
  uint16_t err = 0xFFFF;
  EXPECT_STEP(EntryResetJobFields);
  EXPECT_EQ(SetMedia(kSmallSide, kSmallSide, &err), 0);
  EXPECT_EQ(err, RESULT_MEDIA_MISMATCH) << "no media is loaded";
  EXPECT_STEP([&](uint16_t *e) { return EntrySetImageFormat(kImageTypeRgb, 3, 8, kSmallSide, kSmallSide, 0, 0, e); });

  // Every exchange with the printer from here on is in the trace log.
  const std::string trace = m_dir + "/trace";
  std::filesystem::create_directory(trace);
  setenv("BOM7300_TRACE_DIR", trace.c_str(), 1);
  err = 0xFFFF;
  const int started = EntryStartPrint(MakeJobId(CallerSession()->SelectedDevice(), 1), 0, &err);
  unsetenv("BOM7300_TRACE_DIR");
  EXPECT_EQ(started, 0);
  EXPECT_EQ(err, RESULT_BAD_PARAMETER);
  EXPECT_FALSE(CallerSession()->HoldsDataPhaseLock());
  std::string traced;
  for (const auto &file : std::filesystem::directory_iterator(trace)) traced += ReadText(file.path());
  EXPECT_NE(traced.find("EntryStartPrint"), std::string::npos) << traced;
  EXPECT_EQ(traced.find("< Send Command >"), std::string::npos) << traced;
}

}  // namespace

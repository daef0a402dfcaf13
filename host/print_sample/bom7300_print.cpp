// bom7300-print: prints one generated RGB page through the library's print
// path and follows the job. It opens the first printer, sets up a
// one-sided job of the loaded media's full size, sends the page through
// colour matching (sRGB to the printer profile) in pieces of 100 rows, and
// shows the job's status, its printer-ID status and whether it still
// expects images, until it is complete or the polls run out.
//
//   bom7300-print [--profiles DIR] [--polls N]
//
// Exit code 0 when every step succeeded and the job received its image.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bom7300upgrade.h"
#include "host_result_codes.h"
#include "image_entries.h"
#include "print_entries.h"
#include "protocol/wire.h"

namespace {

using namespace hostlib;

constexpr uint16_t kRowsPerSend = 100;
constexpr DWORD kPollIntervalMs = 500;
// PINFTAG_MEDIA: the loaded media's full width and length.
constexpr size_t kMediaWidthAt = 5;
constexpr size_t kMediaLengthAt = 7;
constexpr uint8_t kColourImageOfUnitL = 1;
constexpr size_t kUnitStatusBytes = 28;

bool Report(const char *what, int result, uint16_t code) {
  std::printf("%-28s %s (%u %s)\n", what, result != 0 ? "ok" : "FAILED", code, HostResultText(code));
  std::fflush(stdout);
  return result != 0;
}

// Runs one step of the job and shows its result and code.
template <typename Call>
bool Step(const char *what, Call call) {
  uint16_t code = RESULT_OK;
  const int result = call(&code);
  return Report(what, result, code);
}

// One row of the generated page: red across, green down, blue diagonal.
void PageRow(uint16_t width, uint16_t height, uint16_t y, uint8_t *row) {
  for (uint16_t x = 0; x < width; ++x) {
    row[3 * x] = static_cast<uint8_t>(x * 255u / (width > 1 ? width - 1u : 1u));
    row[3 * x + 1] = static_cast<uint8_t>(y * 255u / (height > 1 ? height - 1u : 1u));
    row[3 * x + 2] = static_cast<uint8_t>(x + y);
  }
}

bool SendPage(uint16_t width, uint16_t height) {
  std::vector<uint8_t> piece(static_cast<size_t>(width) * 3 * kRowsPerSend);
  for (uint16_t y = 0; y < height; y = static_cast<uint16_t>(y + kRowsPerSend)) {
    const uint16_t rows = static_cast<uint16_t>(height - y < kRowsPerSend ? height - y : kRowsPerSend);
    for (uint16_t r = 0; r < rows; ++r) PageRow(width, height, static_cast<uint16_t>(y + r), &piece[3u * width * r]);
    uint32_t length = 3u * width * rows;
    uint16_t err = 0;
    if (!EntrySendPrintData(piece.data(), &length, &err)) return Report("send rows", 0, err);
  }
  return Report("send rows", 1, RESULT_OK);
}

// Shows the job's status, its printer-ID status and, from the unit status,
// whether it still expects images; true once it expects none.
bool ShowJob(uint16_t jobId) {
  uint16_t statusJob = 0, copies = 0, a = 0, b = 0, err = 0;
  uint8_t colour = 0, oneBit = 0;
  uint8_t data[kJobStatusDataBytes] = {};
  const int status = EntryGetJobStatus(&statusJob, &copies, &colour, &oneBit, &a, &b, data, &err);
  std::printf("job status: %s job 0x%04X copies %u images colour %u one-bit %u (%u)\n",
              status != 0 ? "ok" : "FAILED", statusJob, copies, colour, oneBit, err);
  uint16_t values[kPrinterIdValues] = {};
  const int idStatus = EntryGetPrinterIdStatus(jobId, values, &err);
  std::printf("printer-ID status: %s left %u printed %u copies %u state %u %s (%u)\n",
              idStatus != 0 ? "ok" : "FAILED", values[0], values[1], values[2], values[3],
              HostResultText(values[3]), err);
  uint8_t unitStatus[kUnitStatusBytes] = {};
  uint32_t size = sizeof unitStatus;
  const bool read = kt_getPrinterInfo(PINFTAG_UNITSTATUS, unitStatus, &size) != 0;
  const bool complete = read && unitStatus[kUnitStatusJobAt] == JobNumber(jobId) && UnitStatusJobComplete(unitStatus);
  std::printf("job 0x%04X: %s\n", jobId, !read ? "unit status FAILED" : complete ? "complete" : "receiving");
  std::fflush(stdout);
  return complete;
}

int Run(const std::string &profiles, int polls) {
  if (!Step("open", [](uint16_t *err) { return kt_open(err); })) return 1;
  uint8_t media[32] = {};
  uint32_t size = sizeof media;
  if (!Report("read media", kt_getPrinterInfo(PINFTAG_MEDIA, media, &size), RESULT_OK)) return 1;
  const uint16_t width = protocol::GetU16(media + kMediaWidthAt);
  const uint16_t height = protocol::GetU16(media + kMediaLengthAt);
  std::printf("media: %u x %u\n", width, height);
  uint8_t request[10] = {0, static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                         static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8)};
  const std::string source = profiles + "/srgb.icc";
  const std::string dest = profiles + "/printer_rgb.icc";
  uint16_t jobId = 0;
  const bool ready =
      Step("reset job fields", [](uint16_t *err) { return EntryResetJobFields(err); }) &&
      Step("media size",
           [&](uint16_t *err) {
             uint32_t requestSize = sizeof request;
             return kt_setPrinterInfo(PINFTAG_MEDIA, request, &requestSize, err);
           }) &&
      Step("image format", [&](uint16_t *err) { return EntrySetImageFormat(3, 3, 8, width, height, 0, 0, err); }) &&
      Step("colour profiles",
           [&](uint16_t *err) {
             const uint8_t *const tables[kLutCount] = {};
             return EntrySetColorProfiles(source.c_str(), dest.c_str(), 0, tables, err);
           }) &&
      Step("set up job", [&](uint16_t *err) {
        uint8_t unit1[2] = {}, unit2[2] = {}, extra = 0;
        return EntrySetupPrintJob(&jobId, unit1, unit2, &extra, 1, kColourImageOfUnitL, 0, 0, 0, nullptr, err);
      });
  if (!ready) return 1;
  std::printf("job id: 0x%04X\n", jobId);
  ShowJob(jobId);
  if (!Step("start print", [&](uint16_t *err) { return EntryStartPrint(jobId, 0, err); })) return 1;
  const bool sent = SendPage(width, height);
  Step("end print data", [](uint16_t *err) { return EntryEndPrintData(err); });
  if (!sent) return 1;
  for (int i = 0; i < polls; ++i) {
    if (ShowJob(jobId)) {
      std::printf("job complete: waiting in the queue\n");
      return 0;
    }
    Sleep(kPollIntervalMs);
  }
  std::printf("job not complete after %d polls\n", polls);
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  std::string profiles = BOM_TEST_PROFILE_DIR;
  int polls = 20;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--profiles") == 0 && i + 1 < argc) {
      profiles = argv[++i];
    } else if (std::strcmp(argv[i], "--polls") == 0 && i + 1 < argc) {
      polls = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: bom7300-print [--profiles DIR] [--polls N]\n");
      return 2;
    }
  }
  const int code = Run(profiles, polls);
  kt_close();
  return code;
}

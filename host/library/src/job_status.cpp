// The printing state of a job (GetPrinterIdStatus) and the status of
// several printers at once (GetStatusOfPrinters).
#include <algorithm>
#include <iterator>

#include "bom7300upgrade.h"
#include "host_result_codes.h"
#include "information_types.h"
#include "library_frame.h"
#include "printer_session.h"
#include "protocol/codes.h"
#include "protocol/replies.h"
#include "protocol/wire.h"

namespace hostlib {

namespace {

// What a job phase of the printer-ID status answer says.
enum class PhaseAnswer : uint8_t {
  Code,        // the row's code
  WhenPrinting, // the printer's printing state when the job is the one printing, else the row's code
};

struct JobPhaseRow {
  uint16_t phase;
  PhaseAnswer answer;
  uint16_t code;
};

constexpr uint16_t kNoJobPhase = 0xFFFF;

constexpr JobPhaseRow kJobPhases[] = {
    {protocol::JOB_PHASE_NOT_PRINTING, PhaseAnswer::Code, RESULT_NO_PRINT_STATE},
    {kNoJobPhase, PhaseAnswer::Code, RESULT_NO_PRINT_STATE},
    {protocol::JOB_PHASE_LAST_COPY, PhaseAnswer::Code, RESULT_ID_STATUS_0200},
    {protocol::JOB_PHASE_PRINTING, PhaseAnswer::WhenPrinting, RESULT_NO_PRINT_STATE},
};
// A phase the table does not list.
constexpr JobPhaseRow kUnknownPhase = {0, PhaseAnswer::Code, RESULT_NO_PRINT_STATE};

const JobPhaseRow &FindJobPhase(uint16_t phase) {
  const auto *row = std::find_if(std::begin(kJobPhases), std::end(kJobPhases),
                                 [phase](const JobPhaseRow &r) { return r.phase == phase; });
  return row == std::end(kJobPhases) ? kUnknownPhase : *row;
}

constexpr size_t kStatusListMax = 128;

}  // namespace

int PrinterSession::PrinterIdStatusLocked(uint16_t jobId, uint16_t result[kPrinterIdValues], uint16_t *err) {
  uint8_t unitStatus[kLargestInformation] = {};
  uint32_t size = sizeof unitStatus;
  if (!GetPrinterInfo(PINFTAG_UNITSTATUS, unitStatus, &size)) {
    *err = RESULT_USB_ERROR;
    return 0;
  }
  // The printer's printing state as a code, from a CMD_GET_STATUS exchange.
  auto printingState = [this, err](uint16_t *code) {
    if (writer_->SendGetStatus(code) && reader_->ReadPrinterIdStatus(code)) return true;
    *err = RESULT_USB_ERROR;
    return false;
  };
  if (jobId == 0) return printingState(&result[3]) ? 1 : 0;
  if (JobDevice(jobId) != selectedDevice_.load()) {
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  uint8_t reply[kReplyBufferMin] = {};
  uint16_t code = RESULT_OK;
  if (!writer_->SendGetPrinterIdStatus(JobNumber(jobId), &code) || !reader_->ReadPayload(reply, sizeof reply, &code)) {
    *err = RESULT_USB_ERROR;
    return 0;
  }
  protocol::PrinterIdStatusReply answer{};
  protocol::DecodeReply(reply, protocol::PrinterIdStatusReply::kSize, &answer);
  result[0] = answer.copiesLeft;
  result[1] = answer.copiesPrinted;
  result[2] = answer.copies;
  const JobPhaseRow &row = FindJobPhase(answer.jobPhase);
  result[3] = row.code;
  if (row.answer == PhaseAnswer::WhenPrinting && JobNumber(jobId) == unitStatus[kUnitStatusJobAt]) {
    return printingState(&result[3]) ? 1 : 0;
  }
  return 1;
}

int PrinterSession::GetPrinterIdStatus(uint16_t jobId, uint16_t result[kPrinterIdValues], uint16_t *err) {
  if (result == nullptr) {
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  std::fill(result, result + kPrinterIdValues, 0);
  *err = RESULT_OK;
  DeviceLock lock;
  if (!LockDevice(&lock, err)) return 0;
  return PrinterIdStatusLocked(jobId, result, err);
}

int PrinterSession::GetStatusOfPrinters(const uint8_t *numbers, uint16_t *codes) {
  if (numbers == nullptr || codes == nullptr) return 0;
  const uint8_t previous = selectedDevice_.load();
  const uint16_t optionA = printOptionA_;
  auto select = [this](uint8_t number) {
    LibraryLock lock;
    uint16_t ignored = RESULT_OK;
    SelectPrinter(number, &ignored);
  };
  int anyReady = 0;
  for (size_t i = 0; i < kStatusListMax && numbers[i] != kNoDevice; ++i) {
    uint16_t code = RESULT_PRINTER_NOT_RECOGNIZED;
    if (numbers[i] < kDeviceCount && IsDeviceOpen(numbers[i])) {
      select(numbers[i]);
      GetStatus(&code);
    }
    codes[i] = code;
    if (code == RESULT_OK) anyReady = 1;
  }
  if (previous != kNoDevice && previous != selectedDevice_.load()) select(previous);
  // Selecting resets print option A; the caller's setting stays.
  printOptionA_ = optionA;
  return anyReady;
}

}  // namespace hostlib

// The unexported entries of the print path.
#include "print_entries.h"

#include "library_frame.h"
#include "printer_session.h"

namespace hostlib {

namespace {

// Most entries hand their arguments to one session operation that ends in
// a result code; `name` is the entry's, for the trace log.
template <typename... Params, typename... Args>
int Forward(const char *name, int (PrinterSession::*operation)(Params...), uint16_t *err, Args... args) {
  return RunOnCallerSession(
      err, [&](PrinterSession &session, uint16_t *code) { return (session.*operation)(args..., code); }, name);
}

constexpr size_t kStatusListMax = 128;

}  // namespace

int EntrySetImageFormat(uint16_t type, uint16_t components, uint16_t bits, uint16_t width, uint16_t height,
                        uint16_t xOffset, uint16_t yOffset, uint16_t *err) {
  return Forward(__func__, &PrinterSession::SetImageFormat, err, type, components, bits, width, height, xOffset, yOffset);
}

int EntrySetupPrintJob(uint16_t *jobId, uint8_t unitInfo1[2], uint8_t unitInfo2[2], uint8_t *extra, uint16_t copies,
                       uint8_t flags1, uint8_t flags2, uint16_t cutOffset1, uint16_t cutOffset2,
                       const uint8_t *cutList, uint16_t *err) {
  return Forward(__func__, &PrinterSession::SetupPrintJob, err, jobId, unitInfo1, unitInfo2, extra, copies,
                                  flags1, flags2, cutOffset1, cutOffset2, cutList);
}

int EntryGetJobStatus(uint16_t *jobId, uint16_t *value, uint8_t *flags1, uint8_t *flags2, uint16_t *a, uint16_t *b,
                      uint8_t data[kJobStatusDataBytes], uint16_t *err) {
  return Forward(__func__, &PrinterSession::GetJobStatus, err, jobId, value, flags1, flags2, a, b, data);
}

int EntryStartPrint(uint16_t jobId, uint8_t second, uint16_t *err) {
  return Forward(__func__, &PrinterSession::StartPrint, err, jobId, second);
}

int EntrySendPrintData(const uint8_t *data, uint32_t *length, uint16_t *err) {
  return Forward(__func__, &PrinterSession::SendPrintData, err, data, length);
}

int EntrySendImageStrips(const uint8_t *data, uint32_t *length, uint16_t *err) {
  return Forward(__func__, &PrinterSession::SendImageStrips, err, data, length);
}

int EntrySendPaddingRows(uint32_t bytes, uint32_t count) {
  return RunOnCallerSession(nullptr, [&](PrinterSession &session, uint16_t *) {
    return session.SendPaddingRows(bytes, count);
  });
}

int EntryEndPrintData(uint16_t *err) { return Forward(__func__, &PrinterSession::EndPrintData, err); }

int EntryClearPrintFlag(uint16_t *err) { return Forward(__func__, &PrinterSession::ClearPrintFlag, err); }

int EntryResetJobFields(uint16_t *err) { return Forward(__func__, &PrinterSession::ResetJobFields, err); }

int EntryCancelPrintJob(uint16_t jobId, uint8_t mode, uint16_t *err) {
  return Forward(__func__, &PrinterSession::CancelPrintJob, err, jobId, mode);
}

int EntryGetPrinterIdStatus(uint16_t jobId, uint16_t result[kPrinterIdValues], uint16_t *err) {
  return Forward(__func__, &PrinterSession::GetPrinterIdStatus, err, jobId, result);
}

int EntryGetStatusOfPrinters(const uint8_t *numbers, uint16_t *codes) {
  return GuardExport<int>(0, nullptr, [&] {
    PrinterSession *session = CallerSession();
    if (session != nullptr) return session->GetStatusOfPrinters(numbers, codes);
    if (numbers != nullptr && codes != nullptr) {
      for (size_t i = 0; i < kStatusListMax && numbers[i] != kNoDevice; ++i) codes[i] = RESULT_NO_SESSION;
    }
    return 0;
  });
}

int EntryUploadLaminatePattern(uint16_t step, const uint8_t *data, uint16_t *err) {
  return Forward(__func__, &PrinterSession::UploadLaminatePattern, err, step, data);
}

int EntryWriteToneCurve(uint16_t type, uint16_t curve, const uint8_t *data, uint16_t *err) {
  return Forward(__func__, &PrinterSession::WriteToneCurve, err, type, curve, data);
}

int EntryReadToneCurve(uint16_t type, uint16_t curve, uint16_t *values, uint16_t *err) {
  return Forward(__func__, &PrinterSession::ReadToneCurve, err, type, curve, values);
}

}  // namespace hostlib

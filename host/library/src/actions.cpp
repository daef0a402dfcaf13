// Actions on the selected printer: blink its LED, reset it, run and read a
// self-diagnosis, clear its error history. Each runs one exchange under the
// device lock; the LED and reset first ask for the status and send nothing
// to a printer that is gone or does not answer.
#include <cstring>

#include "bom7300upgrade.h"
#include "library_frame.h"
#include "locked_exchange.h"
#include "protocol/codes.h"
#include "protocol/replies.h"

namespace hostlib {

namespace {

constexpr uint32_t kDiagnosisCopyMax = 47;
constexpr uint8_t kDiagnosisStart = 1;

// The status pre-check, under the lock the caller holds (taken once more).
int PrinterAnswers(PrinterSession &session, uint16_t *code) {
  uint16_t status = RESULT_OK;
  session.GetStatus(&status);
  if (IsUnreachableCode(status)) {
    *code = RESULT_USB_ERROR;
    return 0;
  }
  return 1;
}

}  // namespace

int PrinterSession::BlinkLed(uint16_t *err) {
  return RunLockedExchange(*this, err, FoldParameterThenUsbCode, [&](uint16_t *code) {
    return PrinterAnswers(*this, code) && writer_->SendFlashLed(code) && reader_->ReadAck(code) ? 1 : 0;
  });
}

int PrinterSession::ResetPrinter(uint16_t *err) {
  return RunLockedExchange(*this, err, FoldParameterThenUsbCode, [&](uint16_t *code) {
    return PrinterAnswers(*this, code) && writer_->SendReset(protocol::RESET_KIND_PRINTER, 0, code) &&
                   reader_->ReadAck(code)
               ? 1
               : 0;
  });
}

// The start of a self-diagnosis (sub-command 1) carries no device or action.
int PrinterSession::SetDiagnostic(uint8_t subCommand, uint8_t deviceId, uint8_t action, uint16_t *err) {
  if (subCommand == kDiagnosisStart) deviceId = action = 0;
  return RunLockedExchange(*this, err, FoldParameterThenUsbCode, [&](uint16_t *code) {
    return writer_->SendSelfDiagnosis(subCommand, deviceId, action, code) && reader_->ReadAck(code) ? 1 : 0;
  });
}

// The first *length bytes (at most 47) of the diagnosis results; a failed
// read gives the caller zeros.
int PrinterSession::GetDiagnostic(uint8_t *data, uint32_t *length, uint16_t *err) {
  return RunLockedExchange(*this, err, KeepCode, [&](uint16_t *code) {
    if (data == nullptr || length == nullptr) return RefuseBadParameter(code);
    if (*length > kDiagnosisCopyMax) *length = kDiagnosisCopyMax;
    if (!writer_->SendGetDiagnosisResult(code)) return 0;
    uint8_t results[protocol::DIAGNOSIS_RESULT_SIZE] = {};
    if (!reader_->ReadPayload(results, sizeof results, code)) {
      // A printer's refusal stays the caller's bad parameter and a USB
      // error a USB error; any other answer is a failed diagnosis.
      *code = FoldParameterThenUsbCode(*code);
      if (*code != RESULT_USB_ERROR && *code != RESULT_BAD_PARAMETER) *code = RESULT_DIAGNOSIS_FAILED;
      std::memset(data, 0, *length);
      return 0;
    }
    std::memcpy(data, results, *length);
    return 1;
  });
}

int PrinterSession::ResetErrorHistory(uint16_t *err) {
  return RunLockedExchange(*this, err, FoldParameterThenUsbCode, [&](uint16_t *code) {
    return writer_->SendResetErrorLog(code) && reader_->ReadAck(code) ? 1 : 0;
  });
}

// No lock and no fold: the three bytes as they are, the 4-byte reply into
// the caller's data.
int PrinterSession::CommandDiagnostic(uint8_t subCommand, uint8_t deviceId, uint8_t action, uint8_t *data,
                                      uint16_t *err) {
  if (data == nullptr) return RefuseBadParameter(err);
  return writer_->SendSelfDiagnosis(subCommand, deviceId, action, err) &&
                 reader_->ReadPayload(data, protocol::SelfDiagnosisReply::kSize, err)
             ? 1
             : 0;
}

}  // namespace hostlib

using namespace hostlib;

extern "C" {

int KT_CALL kt_blinkLED(uint16_t *err) noexcept {
  return RunOnCallerSession(err, [](PrinterSession &session, uint16_t *code) { return session.BlinkLed(code); });
}

int KT_CALL kt_resetPrinter(uint16_t *err) noexcept {
  return RunOnCallerSession(err, [](PrinterSession &session, uint16_t *code) { return session.ResetPrinter(code); });
}

int KT_CALL kt_setDiagnostic(uint8_t subCommand, uint8_t deviceId, uint8_t action, uint16_t *err) noexcept {
  return RunOnCallerSession(err, [&](PrinterSession &session, uint16_t *code) {
    return session.SetDiagnostic(subCommand, deviceId, action, code);
  });
}

int KT_CALL kt_getDiagnostic(uint8_t *data, uint32_t *length, uint16_t *err) noexcept {
  return RunOnCallerSession(
      err, [&](PrinterSession &session, uint16_t *code) { return session.GetDiagnostic(data, length, code); });
}

int KT_CALL kt_resetErrHistory(uint16_t *err) noexcept {
  return RunOnCallerSession(err,
                            [](PrinterSession &session, uint16_t *code) { return session.ResetErrorHistory(code); });
}

int KT_CALL kt_command_diagnostic(uint8_t subCommand, uint8_t deviceId, uint8_t action, uint8_t *data,
                                  uint16_t *err) noexcept {
  return RunOnCallerSession(err, [&](PrinterSession &session, uint16_t *code) {
    return session.CommandDiagnostic(subCommand, deviceId, action, data, code);
  });
}

}  // extern "C"

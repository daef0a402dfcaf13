// Parameters of the selected printer by id, and the head-EEPROM byte. A
// printer's refusal of an id or value is the caller's bad parameter.
#include "bom7300upgrade.h"
#include "library_frame.h"
#include "locked_exchange.h"
#include "protocol/replies.h"

namespace hostlib {

int PrinterSession::SetParameter(uint8_t parameterId, uint32_t value, uint16_t *err) {
  return RunLockedExchange(*this, err, FoldParameterThenUsbCode, [&](uint16_t *code) {
    return writer_->SendSetParameter(parameterId, value, code) && reader_->ReadAck(code) ? 1 : 0;
  });
}

int PrinterSession::GetParameter(uint8_t parameterId, uint8_t value[4], uint16_t *err) {
  return RunLockedExchange(*this, err, FoldParameterThenUsbCode, [&](uint16_t *code) {
    if (value == nullptr) return RefuseBadParameter(code);
    return writer_->SendGetParameter(parameterId, code) &&
                   reader_->ReadPayload(value, protocol::GetParameterReply::kSize, code)
               ? 1
               : 0;
  });
}

// The caller's byte names the head unit (1 L, 2 R); the printer reads the
// address that follows it as 0.
int PrinterSession::ReadHeadEeprom(uint8_t argument, uint8_t value[1], uint16_t *err) {
  return RunLockedExchange(*this, err, FoldParameterThenUsbCode, [&](uint16_t *code) {
    if (value == nullptr) return RefuseBadParameter(code);
    return writer_->SendReadHeadEeprom(argument, code) &&
                   reader_->ReadPayload(value, protocol::ReadHeadEepromReply::kSize, code)
               ? 1
               : 0;
  });
}

}  // namespace hostlib

using namespace hostlib;

extern "C" {

int KT_CALL kt_setParameter(uint8_t parameterId, uint32_t value, uint16_t *err) noexcept {
  return RunOnCallerSession(
      err, [&](PrinterSession &session, uint16_t *code) { return session.SetParameter(parameterId, value, code); });
}

int KT_CALL kt_getParameter(uint8_t parameterId, uint8_t value[4], uint16_t *err) noexcept {
  return RunOnCallerSession(
      err, [&](PrinterSession &session, uint16_t *code) { return session.GetParameter(parameterId, value, code); });
}

int KT_CALL kt_getEEPROM(uint8_t argument, uint8_t value[1], uint16_t *err) noexcept {
  return RunOnCallerSession(
      err, [&](PrinterSession &session, uint16_t *code) { return session.ReadHeadEeprom(argument, value, code); });
}

}  // extern "C"

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

namespace {

// One request whose reply payload of `size` bytes goes to the caller's
// `value`, under the device lock.
template <typename Send>
int ReadValue(PrinterSession &session, uint8_t *value, size_t size, uint16_t *err, Send send) {
  return RunLockedExchange(session, err, FoldParameterThenUsbCode, [&](uint16_t *code) {
    if (value == nullptr) return RefuseBadParameter(code);
    return send(session.Writer(), code) && session.Reader().ReadPayload(value, size, code) ? 1 : 0;
  });
}

}  // namespace

int PrinterSession::GetParameter(uint8_t parameterId, uint8_t value[4], uint16_t *err) {
  return ReadValue(*this, value, protocol::GetParameterReply::kSize, err,
                   [&](CommandWriter &writer, uint16_t *code) { return writer.SendGetParameter(parameterId, code); });
}

// The caller's byte names the head unit (1 L, 2 R); the printer reads the
// address that follows it as 0.
int PrinterSession::ReadHeadEeprom(uint8_t argument, uint8_t value[1], uint16_t *err) {
  return ReadValue(*this, value, protocol::ReadHeadEepromReply::kSize, err,
                   [&](CommandWriter &writer, uint16_t *code) { return writer.SendReadHeadEeprom(argument, code); });
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

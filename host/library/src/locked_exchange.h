// The common shape of an operation that exchanges one command with the
// selected printer under its device lock: take the lock, run the exchange,
// fold its code, report it; the lock is released on every path.
#pragma once

#include <cstdint>

#include "host_result_codes.h"
#include "printer_session.h"
#include "result_mapping.h"
#include "transport.h"

namespace hostlib {

using CodeFold = uint16_t (*)(uint16_t code);

inline uint16_t KeepCode(uint16_t code) { return code; }

// `exchange(&code)` returns the result of its last step.
template <typename Exchange>
int RunLockedExchange(PrinterSession &session, uint16_t *err, CodeFold fold, Exchange exchange) {
  DeviceLock lock;
  if (!session.LockDevice(&lock, err)) return 0;
  uint16_t code = RESULT_OK;
  const int result = exchange(&code);
  *err = fold(code);
  return result;
}

inline int RefuseBadParameter(uint16_t *err) {
  *err = RESULT_BAD_PARAMETER;
  return 0;
}

}  // namespace hostlib

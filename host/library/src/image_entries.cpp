// The unexported entries of the image settings.
#include "image_entries.h"

#include "library_frame.h"
#include "printer_session.h"

namespace hostlib {
namespace {

// Runs `body` on the caller's session, or answers RESULT_NO_SESSION.
template <typename Body>
int WithSession(uint16_t *err, Body body) {
  return GuardExport<int>(0, err, [&] {
    PrinterSession *session = CallerSession();
    if (session == nullptr) {
      SetCode(err, RESULT_NO_SESSION);
      return 0;
    }
    uint16_t code = RESULT_OK;
    const int result = body(*session, &code);
    SetCode(err, code);
    return result;
  });
}

}  // namespace

int EntryInitIdentityLut(uint16_t *err) {
  return WithSession(err, [](PrinterSession &session, uint16_t *) {
    session.InitIdentityLut();
    return 1;
  });
}

void EntrySetFilter(const int32_t coefficients[kFilterTaps]) {
  WithSession(nullptr, [&](PrinterSession &session, uint16_t *) {
    session.SetFilter(coefficients);
    return 1;
  });
}

int EntryLoadFilterFile(const char *path, int32_t out[kFilterTaps], uint16_t *err) {
  return WithSession(err, [&](PrinterSession &session, uint16_t *code) {
    return session.LoadFilterFile(path, out, code);
  });
}

int EntryLoadLutFile(const char *path, uint8_t t0[kLutEntries], uint8_t t1[kLutEntries], uint8_t t2[kLutEntries],
                     uint16_t *err) {
  return WithSession(err, [&](PrinterSession &session, uint16_t *code) {
    return session.LoadLutFile(path, t0, t1, t2, code);
  });
}

void EntrySetGamma(uint16_t gamma, uint8_t *t0, uint8_t *t1, uint8_t *t2) {
  WithSession(nullptr, [&](PrinterSession &, uint16_t *) {
    PrinterSession::SetGamma(gamma, t0, t1, t2);
    return 1;
  });
}

int EntrySetColorProfiles(const char *source, const char *dest, uint16_t intent,
                          const uint8_t *const tables[kLutCount], uint16_t *err) {
  return WithSession(err, [&](PrinterSession &session, uint16_t *code) {
    return session.SetColorProfiles(source, dest, intent, tables, code);
  });
}

}  // namespace hostlib

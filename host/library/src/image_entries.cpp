// The unexported entries of the image settings.
#include "image_entries.h"

#include "library_frame.h"
#include "printer_session.h"

namespace hostlib {

int EntryInitIdentityLut(uint16_t *err) {
  return RunOnCallerSession(err, [](PrinterSession &session, uint16_t *) {
    session.InitIdentityLut();
    return 1;
  });
}

void EntrySetFilter(const int32_t coefficients[kFilterTaps]) {
  RunOnCallerSession(nullptr, [&](PrinterSession &session, uint16_t *) {
    session.SetFilter(coefficients);
    return 1;
  });
}

int EntryLoadFilterFile(const char *path, int32_t out[kFilterTaps], uint16_t *err) {
  return RunOnCallerSession(err, [&](PrinterSession &session, uint16_t *code) {
    return session.LoadFilterFile(path, out, code);
  });
}

int EntryLoadLutFile(const char *path, uint8_t t0[kLutEntries], uint8_t t1[kLutEntries], uint8_t t2[kLutEntries],
                     uint16_t *err) {
  return RunOnCallerSession(err, [&](PrinterSession &session, uint16_t *code) {
    return session.LoadLutFile(path, t0, t1, t2, code);
  });
}

void EntrySetGamma(uint16_t gamma, uint8_t *t0, uint8_t *t1, uint8_t *t2) {
  RunOnCallerSession(nullptr, [&](PrinterSession &, uint16_t *) {
    PrinterSession::SetGamma(gamma, t0, t1, t2);
    return 1;
  });
}

int EntrySetColorProfiles(const char *source, const char *dest, uint16_t intent,
                          const uint8_t *const tables[kLutCount], uint16_t *err) {
  return RunOnCallerSession(err, [&](PrinterSession &session, uint16_t *code) {
    return session.SetColorProfiles(source, dest, intent, tables, code);
  });
}

}  // namespace hostlib

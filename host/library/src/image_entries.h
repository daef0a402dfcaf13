// The unexported entries of the image settings: each finds the calling
// thread's session as the exports do. Without one the entries with a
// result code answer RESULT_NO_SESSION, and the filter and gamma entries,
// which return nothing, do nothing.
#pragma once

#include <cstdint>

#include "image_job.h"

namespace hostlib {

int EntryInitIdentityLut(uint16_t *err);
void EntrySetFilter(const int32_t coefficients[kFilterTaps]);
int EntryLoadFilterFile(const char *path, int32_t out[kFilterTaps], uint16_t *err);
int EntryLoadLutFile(const char *path, uint8_t t0[kLutEntries], uint8_t t1[kLutEntries], uint8_t t2[kLutEntries],
                     uint16_t *err);
void EntrySetGamma(uint16_t gamma, uint8_t *t0, uint8_t *t1, uint8_t *t2);
int EntrySetColorProfiles(const char *source, const char *dest, uint16_t intent,
                          const uint8_t *const tables[kLutCount], uint16_t *err);

}  // namespace hostlib

// The pipeline's settings of a session: lookup tables, the filter and
// their files, gamma tables and the colour profiles.
#include <cmath>
#include <cstring>
#include <memory>

#include "host_result_codes.h"
#include "image_pipeline.h"
#include "printer_session.h"
#include "setting_file_reader.h"

namespace hostlib {
namespace {

void FillIdentity(uint8_t *table) {
  for (int i = 0; i < kLutEntries; ++i) table[i] = static_cast<uint8_t>(i);
}

constexpr int32_t kUnityKernel[kFilterTaps] = {0, 0, 0, 0, kFilterUnity, 0, 0, 0, 0};

}  // namespace

void PrinterSession::InitIdentityLut() {
  for (auto &table : image_.lut) FillIdentity(table);
}

void PrinterSession::SetFilter(const int32_t *coefficients) {
  std::memcpy(image_.filter, kUnityKernel, sizeof image_.filter);
  image_.filterOn = 0;
  uint32_t mask = 0;
  if (coefficients != nullptr) {
    for (int i = 0; i < kFilterTaps; ++i) {
      if (coefficients[i] != 0) mask |= 1u << i;
    }
    if (mask != (1u << kFilterCentre) || coefficients[kFilterCentre] != kFilterUnity) {
      std::memcpy(image_.filter, coefficients, sizeof image_.filter);
      image_.filterOn = 1;
    }
  }
  image_.filterMask = mask;
}

int PrinterSession::LoadFilterFile(const char *path, int32_t out[kFilterTaps], uint16_t *err) {
  if (path == nullptr) {
    std::memcpy(out, kUnityKernel, sizeof kUnityKernel);
    *err = RESULT_OK;
    return 1;
  }
  SettingFileReader file;
  int32_t values[kFilterTaps];
  bool ok = file.OpenForRead(path);
  for (int i = 0; ok && i < kFilterTaps; ++i) ok = file.ReadSignedNumber(&values[i]);
  if (!ok) {
    *err = RESULT_FILE_ACCESS_FAILED;
    return 0;
  }
  std::memcpy(out, values, sizeof values);
  *err = RESULT_OK;
  return 1;
}

int PrinterSession::LoadLutFile(const char *path, uint8_t *t0, uint8_t *t1, uint8_t *t2, uint16_t *err) {
  SettingFileReader file;
  uint8_t tables[3][kLutEntries];
  bool ok = path != nullptr && t0 != nullptr && t1 != nullptr && t2 != nullptr && file.OpenForRead(path);
  for (auto &table : tables) ok = ok && file.Read(table, kLutEntries);
  if (!ok) {
    *err = RESULT_FILE_ACCESS_FAILED;
    return 0;
  }
  std::memcpy(t0, tables[0], kLutEntries);
  std::memcpy(t1, tables[1], kLutEntries);
  std::memcpy(t2, tables[2], kLutEntries);
  *err = RESULT_OK;
  return 1;
}

uint8_t BuildGammaTable(int i, double gamma) {
  // 255 x i^g / 255^g, as (i / 255)^g so that 255 maps to exactly 255.
  const double value = 255.0 * std::pow(i / 255.0, gamma);
  if (!(value > 0.0)) return 0;
  return value >= 255.0 ? 255 : static_cast<uint8_t>(value);
}

void PrinterSession::SetGamma(uint16_t gamma, uint8_t *t0, uint8_t *t1, uint8_t *t2) {
  const double exponent = gamma / 100.0;
  for (int i = 0; i < kLutEntries; ++i) {
    const uint8_t v = BuildGammaTable(i, exponent);
    if (t0 != nullptr) t0[i] = v;
    if (t1 != nullptr) t1[i] = v;
    if (t2 != nullptr) t2[i] = v;
  }
}

int PrinterSession::SetColorProfiles(const char *source, const char *dest, uint16_t intent,
                                     const uint8_t *const tables[kLutCount], uint16_t *err) {
  InitIdentityLut();
  for (int t = 0; t < kLutCount; ++t) {
    if (tables != nullptr && tables[t] != nullptr) std::memcpy(image_.lut[t], tables[t], kLutEntries);
  }
  ColorMatchWrapper::DisposeColorWorld(colorMatch_);
  if (source == nullptr && dest == nullptr) {
    *err = RESULT_OK;
    return 1;
  }
  // One path alone, or one that does not fit its field, is refused.
  if (source == nullptr || dest == nullptr || std::strlen(source) >= kProfilePathSize ||
      std::strlen(dest) >= kProfilePathSize) {
    *err = RESULT_BAD_PARAMETER;
    return 0;
  }
  std::strcpy(colorMatch_.sourceProfile, source);
  std::strcpy(colorMatch_.destinationProfile, dest);
  std::unique_ptr<uint8_t[]> record(new (std::nothrow) uint8_t[kLutRecordSize]);
  if (!record) {
    *err = RESULT_MEMORY_FULL;
    return 0;
  }
  FillIdentity(record.get());
  std::memcpy(record.get() + kLutEntries, image_.lut[3], 3 * kLutEntries);
  FillIdentity(record.get() + 4 * kLutEntries);
  return ColorMatchWrapper::CreateColorWorld(colorMatch_, image_.components, image_.components, 0, record.get(),
                                             intent, err);
}

}  // namespace hostlib

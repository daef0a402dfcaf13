// The job settings of a session beyond the image geometry: what the job
// set-up and the Print command carry, and the job id the printer gave.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host_result_codes.h"
#include "protocol/codes.h"

namespace hostlib {

inline constexpr uint16_t kImageSideMax = 4096;
inline constexpr uint16_t kImageBits = 8;
inline constexpr uint16_t kResetImageSide = 1200;
inline constexpr uint16_t kResetPrintOptionB = 1;
// A job id is the printer's device number x 256 + the printer's job number.
inline constexpr uint16_t kJobIdDeviceShift = 8;
// GetJobStatus hands the caller this many bytes from reply byte 8 on.
inline constexpr size_t kJobStatusDataBytes = 21;
// GetPrinterIdStatus answers four values.
inline constexpr size_t kPrinterIdValues = 4;
// A tone curve as the caller holds it: 768 16-bit values.
inline constexpr size_t kToneCurveValues = 768;
// PINFTAG_UNITSTATUS: byte 0 the number of the job printing next, then per
// side (A at 8, B at 12) four nibbles of its job word: 0, the unit, the
// state of the colour image and of the one-bit image (0 none, 1 expected,
// 2 received, 4 printing).
inline constexpr size_t kUnitStatusJobAt = 0;
inline constexpr size_t kUnitStatusImageStates[] = {10, 11, 14, 15};
inline constexpr uint8_t kUnitStatusImageExpected = 1;
// True once the job printing next expects no more images.
inline bool UnitStatusJobComplete(const uint8_t *unitStatus) {
  if (unitStatus[kUnitStatusJobAt] == 0) return false;
  for (const size_t at : kUnitStatusImageStates) {
    if (unitStatus[at] == kUnitStatusImageExpected) return false;
  }
  return true;
}
// A cut list: the count, then ten u16 positions.
inline constexpr size_t kCutListBytes = 1 + 2 * protocol::CUT_POSITIONS_MAX;

struct PrintJob {
  uint16_t jobId = 0;
  uint16_t xOffset = 0;
  uint16_t yOffset = 0;
  uint16_t copies = 1;
  uint8_t flags1 = 0;  // colour images of units L and R
  uint8_t flags2 = 0;  // one-bit images of units L and R
  uint16_t cutOffset1 = 0;
  uint16_t cutOffset2 = 0;
  uint8_t cutCount = protocol::CUT_COUNT_DEFAULT;
  uint16_t cutPositions[protocol::CUT_POSITIONS_MAX] = {};
};

constexpr uint8_t JobDevice(uint16_t jobId) { return static_cast<uint8_t>(jobId >> kJobIdDeviceShift); }
constexpr uint8_t JobNumber(uint16_t jobId) { return static_cast<uint8_t>(jobId); }
constexpr uint16_t MakeJobId(uint8_t device, uint8_t number) {
  return static_cast<uint16_t>((device << kJobIdDeviceShift) | number);
}

// A refusal: the code (by default the caller's bad parameter) and failure.
inline int Refuse(uint16_t *err, uint16_t code = RESULT_BAD_PARAMETER) {
  *err = code;
  return 0;
}

// The largest of the first `count` values (at most 260 are looked at); 0
// for a count of 0.
uint16_t SortedMaximum(uint16_t count, const uint16_t *values);

}  // namespace hostlib

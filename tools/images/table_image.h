// The TABLE image (the package's TABLE file; flash 0x60600000, 22 sectors).
//
// TableImageHeader, little-endian:
//   0    u16       headerLength: where the table data begin (256 here)
//   2    8 chars   programName
//   10   16 chars  programType
//   26   u8        versionMajor (27: 0)
//   28   u8        versionMinor (29: 0)
//   30   u8        versionRevision, 0 = none (31: 0)
//   32   10 chars  createDate
//   42   u16       imageChecksum: OnesComplementSum16 of the table data
//   64   u16       formatMark 0x0200
//   128  u32       bankSize
//   132  u32       bankCount
//   136  u32       0
//   140  u32       tableDataLength
//   144  u32       tableCount
//   148  u32       bankAreaOffset (2048 here)
//   other bytes up to headerLength: 0
// Table data (from headerLength): the offset directory (u32[256], offsets
// from a bank's start), the length directory (u32[256]), then the banks,
// each the value block (u32[256]) followed by the tables at their offsets.
// Every bank has the same layout.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/images/bytes.h"

namespace images {

constexpr uint32_t kTableHeaderLength = 256;
constexpr uint32_t kTableBankAreaOffset = 2048;
constexpr uint32_t kTableAreaBytes = 0x160000;
constexpr uint16_t kTableFormatMark = 0x0200;

struct TableImageParams {
  std::string programName = "KT3318TB";
  std::string programType = "KT-3318 TABLE";
  uint8_t versionMajor = 0x02;
  uint8_t versionMinor = 0x10;
  uint8_t versionRevision = 0;
  std::string createDate = "2024/01/15";
  uint32_t bankCount = 2;
  uint32_t tableCount = 130;
  // values[bank][index]; missing banks or indexes are 0.
  std::vector<std::vector<uint32_t>> values;
  // Table id -> its bytes in each bank (all banks' entries of one id must
  // have the same length; a single entry serves every bank). Ids below
  // tableCount without an entry are empty.
  std::map<uint32_t, std::vector<Bytes>> tables;
};

Bytes BuildTableImage(const TableImageParams& params);
// The sample tables: two banks; THV power values (indexes 40-45, 176) of
// 1350; tables 18-23 the identity base gradation (six blocks of 256 entries
// v * 64, 512 bytes each, back to back, so that table 18 read as 1536
// entries spans them); the head-drive tables 0-17 (1024 or 256 words) and
// the gradation corrections 48-59, 66-95 and 108-113 (256 words each) as
// zeros; the THV humidity corrections 42-47 ((i - 64) / 4, signed) and
// 102-107 (500 + i), 256 words each; the track-correction
// tables 126-129 of kSampleTrackRows[k] rows (values 168 + k, 184 + k and
// 188 + k adding up to it) of kSampleTrackBytesPerRow[k] bytes (value
// 172 + k), byte i of table 126 + k being k * 64 + i + 1.
// The DSP downloads' values and tables: pulse lengths 48 + k and counts
// 56 + k (table index k = 0-5), the overcoat base 68, DSP words 104-141
// (SampleDspWord: both 16-bit halves non-zero); tables 24-41, 60-65 and
// 114-119 of 512 bytes, the track-correction factors 120-125 of 256, byte j
// of table t being SampleDspTableByte(t, j) (1-8 in the factor tables).
// What the print line reads per table index k = 0-5: the line period (value
// k, kSampleLinePeriodUs), the ramp pair's start periods (8 + k, 16 + k) and
// ramp times (24 + k, 32 + k), and the head-drive parameters 72 + k, 80 + k,
// 88 + k, 96 + k (SampleDriveParam).
// The ribbon drive's take-up duty tables 96-100 (table index k = 0-4) of
// kSampleDutyRows bytes SampleTakeUpDuty(k, row), the row being the spool
// diameter in mm less the base diameter (value 64 take-up, 65 supply).
constexpr uint32_t kSamplePulseLength = 20;
constexpr uint32_t kSamplePulseCount = 2;
constexpr uint32_t kSampleOvercoatBase = 200;
constexpr uint32_t SampleDspWord(uint32_t index) { return (index << 16) | (3 * index); }
constexpr uint8_t SampleDspTableByte(uint32_t id, uint32_t j) {
  return static_cast<uint8_t>(id >= 120 && id < 126 ? 1 + (id + j) % 8 : id * 5 + j * 3);
}
constexpr uint32_t kSampleLinePeriodUs = 2000;
// The ramps' start periods lie between the line period and 2617 us, so that
// a ramp starts at 382 pulses per second or more and ends at its top speed
// at every "Stp/Lx1000" setting (1000-8000).
constexpr uint32_t kSampleRampStartUs[2] = {2500, 2400};  // ramp A, ramp B
constexpr uint32_t kSampleRampMs[2] = {100, 150};
constexpr uint32_t SampleDriveParam(uint32_t index) { return 0x0800u + index; }
constexpr uint32_t kSampleDutyBaseMm[2] = {30, 32};  // take-up, supply
constexpr uint32_t kSampleDutyRows = 64;
constexpr uint8_t SampleTakeUpDuty(uint32_t k, uint32_t row) { return static_cast<uint8_t>(50 + 2 * k - row / 2); }
constexpr uint32_t kSampleTrackRows[4] = {3, 4, 5, 6};
constexpr uint32_t kSampleTrackBytesPerRow[4] = {8, 16, 12, 20};
TableImageParams SampleTableParams();

// The firmware's start-up check: 0 valid, -1 format mark, -3 too large,
// -2 checksum.
int CheckTableImage(const Bytes& image);
// Flash-image offsets of a value and of a table, as the firmware's lookups
// compute them.
uint32_t TableValueOffset(const Bytes& image, uint32_t bank, uint32_t index);
uint32_t TableOffset(const Bytes& image, uint32_t bank, uint32_t id);

}  // namespace images

// The error table: every fault and operator condition of the printer by
// its index, with the code the host sees, its kind, its LCD text and
// suffix, and whether the history records it. A lower index is more
// important; lookups stop at the first matching row.
#pragma once

#include <cstdint>

// Bit number in the error set and display priority; 0xFFFF is no error.
using ErrorIndex = uint16_t;
// Major byte << 8 | minor byte, as the host and the history see it.
using ErrorCode = uint16_t;

enum ErrorKind : uint32_t {
  ERRKIND_ERROR = 0,      // a fault
  ERRKIND_ATTENTION = 1,  // the operator is needed: covers, media, sorter
};

// One row of the table. The suffix is the code's minor byte as two decimal
// digits (minus 100 from 100 on, so unit R shows unit L's digits), or two
// blanks for none.
struct ErrorInfo {
  uint32_t ulIndex;
  uint32_t ulCode;
  uint32_t ulKind;
  const char* pszText;    // 16 characters, blank-padded
  const char* pszSuffix;  // 2 characters
  uint32_t ulHistory;     // non-zero: recorded when first raised
};

// Families of the error set.
namespace erridx {
constexpr ErrorIndex kControlFirst = 0x0101;
constexpr ErrorIndex kDspStart = 0x0109;  // a DSP program did not start
constexpr ErrorIndex kTableChecksum = 0x010A;  // the TABLE image's checksum or size
constexpr ErrorIndex kTableFormat = 0x010C;    // the TABLE image's format word
constexpr ErrorIndex kDspTableTimeout = 0x0116;   // the DSP did not take a table
constexpr ErrorIndex kDspTableChecksum = 0x0117;  // the DSP found a table's checksum wrong
constexpr ErrorIndex kLamiImageWrite = 0x0118;  // a lamination slot's write or copy failed
constexpr ErrorIndex kLamiImageCheck = 0x0119;  // a lamination slot failed its check
constexpr ErrorIndex kCisImage = 0x011A;        // the CIS start-up (EM3)
constexpr ErrorIndex kSerialNumber = 0x011E;    // the factory's placeholder serial number
constexpr ErrorIndex kPpaComm = 0x01F1;
constexpr ErrorIndex kHeadResistanceFirst = 0x0120;  // a head's resistance is invalid
constexpr ErrorIndex kHeadResistanceLast = 0x0122;
constexpr ErrorIndex kHeadSettingL = 0x0123;  // unit L's settings differ from its head EEPROM
constexpr ErrorIndex kHeadSettingR = 0x0124;
constexpr ErrorIndex kCoverFirst = 0x0600;
constexpr ErrorIndex kPaperCover = 0x0605;
constexpr ErrorIndex kFrontCover = 0x0607;
constexpr ErrorIndex kCoverLast = 0x0608;
constexpr ErrorIndex kJamFirst = 0x1500;
constexpr ErrorIndex kJamLast = 0x15FE;   // the jam rows that count as raised jams
constexpr ErrorIndex kJamRange = 0x15FF;  // the jam family's last number
constexpr ErrorIndex kIncorrectRibL = 0x1600;
constexpr ErrorIndex kIncorrectRibR = 0x1601;
constexpr ErrorIndex kTakeOutPaper = 0x1602;
constexpr ErrorIndex kRibbonEmptyL = 0x1603;
constexpr ErrorIndex kRibbonEmptyR = 0x1604;
constexpr ErrorIndex kRibbonMismatch = 0x1605;
constexpr ErrorIndex kIncorrectPaper = 0x1606;
constexpr ErrorIndex kPaperEmpty = 0x1607;
constexpr ErrorIndex kLoadPaper = 0x1608;
constexpr ErrorIndex kPaperRolledBack = 0x1609;
constexpr ErrorIndex kReadyLoading = 0x160A;
constexpr ErrorIndex kLoadPaperRollback = 0x160B;
constexpr ErrorIndex kPpaError = 0x1708;
constexpr ErrorIndex kNone = 0xFFFF;
}  // namespace erridx

constexpr uint32_t ERROR_TABLE_ROWS = 248;
constexpr uint32_t ERROR_TABLE_END = 0xFFFFFFFFu;

// The rows in their fixed order, then the end row (every word all ones).
extern const ErrorInfo g_ErrorTable[ERROR_TABLE_ROWS + 1];

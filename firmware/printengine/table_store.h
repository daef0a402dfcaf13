// The TABLE image store: every numeric table and tuning value of the print
// engine, the head drive, the mechanism and the ribbon code, kept in NOR
// flash at 0x60600000 (22 sectors of 64 KB), checked at start-up, rewritten
// by a TABLE update, and looked up in place (nothing is copied to RAM).
//
// TableImageHeader (the first 152 bytes; little-endian, texts not
// terminated):
//   0    u16       headerLength: where the table data begin; the checksum
//                  covers the data, not the header
//   2    char[8]   programName
//   10   char[16]  programType
//   26   u8        versionMajor, 28 u8 versionMinor
//   30   u8        versionRevision (0 or 0xFF: none)
//   32   char[10]  createDate
//   42   u16       imageChecksum: OnesComplementSum16 of the tableDataLength
//                  bytes from headerLength (an odd last byte is left out)
//   64   u16       formatMark, 0x0200
//   128  u32       bankSize: bytes from one bank to the next
//   132  u32       bankCount
//   140  u32       tableDataLength
//   144  u32       tableCount: valid table ids are 0 .. tableCount - 1
//   148  u32       bankAreaOffset: bank 0's offset in the table data
// Table data (from headerLength):
//   0     u32[256]  offset directory: table id -> offset from a bank's start
//   1024  u32[256]  length directory: table id -> length in bytes
//   bankAreaOffset + b * bankSize: bank b, its value block (u32[256])
//                  followed by its tables; table ids 126-129 always come
//                  from bank 0.
// headerLength + tableDataLength never exceeds the area's 0x160000 bytes.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

constexpr PhysAddr TABLE_FLASH = 0x60600000u;
constexpr uint32_t TABLE_AREA_SECTORS = 22;
constexpr uint32_t TABLE_AREA_BYTES = 0x160000u;
constexpr uint32_t TABLE_HEADER_BYTES = 152;
constexpr uint16_t TABLE_FORMAT_MARK = 0x0200;
constexpr uint32_t TABLE_VALUE_COUNT = 256;
// Header fields (offsets from the image start).
constexpr uint32_t TABLE_HDR_HEADER_LENGTH = 0;
constexpr uint32_t TABLE_HDR_PROGRAM_NAME = 2;
constexpr uint32_t TABLE_HDR_PROGRAM_TYPE = 10;
constexpr uint32_t TABLE_HDR_VERSION_MAJOR = 26;
constexpr uint32_t TABLE_HDR_VERSION_MINOR = 28;
constexpr uint32_t TABLE_HDR_VERSION_REVISION = 30;
constexpr uint32_t TABLE_HDR_CREATE_DATE = 32;
constexpr uint32_t TABLE_HDR_IMAGE_CHECKSUM = 42;
constexpr uint32_t TABLE_HDR_FORMAT_MARK = 64;
constexpr uint32_t TABLE_HDR_BANK_SIZE = 128;
constexpr uint32_t TABLE_HDR_BANK_COUNT = 132;
constexpr uint32_t TABLE_HDR_DATA_LENGTH = 140;
constexpr uint32_t TABLE_HDR_TABLE_COUNT = 144;
constexpr uint32_t TABLE_HDR_BANK_AREA_OFFSET = 148;
// The length directory's place in the table data.
constexpr uint32_t TABLE_LENGTH_DIRECTORY = 1024;

// The header in flash (TABLE_FLASH once InitTableData has run) and the
// selected bank (0 at power-on, changed only by SelectTableBank).
extern PhysAddr g_pTableHeader;
extern uint32_t g_ulTableBank;

// The image in flash: 0 valid; -1 formatMark is not 0x0200; -3
// tableDataLength > 0x160000 - headerLength; -2 the checksum differs. Sets
// g_pTableHeader first.
int32_t VerifyTableImage();
// The start-up step: VerifyTableImage. Lookups are valid only after it
// succeeded: they read the header and directories without checking again.
int32_t InitTableData();

// TABLE_FLASH + ulOffset, unchecked.
PhysAddr GetTableFlashAddress(uint32_t ulOffset);
// The header field at the offset, zero-extended: a byte at 26, 28 and 30, a
// u16 at 0, 42 and 64, a u32 at every other offset.
uint32_t ReadTableHeaderField(uint32_t ulOffset);

// Writes the TABLE image received at the start of the download buffer
// (ulReceivedBytes of it) into flash, header included: 0 written and
// verified; -3 too large for the area, or its lengths reach past the bytes
// received; -2 the checksum differs or the format mark is one the next
// start-up would refuse; -1 programming or verification failed (the area
// then holds a partly written image). Flash is untouched for -2 and -3.
// g_pTableHeader and the selected bank stay as they are.
int32_t UpdateTableImage(uint32_t ulReceivedBytes);

// 0 when ulBank < bankCount, else -1.
int32_t IsTableBankValid(uint32_t ulBank);
// 0 and the bank selected, or -1 and the previous bank kept.
int32_t SelectTableBank(uint32_t ulBank);
uint32_t GetTableBank();

// Value ulIndex (0-255) of the selected bank's value block: 0, or -2 for an
// index above 255 (*pulValue unchanged).
int32_t GetTableValue(uint32_t ulIndex, uint32_t* pulValue);
// The flash address of table ulId in the selected bank (bank 0 for ids
// 126-129): 0, or -2 for an id at or above tableCount (*pulAddress
// unchanged).
int32_t GetTableAddress(uint32_t ulId, PhysAddr* pulAddress);
// The length of table ulId, the same in every bank: 0, or -2 for an id at or
// above tableCount (*pulLength unchanged).
int32_t GetTableLength(uint32_t ulId, uint32_t* pulLength);

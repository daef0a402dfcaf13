#include "firmware/printengine/table_store.h"

#include "firmware/devices/checksum.h"
#include "firmware/devices/flash_area_writer.h"
#include "firmware/platform/ioctl.h"

PhysAddr g_pTableHeader;
uint32_t g_ulTableBank;

namespace {

// Every offset the store forms stays inside the area; one that would not is
// this value.
constexpr uint32_t kOutside = 0xFFFFFFFFu;
constexpr uint32_t kDirectoryEntries = 256;
constexpr uint32_t kDirectoryBytes = 2 * 4 * kDirectoryEntries;
constexpr uint32_t kValueBlockBytes = 4 * TABLE_VALUE_COUNT;
constexpr uint32_t kFirstSharedId = 126;
constexpr uint32_t kLastSharedId = 129;

uint32_t Add(uint32_t ulA, uint32_t ulB) {
  return ulA > TABLE_AREA_BYTES || ulB > TABLE_AREA_BYTES - ulA ? kOutside : ulA + ulB;
}
uint32_t Times(uint32_t ulA, uint32_t ulCount) {
  if (ulCount == 0) return 0;
  return ulA > TABLE_AREA_BYTES / ulCount ? kOutside : ulA * ulCount;
}

// Reads by physical address; a field at a misaligned address (a header
// field asked for by any offset, or an image that failed its check) is read
// a byte at a time.
uint32_t ReadU32(PhysAddr ulAddr) {
  uint32_t ulValue = 0;
  if ((ulAddr & 3u) == 0) {
    IoctlRead32(ulAddr, &ulValue);
    return ulValue;
  }
  for (uint32_t i = 0; i < 4; ++i) {
    uint8_t uc = 0;
    IoctlRead8(ulAddr + i, &uc);
    ulValue |= static_cast<uint32_t>(uc) << (8 * i);
  }
  return ulValue;
}
uint32_t ReadU16(PhysAddr ulAddr) {
  uint16_t usValue = 0;
  if ((ulAddr & 1u) == 0) {
    IoctlRead16(ulAddr, &usValue);
    return usValue;
  }
  uint8_t ucLow = 0;
  uint8_t ucHigh = 0;
  IoctlRead8(ulAddr, &ucLow);
  IoctlRead8(ulAddr + 1, &ucHigh);
  return static_cast<uint32_t>(ucLow | (ucHigh << 8));
}

// The header fields that place things, of an image at a bus address.
struct TableLayout {
  uint32_t ulHeaderLength;
  uint32_t ulDataLength;
  uint32_t ulBankSize;
  uint32_t ulBankCount;
  uint32_t ulTableCount;
  uint32_t ulBankAreaOffset;
};

TableLayout LayoutOf(PhysAddr ulImage) {
  return {ReadU16(ulImage + TABLE_HDR_HEADER_LENGTH), ReadU32(ulImage + TABLE_HDR_DATA_LENGTH),
          ReadU32(ulImage + TABLE_HDR_BANK_SIZE),     ReadU32(ulImage + TABLE_HDR_BANK_COUNT),
          ReadU32(ulImage + TABLE_HDR_TABLE_COUNT),   ReadU32(ulImage + TABLE_HDR_BANK_AREA_OFFSET)};
}

bool Aligned(uint32_t ulValue) { return (ulValue & 3u) == 0; }

// Whether every lookup of a valid id, value index and bank lands inside the
// image's own data, on a word boundary: the directories, every bank and
// every table of every bank. The data length is already within the area.
bool LayoutHolds(PhysAddr ulImage, const TableLayout& l) {
  if (l.ulBankCount == 0 || l.ulTableCount > kDirectoryEntries) return false;
  if (!Aligned(l.ulHeaderLength) || !Aligned(l.ulBankAreaOffset) || !Aligned(l.ulBankSize)) return false;
  if (l.ulDataLength < kDirectoryBytes || l.ulBankSize < kValueBlockBytes) return false;
  const uint32_t ulBanksEnd = Add(l.ulBankAreaOffset, Times(l.ulBankSize, l.ulBankCount));
  if (ulBanksEnd == kOutside || ulBanksEnd > l.ulDataLength) return false;
  const PhysAddr ulDirectory = ulImage + l.ulHeaderLength;
  for (uint32_t ulId = 0; ulId < l.ulTableCount; ++ulId) {
    const uint32_t ulOffset = ReadU32(ulDirectory + 4 * ulId);
    const uint32_t ulEnd = Add(ulOffset, ReadU32(ulDirectory + TABLE_LENGTH_DIRECTORY + 4 * ulId));
    if (!Aligned(ulOffset) || ulEnd == kOutside || ulEnd > l.ulBankSize) return false;
  }
  return true;
}

// The check of an image at a bus address, of which ulAvailable bytes are
// there: 0, -1 format mark, -3 too large, -2 checksum, -3 a layout that
// leaves its data (checked last: what the checksum covers is intact then).
int32_t CheckImage(PhysAddr ulImage, uint32_t ulAvailable, uint32_t ulReadMode) {
  if (ReadU16(ulImage + TABLE_HDR_FORMAT_MARK) != TABLE_FORMAT_MARK) return -1;
  const TableLayout l = LayoutOf(ulImage);
  if (l.ulDataLength > TABLE_AREA_BYTES - l.ulHeaderLength) return -3;
  if (l.ulHeaderLength + l.ulDataLength > ulAvailable) return -3;
  const uint16_t usChecksum = static_cast<uint16_t>(ReadU16(ulImage + TABLE_HDR_IMAGE_CHECKSUM));
  if (VerifyChecksum16(ulImage + l.ulHeaderLength, l.ulDataLength, usChecksum, ulReadMode) != 0) return -2;
  return LayoutHolds(ulImage, l) ? 0 : -3;
}

// The offset from the image start of a bank's start, or kOutside.
uint32_t BankOffset(const TableLayout& l, uint32_t ulBank) {
  return Add(Add(l.ulHeaderLength, l.ulBankAreaOffset), Times(l.ulBankSize, ulBank));
}

// The flash address of ulBytes at the offset, or 0 when they leave the area.
PhysAddr InArea(uint32_t ulOffset, uint32_t ulBytes) {
  const uint32_t ulEnd = Add(ulOffset, ulBytes);
  return ulEnd == kOutside ? 0 : g_pTableHeader + ulOffset;
}

// A table id the directories hold and the image counts.
bool IdValid(const TableLayout& l, uint32_t ulId) { return ulId < l.ulTableCount && ulId < kDirectoryEntries; }

uint32_t DirectoryEntry(const TableLayout& l, uint32_t ulDirectory, uint32_t ulId) {
  return ReadU32(g_pTableHeader + l.ulHeaderLength + ulDirectory + 4 * ulId);
}

}  // namespace

int32_t VerifyTableImage() {
  g_pTableHeader = TABLE_FLASH;
  return CheckImage(g_pTableHeader, TABLE_AREA_BYTES, CHECKSUM_READ_BLOCK);
}

int32_t InitTableData() { return VerifyTableImage(); }

PhysAddr GetTableFlashAddress(uint32_t ulOffset) { return TABLE_FLASH + ulOffset; }

uint32_t ReadTableHeaderField(uint32_t ulOffset) {
  const PhysAddr ulAddr = GetTableFlashAddress(ulOffset);
  switch (ulOffset) {
    case TABLE_HDR_VERSION_MAJOR:
    case TABLE_HDR_VERSION_MINOR:
    case TABLE_HDR_VERSION_REVISION: {
      uint8_t uc = 0;
      IoctlRead8(ulAddr, &uc);
      return uc;
    }
    case TABLE_HDR_HEADER_LENGTH:
    case TABLE_HDR_IMAGE_CHECKSUM:
    case TABLE_HDR_FORMAT_MARK:
      return ReadU16(ulAddr);
    default:
      return ReadU32(ulAddr);
  }
}

int32_t UpdateTableImage(uint32_t ulReceivedBytes) {
  if (ulReceivedBytes < TABLE_HEADER_BYTES || ulReceivedBytes > TABLE_AREA_BYTES) return -3;
  const int32_t lCheck = CheckImage(DOWNLOAD_BUFFER, ulReceivedBytes, CHECKSUM_READ_DIRECT);
  // An image the next start-up would refuse for its format mark is refused
  // now, as a bad checksum is, so the table in flash stays.
  if (lCheck == -1) return -2;
  if (lCheck != 0) return lCheck;
  const TableLayout l = LayoutOf(DOWNLOAD_BUFFER);
  // The checksum word goes last: until it is written the image cannot pass.
  const FlashAreaWrite write{TABLE_FLASH, TABLE_AREA_SECTORS, DOWNLOAD_BUFFER, l.ulHeaderLength + l.ulDataLength,
                             false, TABLE_HDR_IMAGE_CHECKSUM};
  return WriteFlashArea(write) == 0 ? 0 : -1;
}

int32_t IsTableBankValid(uint32_t ulBank) {
  return ulBank < ReadTableHeaderField(TABLE_HDR_BANK_COUNT) ? 0 : -1;
}

int32_t SelectTableBank(uint32_t ulBank) {
  if (IsTableBankValid(ulBank) != 0) return -1;
  g_ulTableBank = ulBank;
  return 0;
}

uint32_t GetTableBank() { return g_ulTableBank; }

int32_t GetTableValue(uint32_t ulIndex, uint32_t* pulValue) {
  if (ulIndex >= TABLE_VALUE_COUNT) return -2;
  const TableLayout l = LayoutOf(g_pTableHeader);
  const PhysAddr ulAddr = InArea(Add(BankOffset(l, g_ulTableBank), 4 * ulIndex), 4);
  if (ulAddr == 0) return -2;
  *pulValue = ReadU32(ulAddr);
  return 0;
}

int32_t GetTableAddress(uint32_t ulId, PhysAddr* pulAddress) {
  const TableLayout l = LayoutOf(g_pTableHeader);
  if (!IdValid(l, ulId)) return -2;
  const uint32_t ulBank = ulId >= kFirstSharedId && ulId <= kLastSharedId ? 0 : g_ulTableBank;
  const uint32_t ulOffset = Add(BankOffset(l, ulBank), DirectoryEntry(l, 0, ulId));
  const PhysAddr ulAddr = InArea(ulOffset, DirectoryEntry(l, TABLE_LENGTH_DIRECTORY, ulId));
  if (ulAddr == 0) return -2;
  *pulAddress = ulAddr;
  return 0;
}

int32_t GetTableLength(uint32_t ulId, uint32_t* pulLength) {
  const TableLayout l = LayoutOf(g_pTableHeader);
  if (!IdValid(l, ulId)) return -2;
  *pulLength = DirectoryEntry(l, TABLE_LENGTH_DIRECTORY, ulId);
  return 0;
}

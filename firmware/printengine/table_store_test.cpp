// The TABLE store on the virtual board: lookups in a TABLE image laid out
// by the image tools, the start-up check and the update, each against the
// same images (sizes at the limit, one byte over and wrapped, an odd data
// length, bad marks, sums and layouts).
#include "firmware/printengine/table_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "firmware/devices/flash_area_writer.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "sim/board.h"
#include "sim/memory/nor_flash.h"
#include "tests/support/machine_test.h"
#include "tools/images/checksums.h"
#include "tools/images/flash_map.h"
#include "tools/images/table_image.h"

namespace {

using testsupport::kStartUp;
using testsupport::Ms;

constexpr uint32_t kHeaderLength = images::kTableHeaderLength;

sim::NorFlash& Flash() { return *sim::Board::Current().FindDevice<sim::NorFlash>(); }

// Three banks, ids 0-130: every value and every table of ids 124-130 tells
// its bank apart, so a lookup in the wrong bank shows.
images::TableImageParams LookupParams() {
  images::TableImageParams p;
  p.bankCount = 3;
  p.tableCount = 131;
  p.values.assign(3, std::vector<uint32_t>(256));
  for (uint32_t b = 0; b < 3; ++b) {
    for (uint32_t i = 0; i < 256; ++i) p.values[b][i] = 0x10000u * (b + 1) + i;
  }
  for (uint32_t id = 124; id <= 130; ++id) {
    std::vector<images::Bytes> perBank;
    for (uint8_t b = 0; b < 3; ++b) perBank.push_back(images::Bytes(4 + id % 3 * 2, static_cast<uint8_t>(id + 16 * b)));
    p.tables[id] = perBank;
  }
  p.tables[0] = {images::Bytes(6, 0x5A)};
  return p;
}

void Reseal(images::Bytes& image) {
  const uint32_t data = images::GetU32LE(image, 140);
  images::PutU16LE(image, 42, images::OnesComplementSum16(image.data() + kHeaderLength, data));
}

void PutInFlash(const images::Bytes& image) {
  const images::Bytes erased(images::kTableAreaBytes, 0xFF);
  Flash().LoadImage(images::kAreaTable.offset, erased.data(), images::kTableAreaBytes);
  Flash().LoadImage(images::kAreaTable.offset, image.data(), static_cast<uint32_t>(image.size()));
}

void PutInDownloadBuffer(const images::Bytes& image) {
  std::memcpy(PhysToHost(DOWNLOAD_BUFFER, static_cast<uint32_t>(image.size())), image.data(), image.size());
}

class TableStore : public testsupport::AppBodyTest {
 protected:
  void RunInApp(std::function<void()> body) { AppBodyTest::RunInApp(std::move(body), kStartUp + Ms(600000)); }
};

TEST_F(TableStore, LookupsFindValuesAndTablesOfTheSelectedBank) {
  RunInApp([] {
    const images::Bytes image = images::BuildTableImage(LookupParams());
    ASSERT_EQ(images::CheckTableImage(image), 0);
    PutInFlash(image);
    EXPECT_EQ(GetTableBank(), 0u) << "bank 0 at power-on";
    ASSERT_EQ(InitTableData(), 0);
    EXPECT_EQ(g_pTableHeader, TABLE_FLASH);

    EXPECT_EQ(SelectTableBank(2), 0);
    EXPECT_EQ(GetTableBank(), 2u);
    EXPECT_EQ(SelectTableBank(3), -1) << "bankCount is no bank";
    EXPECT_EQ(GetTableBank(), 2u) << "a refused bank keeps the previous one";
    EXPECT_EQ(IsTableBankValid(2), 0);
    EXPECT_EQ(IsTableBankValid(0xFFFFFFFFu), -1);

    struct ValueCase {
      uint32_t ulIndex;
      int32_t lResult;
      uint32_t ulValue;
    };
    for (const ValueCase& c : {ValueCase{0, 0, 0x30000u}, ValueCase{255, 0, 0x300FFu}, ValueCase{256, -2, 0xDEADu},
                               ValueCase{0xFFFFFFFFu, -2, 0xDEADu}}) {
      uint32_t ulValue = 0xDEADu;
      EXPECT_EQ(GetTableValue(c.ulIndex, &ulValue), c.lResult) << c.ulIndex;
      EXPECT_EQ(ulValue, c.ulValue) << c.ulIndex;
    }

    // Ids 126-129 come from bank 0 whatever bank is selected; their
    // neighbours from the selected bank. Lengths do not depend on the bank.
    struct TableCase {
      uint32_t ulId;
      uint32_t ulBank;
    };
    for (const TableCase& c : {TableCase{124, 2}, TableCase{125, 2}, TableCase{126, 0}, TableCase{127, 0},
                               TableCase{128, 0}, TableCase{129, 0}, TableCase{130, 2}}) {
      PhysAddr ulAddr = 0;
      ASSERT_EQ(GetTableAddress(c.ulId, &ulAddr), 0) << c.ulId;
      EXPECT_EQ(ulAddr, TABLE_FLASH + images::TableOffset(image, c.ulBank, c.ulId)) << c.ulId;
      EXPECT_EQ(HwRead8(ulAddr), static_cast<uint8_t>(c.ulId + 16 * c.ulBank)) << c.ulId;
      for (uint32_t ulBank = 0; ulBank < 3; ++ulBank) {
        ASSERT_EQ(SelectTableBank(ulBank), 0);
        uint32_t ulLength = 0;
        EXPECT_EQ(GetTableLength(c.ulId, &ulLength), 0);
        EXPECT_EQ(ulLength, 4 + c.ulId % 3 * 2) << c.ulId << " in bank " << ulBank;
      }
      ASSERT_EQ(SelectTableBank(2), 0);
    }
    for (const uint32_t ulId : {131u, 256u, 0x40000001u}) {
      PhysAddr ulAddr = 0x1234u;
      uint32_t ulLength = 0x1234u;
      EXPECT_EQ(GetTableAddress(ulId, &ulAddr), -2) << ulId;
      EXPECT_EQ(GetTableLength(ulId, &ulLength), -2) << ulId;
      EXPECT_EQ(ulAddr, 0x1234u);
      EXPECT_EQ(ulLength, 0x1234u);
    }
  });
}

TEST_F(TableStore, HeaderFieldsAreReadAtTheirWidths) {
  RunInApp([] {
    images::TableImageParams p = LookupParams();
    p.versionMajor = 0x03;
    p.versionMinor = 0x21;
    p.versionRevision = 0xFF;
    images::Bytes image = images::BuildTableImage(p);
    // The bytes after the one-byte fields are not part of them.
    images::PutU8(image, 27, 0x77);
    images::PutU8(image, 29, 0x77);
    images::PutU8(image, 31, 0x77);
    PutInFlash(image);
    ASSERT_EQ(InitTableData(), 0);
    struct Case {
      uint32_t ulOffset;
      uint32_t ulValue;
    };
    const Case cases[] = {
        {TABLE_HDR_HEADER_LENGTH, kHeaderLength},
        {TABLE_HDR_VERSION_MAJOR, 0x03},
        {TABLE_HDR_VERSION_MINOR, 0x21},
        {TABLE_HDR_VERSION_REVISION, 0xFF},
        {TABLE_HDR_IMAGE_CHECKSUM, images::GetU16LE(image, 42)},
        {TABLE_HDR_FORMAT_MARK, 0x0200},
        {TABLE_HDR_BANK_COUNT, 3},
        {TABLE_HDR_TABLE_COUNT, 131},
        {TABLE_HDR_DATA_LENGTH, images::GetU32LE(image, 140)},
        {TABLE_HDR_PROGRAM_NAME, images::GetU32LE(image, 2)},  // any other offset: four bytes
    };
    for (const Case& c : cases) EXPECT_EQ(ReadTableHeaderField(c.ulOffset), c.ulValue) << c.ulOffset;
    EXPECT_EQ(GetTableFlashAddress(0x1000), 0x60601000u);
  });
}

// Each image is checked at start-up (in flash) and offered as an update (in
// the download buffer). A refused update leaves the flash untouched; an
// accepted one leaves exactly the image, which the next start-up takes.
TEST_F(TableStore, StartUpAndUpdateCheckTheSameImagesAlike) {
  RunInApp([] {
    const images::Bytes base = images::BuildTableImage(LookupParams());
    const uint32_t ulBaseData = images::GetU32LE(base, 140);
    // Grown with erased bytes (which leave a ones'-complement sum as it
    // is) to the area's end.
    auto atLimit = [&] {
      images::Bytes b = base;
      b.resize(images::kTableAreaBytes, 0xFF);
      images::PutU32LE(b, 140, images::kTableAreaBytes - kHeaderLength);
      Reseal(b);
      return b;
    };
    struct Case {
      const char* what;
      std::function<void(images::Bytes&)> change;
      int32_t lAtStartUp;
      int32_t lOnUpdate;
      int32_t lReceivedDelta = 0;  // added to the image's size as the received count
    };
    const Case cases[] = {
        {"the image", [](images::Bytes&) {}, 0, 0},
        {"data up to the area's end", [&](images::Bytes& b) { b = atLimit(); }, 0, 0},
        {"one byte more than the area",
         [&](images::Bytes& b) {
           b = atLimit();
           images::PutU32LE(b, 140, images::kTableAreaBytes - kHeaderLength + 1);
         },
         -3, -3},
        {"a data length that wraps the total to 0",
         [](images::Bytes& b) { images::PutU32LE(b, 140, 0u - kHeaderLength); }, -3, -3},
        {"an odd data length: the last byte is not summed",
         [&](images::Bytes& b) {
           b.push_back(0xAB);
           images::PutU32LE(b, 140, ulBaseData + 1);
         },
         0, 0},
        {"a wrong format mark", [](images::Bytes& b) { images::PutU16LE(b, 64, 0x0201); }, -1, -2},
        {"a data byte changed", [](images::Bytes& b) { b[kHeaderLength + 3000] ^= 0x10; }, -2, -2},
        {"lengths past the bytes received", [](images::Bytes&) {}, 0, -3, -1},
        {"more banks than the data hold", [](images::Bytes& b) { images::PutU32LE(b, 132, 4); }, -3, -3},
        {"a bank count that wraps the banks' end",
         [](images::Bytes& b) { images::PutU32LE(b, 132, 0x80000001u); }, -3, -3},
        {"a table reaching past its bank",
         [](images::Bytes& b) {
           images::PutU32LE(b, kHeaderLength + 4 * 130, images::GetU32LE(b, 128) - 2);
           Reseal(b);
         },
         -3, -3},
        {"no bank at all", [](images::Bytes& b) { images::PutU32LE(b, 132, 0); }, -3, -3},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      images::Bytes image = base;
      c.change(image);
      PutInFlash(image);
      EXPECT_EQ(InitTableData(), c.lAtStartUp);

      PutInFlash(base);
      PutInDownloadBuffer(image);
      const uint64_t ulOps = Flash().OperationCount();
      const uint32_t ulReceived = static_cast<uint32_t>(image.size() + c.lReceivedDelta);
      EXPECT_EQ(UpdateTableImage(ulReceived), c.lOnUpdate);
      if (c.lOnUpdate != 0) {
        EXPECT_EQ(Flash().OperationCount(), ulOps) << "refused before flash is touched";
        EXPECT_EQ(std::memcmp(Flash().Array() + images::kAreaTable.offset, base.data(), base.size()), 0);
        continue;
      }
      EXPECT_EQ(std::memcmp(Flash().Array() + images::kAreaTable.offset, image.data(), image.size()), 0);
      EXPECT_EQ(InitTableData(), 0);
    }
    // Fewer bytes than a header, or more than the area holds.
    PutInDownloadBuffer(base);
    EXPECT_EQ(UpdateTableImage(TABLE_HEADER_BYTES - 1), -3);
    EXPECT_EQ(UpdateTableImage(TABLE_AREA_BYTES + 1), -3);
  });
}

// The update leaves the selected bank and the header pointer as they were.
TEST_F(TableStore, AnUpdateKeepsTheSelectedBank) {
  RunInApp([] {
    PutInFlash(images::BuildTableImage(LookupParams()));
    ASSERT_EQ(InitTableData(), 0);
    ASSERT_EQ(SelectTableBank(1), 0);
    images::TableImageParams p = LookupParams();
    p.values[1][7] = 0xCAFEu;
    const images::Bytes image = images::BuildTableImage(p);
    PutInDownloadBuffer(image);
    ASSERT_EQ(UpdateTableImage(static_cast<uint32_t>(image.size())), 0);
    EXPECT_EQ(GetTableBank(), 1u);
    EXPECT_EQ(g_pTableHeader, TABLE_FLASH);
    uint32_t ulValue = 0;
    EXPECT_EQ(GetTableValue(7, &ulValue), 0);
    EXPECT_EQ(ulValue, 0xCAFEu) << "lookups read the new image in place";
  });
}

// Lookups on an image that failed its check read what the flash holds, but
// never outside the TABLE area.
TEST_F(TableStore, LookupsInAnUncheckedImageStayInTheArea) {
  RunInApp([] {
    images::Bytes image = images::BuildTableImage(LookupParams());
    images::PutU32LE(image, 148, 0x7FFFFFF0u);  // bank 0 far beyond the flash
    images::PutU32LE(image, 144, 0xFFFFFFFFu);
    PutInFlash(image);
    EXPECT_EQ(InitTableData(), -3);
    uint32_t ulValue = 0x55u;
    EXPECT_EQ(GetTableValue(3, &ulValue), -2);
    EXPECT_EQ(ulValue, 0x55u);
    PhysAddr ulAddr = 0;
    EXPECT_EQ(GetTableAddress(125, &ulAddr), -2);
    EXPECT_EQ(GetTableAddress(200, &ulAddr), -2);
    uint32_t ulLength = 0;
    EXPECT_EQ(GetTableLength(255, &ulLength), 0) << "the directory itself lies in the area";
    EXPECT_EQ(GetTableLength(256, &ulLength), -2) << "the directories end at 256";
  });
}

}  // namespace

// TABLE image bytes into the firmware's TABLE store: a printer board (the
// real firmware, its application replaced by a loop that runs test steps)
// boots once per process. The first input byte picks where the rest goes:
// - even: into the TABLE area of the flash, then the start-up check and
//   every kind of lookup (values, table addresses and lengths in several
//   banks, header fields), checked or not;
// - odd: into the download buffer as a received update (the second byte
//   shortens the received count), then UpdateTableImage.
// Properties: no lookup or check reads outside the flash (the board sees
// no fault); what the firmware accepts the image tools' independent check
// accepts too, and its lookups then agree with the tools' offsets and stay
// inside the image; a refused update touches no flash, an accepted one
// leaves exactly the image, which the start-up check then takes.
#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

#include "firmware/devices/flash_area_writer.h"
#include "firmware/hal/board.h"
#include "firmware/hal/hw.h"
#include "firmware/hal/kernel.h"
#include "firmware/printengine/table_store.h"
#include "sim/machine.h"
#include "sim/memory/nor_flash.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/fuzz/fuzz_step_printer.h"
#include "tools/images/flash_map.h"
#include "tools/images/table_image.h"

namespace {

constexpr size_t kImageMax = 0x20000;
constexpr sim::Nanos kStepLimit = 600000 * sim::kNsPerMs;
constexpr uint32_t kBanksLooked = 4;

sim::Machine* g_machine = nullptr;
size_t g_lastFlashBytes = images::kTableAreaBytes;  // the area starts erased below
size_t g_lastBufferBytes = 0;

sim::Machine& Printer() { return *(g_machine = &fuzz::StepPrinter()); }

sim::NorFlash& Flash() { return *g_machine->GetBoard().FindDevice<sim::NorFlash>(); }

void RunStep(std::function<void()> step) {
  fuzz::Require(Printer().RunStep(std::move(step), kStepLimit), "a step ends");
  fuzz::Require(g_machine->UnexpectedFaults().empty(), "the board sees no fault");
}

// The lookups the firmware answers, against the tools' reading of the same
// bytes when the firmware took the image.
void LookUp(const images::Bytes& area, bool bChecked) {
  const uint32_t ulImageEnd = images::GetU16LE(area, 0) + images::GetU32LE(area, 140);
  const uint32_t ulBanks = std::min(images::GetU32LE(area, 132), kBanksLooked);
  const uint32_t ulTables = images::GetU32LE(area, 144);
  for (uint32_t ulBank = 0; ulBank < kBanksLooked; ++ulBank) {
    const int32_t lSelected = SelectTableBank(ulBank);
    fuzz::Require(!bChecked || (lSelected == 0) == (ulBank < ulBanks), "the banks below the count are taken");
    if (lSelected != 0) continue;
    for (const uint32_t ulIndex : {0u, 1u, 127u, 255u, 256u}) {
      uint32_t ulValue = 0;
      const int32_t lResult = GetTableValue(ulIndex, &ulValue);
      if (!bChecked) continue;
      fuzz::Require((lResult == 0) == (ulIndex < 256), "every value index below 256 is found");
      if (lResult == 0) {
        fuzz::Require(ulValue == images::GetU32LE(area, images::TableValueOffset(area, ulBank, ulIndex)),
                      "a value is where the tools find it");
      }
    }
    for (uint32_t ulId = 0; ulId <= 256; ++ulId) {
      PhysAddr ulAddr = 0;
      uint32_t ulLength = 0;
      const int32_t lAddr = GetTableAddress(ulId, &ulAddr);
      const int32_t lLength = GetTableLength(ulId, &ulLength);
      if (!bChecked) continue;
      fuzz::Require((lAddr == 0) == (ulId < ulTables) && (lLength == 0) == (ulId < ulTables),
                    "every table id below the count is found");
      if (lAddr != 0) continue;
      fuzz::Require(ulAddr == TABLE_FLASH + images::TableOffset(area, ulBank, ulId), "a table is where the tools find it");
      fuzz::Require(ulAddr - TABLE_FLASH <= ulImageEnd && ulLength <= ulImageEnd - (ulAddr - TABLE_FLASH),
                    "a table lies inside the image");
    }
  }
  for (uint32_t ulOffset = 0; ulOffset < TABLE_HEADER_BYTES; ++ulOffset) ReadTableHeaderField(ulOffset);
}

void CheckInFlash(const std::vector<uint8_t>& bytes) {
  // The area as the flash holds it: the bytes, erased behind them.
  images::Bytes area(images::kTableAreaBytes, 0xFF);
  std::copy(bytes.begin(), bytes.end(), area.begin());
  Flash().LoadImage(images::kAreaTable.offset, area.data(),
                    static_cast<uint32_t>(std::max(bytes.size(), g_lastFlashBytes)));
  g_lastFlashBytes = bytes.size();
  RunStep([&area] {
    const int32_t lResult = InitTableData();
    const int tools = images::CheckTableImage(area);
    fuzz::Require(lResult == 0 || lResult == -1 || lResult == -2 || lResult == -3, "the check's results");
    fuzz::Require(lResult != 0 || tools == 0, "what the firmware takes, the tools take");
    fuzz::Require((lResult == -1) == (tools == -1), "the format mark is read alike");
    LookUp(area, lResult == 0);
  });
}

void Update(uint8_t ucShorten, const std::vector<uint8_t>& bytes) {
  const size_t clear = std::max(bytes.size(), g_lastBufferBytes);
  if (clear != 0) {
    auto* pucBuffer = static_cast<uint8_t*>(PhysToHost(DOWNLOAD_BUFFER, static_cast<uint32_t>(clear)));
    std::memset(pucBuffer, 0, clear);
    std::copy(bytes.begin(), bytes.end(), pucBuffer);
  }
  g_lastBufferBytes = bytes.size();
  const uint32_t ulReceived = static_cast<uint32_t>(bytes.size() - std::min<size_t>(ucShorten % 4, bytes.size()));
  RunStep([&bytes, ulReceived] {
    const uint64_t ulOps = Flash().OperationCount();
    const int32_t lResult = UpdateTableImage(ulReceived);
    fuzz::Require(lResult == 0 || lResult == -2 || lResult == -3, "a healthy flash takes what the check passes");
    if (lResult != 0) {
      fuzz::Require(Flash().OperationCount() == ulOps, "a refused update touches no flash");
      return;
    }
    const uint32_t ulImage = images::GetU16LE(bytes, 0) + images::GetU32LE(bytes, 140);
    fuzz::Require(ulImage <= ulReceived, "an image written lies within the bytes received");
    fuzz::Require(std::memcmp(Flash().Array() + images::kAreaTable.offset, bytes.data(), ulImage) == 0,
                  "the flash holds the image");
    fuzz::Require(InitTableData() == 0, "the start-up takes what the update wrote");
    g_lastFlashBytes = images::kTableAreaBytes;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Printer();
  fuzz::Input in(data, size);
  const uint8_t ucMode = in.Byte();
  if ((ucMode & 1u) == 0) {
    CheckInFlash(in.Bytes(kImageMax));
  } else {
    const uint8_t ucShorten = in.Byte();
    Update(ucShorten, in.Bytes(kImageMax));
  }
  return 0;
}

// The firmware information read back after a complete package.
#include <algorithm>
#include <cstring>

#include "bom7300upgrade.h"
#include "updater.h"

namespace updater {

namespace {

// A text field of a record, terminated.
template <size_t Length>
struct Field {
  explicit Field(const uint8_t *record, size_t at) { std::memcpy(text, record + at, Length); }
  char text[Length + 1] = {};
};

}  // namespace

void PrintComponentHeading(int component) {
  switch (component) {
    case 1:
      Print("----- MAIN -----\n");
      break;
    case 2:
      Print("\n");
      Print("----- DSP -----\n");
      break;
    case 3:
      Print("\n");
      Print("----- TABLE -----\n");
      break;
    default:
      break;
  }
}

void VerifyFirmwareInfo(const char serial[8]) {
  uint16_t err = 0;
  if (!kt_open(&err) || !SelectPrinterBySerial(serial, &err)) {
    PrintResultError(err);
    kt_close();
    return;
  }
  uint8_t info[KT_FIRMWARE_INFO_SIZE] = {};
  uint32_t size = sizeof info;
  if (!kt_getPrinterInfo(PINFTAG_ENGID, info, &size)) {
    Print("PINFTAG_ENGID information acquisition failure.\n");
  } else {
    Print("verifying the information on the upgraded firmware.\n\n");
    // Record 0, the boot area, is not shown; never more records than the
    // information holds, whatever its count says.
    const int records = std::min<int>(info[0], KT_FIRMWARE_INFO_RECORDS);
    for (int n = 1; n < records; ++n) {
      PrintComponentHeading(n);
      const uint8_t *record = info + 1 + KT_FIRMWARE_RECORD_SIZE * n;
      Print("Program Name  = %.8s\n", Field<KT_FIRMWARE_NAME_LENGTH>(record, KT_FIRMWARE_NAME_AT).text);
      Print("Program Type  = %.16s\n", Field<KT_FIRMWARE_TYPE_LENGTH>(record, KT_FIRMWARE_TYPE_AT).text);
      Print("Create Date   = %.10s\n", Field<KT_FIRMWARE_DATE_LENGTH>(record, KT_FIRMWARE_DATE_AT).text);
      Print("Version       = %.2x.%.2x \n", record[KT_FIRMWARE_VERSION_MAJOR_AT], record[KT_FIRMWARE_VERSION_MINOR_AT]);
    }
  }
  kt_close();
}

}  // namespace updater

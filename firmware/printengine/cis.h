// The contact image sensor (CIS): its start-up with the calibration image,
// the calibration gains in the FPGA's gain table, and the calibration image
// itself, kept in flash in the 8 KB sector at 0x607F0000, written whole from
// the download buffer by a calibration update, with a backup of its
// settings in the main EEPROM.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

constexpr PhysAddr CIS_CALIB_FLASH = 0x607F0000u;
// The image without and with the 8-byte serial number at its end.
constexpr uint32_t CIS_CALIB_IMAGE_BYTES = 4920;
constexpr uint32_t CIS_CALIB_SERIAL_BYTES = 8;
constexpr PhysAddr CIS_CALIB_SERIAL_FLASH = 0x607F1338u;

class CCis {
 public:
  constexpr CCis() = default;
  // Start-up: LED level and offset, copy and check of the calibration
  // image. 0 when the calibration data are usable, else -1.
  int32_t InitCis();
  // Loads the gains of the current setting into the FPGA's gain table. 0.
  int32_t SetCalibData();
  // Writes the calibration image of ulSize bytes from the start of the
  // download buffer into its flash sector: 0, -1 flash failure, -2 the image
  // fails its check (flash untouched).
  int32_t WriteCalibImage(uint32_t ulSize);
  // Unpacks the flash image's settings into their EEPROM backup: 0, or -1.
  int32_t RestoreEepromBackup();

  // Tunings on blank paper: 0 or -1. Mode 0 is the service screen's, 2 the
  // self-diagnosis's, any other the silent one of the paper load.
  int32_t TuneCisOffset(uint32_t ulMode);
  int32_t TuneCisLed(uint32_t ulMode);
  // The pixel where the paper begins: 0 or -1 (none found).
  int32_t DetectPaperEdge(uint32_t* pulEdge);
  // The paper and the printed image's edges: 0, -1 (no paper edge), -2 (no
  // image edge) or -3 (neither).
  int32_t DetectPaperImageEdge(uint32_t* pulPaperEdge, uint32_t* pulImageEdge);
};

extern CCis g_Cis;

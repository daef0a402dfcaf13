// The contact image sensor (CIS): its start-up with the calibration image,
// and the calibration gains in the FPGA's gain table.
#pragma once

#include <cstdint>

class CCis {
 public:
  constexpr CCis() = default;
  // Start-up: LED level and offset, copy and check of the calibration
  // image. 0 when the calibration data are usable, else -1.
  int32_t InitCis();
  // Loads the gains of the current setting into the FPGA's gain table. 0.
  int32_t SetCalibData();
};

extern CCis g_Cis;

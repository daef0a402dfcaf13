// The factory EEPROM programmer's command line (the bom-eeprom program),
// callable from tests: returns the program's exit code (0 done, 1 failure,
// 2 usage).
//   serial <state-dir> <serial> [--engine-version N] [--head-values L R]
//       programs a printer's EEPROMs in its state directory (created when
//       it does not exist yet) as ProvisionPrinter does; a bad option is a
//       usage error and nothing is written
//   show <state-dir>              prints the serial number
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tools/eeprom/eeprom_image.h"

namespace eepromimage {

int RunEepromCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// What the factory programs into a printer's EEPROMs.
struct Provisioning {
  std::string serial;
  // "Engine Version" 1-5; 0 leaves the cell as it is.
  int engineVersion = 0;
  // Unit L's and unit R's head value.
  uint16_t headValues[2] = {kNominalHeadValue, kNominalHeadValue};
};

// Programs the state directory's EEPROM files: the serial number into the
// main EEPROM's serial cell and the CIS calibration's serial cell (the
// factory calibrates the CIS for the printer; a blank or foreign main
// EEPROM becomes a whole factory image first), "Engine Version" when
// given, and each head EEPROM's head value (a blank head EEPROM becomes a
// factory head image first). Creates the directory when missing. False
// with a reason when it cannot; nothing is written for a bad serial number
// or engine version.
bool ProvisionPrinter(const std::string& stateDir, const Provisioning& provisioning, std::string* pError);

}  // namespace eepromimage

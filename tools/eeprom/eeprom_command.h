// The factory EEPROM programmer's command line (the bom-eeprom program),
// callable from tests: returns the program's exit code (0 done, 1 failure,
// 2 usage).
//   serial <state-dir> <serial>   writes the serial number into the state
//       directory's main EEPROM (a blank or foreign one becomes a whole
//       factory image with every cell at its default); the directory is
//       created when it does not exist yet
//   show <state-dir>              prints the serial number
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace eepromimage {

int RunEepromCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace eepromimage

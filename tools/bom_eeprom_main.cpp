// bom-eeprom: the factory EEPROM programmer of the virtual printer.
//   bom-eeprom serial <state-dir> <serial>   writes the serial number into
//       the state directory's main EEPROM (a blank or foreign one becomes a
//       whole factory image with every cell at its default), creating the
//       directory when it does not exist yet
//   bom-eeprom show <state-dir>              prints the serial number
#include <iostream>
#include <string>
#include <vector>

#include "tools/eeprom/eeprom_command.h"

int main(int argc, char** argv) {
  return eepromimage::RunEepromCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}

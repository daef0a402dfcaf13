// bom-eeprom: the factory EEPROM programmer of the virtual printer (see
// tools/eeprom/eeprom_command.h for the commands).
#include <iostream>
#include <string>
#include <vector>

#include "tools/eeprom/eeprom_command.h"

int main(int argc, char** argv) {
  return eepromimage::RunEepromCommand(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}

// bom-eeprom: the factory EEPROM programmer of the virtual printer.
//   bom-eeprom serial <state-dir> <serial>   writes the serial number into
//       the state directory's main EEPROM (a blank or foreign one becomes a
//       whole factory image with every cell at its default)
//   bom-eeprom show <state-dir>              prints the serial number
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/eeprom/eeprom_image.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: bom-eeprom serial <state-dir> <8-character serial>\n       bom-eeprom show <state-dir>\n");
  return 2;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) return false;
  }
  return std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return Usage();
  const std::string path = args[1] + "/eeprom-main.bin";
  if (args[0] == "show" && args.size() == 2) {
    const std::vector<uint8_t> image = ReadFile(path);
    if (!eepromimage::IsFormatted(image)) {
      std::printf("%s: not formatted\n", path.c_str());
      return 1;
    }
    std::printf("%s\n", eepromimage::SerialNumberOf(image).c_str());
    return 0;
  }
  if (args[0] != "serial" || args.size() != 3) return Usage();
  std::vector<uint8_t> image = ReadFile(path);
  std::string error;
  if (!eepromimage::ProvisionSerialNumber(image, args[2], &error)) {
    std::fprintf(stderr, "bom-eeprom: %s\n", error.c_str());
    return 1;
  }
  if (!WriteFile(path, image)) {
    std::fprintf(stderr, "bom-eeprom: cannot write %s\n", path.c_str());
    return 1;
  }
  return 0;
}

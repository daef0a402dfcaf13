#include "tools/eeprom/eeprom_command.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "tools/eeprom/eeprom_image.h"
#include "tools/images/directories.h"

namespace eepromimage {

namespace {

// The main EEPROM's file in a state directory, as the virtual printer names it.
constexpr char kMainEepromFile[] = "/eeprom-main.bin";

int Usage(std::ostream& err) {
  err << "usage: bom-eeprom serial <state-dir> <8-character serial>\n       bom-eeprom show <state-dir>\n";
  return 2;
}

// A missing file reads as empty: a blank part.
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

int RunEepromCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 2) return Usage(err);
  const std::string path = args[1] + kMainEepromFile;
  if (args[0] == "show" && args.size() == 2) {
    const std::vector<uint8_t> image = ReadFile(path);
    if (!IsFormatted(image)) {
      out << path << ": not formatted\n";
      return 1;
    }
    out << SerialNumberOf(image) << "\n";
    return 0;
  }
  if (args[0] != "serial" || args.size() != 3) return Usage(err);
  std::vector<uint8_t> image = ReadFile(path);
  std::string error;
  if (!ProvisionSerialNumber(image, args[2], &error) || !images::MakeDirectories(args[1], &error)) {
    err << "bom-eeprom: " << error << "\n";
    return 1;
  }
  if (!WriteFile(path, image)) {
    err << "bom-eeprom: cannot write " << path << "\n";
    return 1;
  }
  return 0;
}

}  // namespace eepromimage

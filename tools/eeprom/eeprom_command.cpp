#include "tools/eeprom/eeprom_command.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>

#include "firmware/devices/eeprom_map.h"
#include "tools/images/directories.h"

namespace eepromimage {

namespace {

// The EEPROMs' files in a state directory, as the virtual printer names them.
constexpr char kMainEepromFile[] = "/eeprom-main.bin";
constexpr const char* kHeadEepromFiles[2] = {"/eeprom-head-l.bin", "/eeprom-head-r.bin"};

int Usage(std::ostream& err) {
  err << "usage: bom-eeprom serial <state-dir> <8-character serial> [--engine-version 1-5] [--head-values L R]\n"
         "       bom-eeprom show <state-dir>\n";
  return 2;
}

// A whole decimal number within [min, max], or false.
bool ParseNumber(const std::string& text, int min, int max, int* pValue) {
  if (text.empty() || text.size() > 6) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const int value = std::stoi(text);
  if (value < min || value > max) return false;
  *pValue = value;
  return true;
}

// The options after `serial <state-dir> <serial>`.
bool ParseSerialOptions(const std::vector<std::string>& args, Provisioning* pProvisioning, std::ostream& err) {
  for (size_t i = 3; i < args.size(); ++i) {
    int value = 0;
    if (args[i] == "--engine-version" && i + 1 < args.size()) {
      if (!ParseNumber(args[++i], kEngineVersionMin, kEngineVersionMax, &value)) {
        err << "bom-eeprom: an engine version is 1 to 5\n";
        return false;
      }
      pProvisioning->engineVersion = value;
    } else if (args[i] == "--head-values" && i + 2 < args.size()) {
      for (uint16_t& head : pProvisioning->headValues) {
        if (!ParseNumber(args[++i], 0, 0xFFFF, &value)) {
          err << "bom-eeprom: a head value is 0 to 65535\n";
          return false;
        }
        head = static_cast<uint16_t>(value);
      }
    } else {
      err << "bom-eeprom: unknown or incomplete option '" << args[i] << "'\n";
      return false;
    }
  }
  return true;
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

bool ProvisionPrinter(const std::string& stateDir, const Provisioning& provisioning, std::string* pError) {
  const std::string mainPath = stateDir + kMainEepromFile;
  std::vector<uint8_t> image = ReadFile(mainPath);
  if (!ProvisionSerialNumber(image, provisioning.serial, pError) ||
      (provisioning.engineVersion != 0 && !ProvisionEngineVersion(image, provisioning.engineVersion, pError)) ||
      !images::MakeDirectories(stateDir, pError)) {
    return false;
  }
  std::copy(provisioning.serial.begin(), provisioning.serial.end(), image.begin() + EEPROM_CIS_CALIB_SERIAL_ADDR);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {{mainPath, image}};
  for (uint32_t unit = 0; unit < 2; ++unit) {
    const std::string headPath = stateDir + kHeadEepromFiles[unit];
    std::vector<uint8_t> head = ReadFile(headPath);
    ProvisionHeadValue(head, provisioning.headValues[unit]);
    files.emplace_back(headPath, head);
  }
  for (const auto& [path, bytes] : files) {
    if (!WriteFile(path, bytes)) {
      if (pError != nullptr) *pError = "cannot write " + path;
      return false;
    }
  }
  return true;
}

int RunEepromCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() < 2) return Usage(err);
  if (args[0] == "show" && args.size() == 2) {
    const std::string path = args[1] + kMainEepromFile;
    const std::vector<uint8_t> image = ReadFile(path);
    if (!IsFormatted(image)) {
      out << path << ": not formatted\n";
      return 1;
    }
    out << SerialNumberOf(image) << "\n";
    return 0;
  }
  Provisioning provisioning;
  if (args[0] != "serial" || args.size() < 3 || !ParseSerialOptions(args, &provisioning, err)) return Usage(err);
  provisioning.serial = args[2];
  std::string error;
  if (!ProvisionPrinter(args[1], provisioning, &error)) {
    err << "bom-eeprom: " << error << "\n";
    return 1;
  }
  return 0;
}

}  // namespace eepromimage

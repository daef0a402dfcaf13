#include "tools/eeprom/eeprom_image.h"

#include <algorithm>

#include "firmware/devices/eeprom_map.h"

namespace eepromimage {

namespace {

void PutDefaults(std::vector<uint8_t>& image, const EepromCellSpec* pCells, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    for (uint32_t b = 0; b < pCells[i].usSize; ++b) image[pCells[i].usAddress + b] = pCells[i].aucDefault[b];
  }
}

}  // namespace

uint16_t CurrentLayoutVersion() {
  uint16_t version = 0;
  for (const EepromCellSpec& cell : kMainEepromCells) version = std::max(version, cell.usVersion);
  for (const EepromCellSpec& cell : kHeadEepromCells) version = std::max(version, cell.usVersion);
  return version;
}

bool ValidSerialNumber(const std::string& serial, std::string* pError) {
  if (serial.size() != EEPROM_SERIAL_NO_BYTES) {
    if (pError != nullptr) *pError = "a serial number has exactly 8 characters";
    return false;
  }
  for (char c : serial) {
    if (c < 0x20 || c > 0x7E) {
      if (pError != nullptr) *pError = "a serial number is printable ASCII";
      return false;
    }
  }
  return true;
}

std::vector<uint8_t> BuildMainEepromImage(const std::string& serial, uint16_t layoutVersion) {
  std::vector<uint8_t> image(kPartBytes, 0xFF);
  std::fill(image.begin() + EEPROM_HEADER_BYTES, image.begin() + EEPROM_MAIN_BYTES, 0x00);
  for (uint32_t i = 0; i < EEPROM_SIGNATURE_LENGTH; ++i) image[i] = static_cast<uint8_t>(EEPROM_SIGNATURE[i]);
  image[EEPROM_LAYOUT_VERSION_ADDR] = static_cast<uint8_t>(layoutVersion >> 8);
  image[EEPROM_LAYOUT_VERSION_ADDR + 1] = static_cast<uint8_t>(layoutVersion);
  image[EEPROM_INIT_FLAGS_ADDR] = 0;
  image[EEPROM_INIT_FLAGS_ADDR + 1] = 0;
  PutDefaults(image, kMainEepromCells, EEPROM_MAIN_CELL_COUNT);
  for (uint32_t i = 0; i < EEPROM_SERIAL_NO_BYTES && i < serial.size(); ++i) {
    image[EEPROM_SERIAL_NO_ADDR + i] = static_cast<uint8_t>(serial[i]);
  }
  return image;
}

std::vector<uint8_t> BuildHeadEepromImage() {
  std::vector<uint8_t> image(kPartBytes, 0xFF);
  PutDefaults(image, kHeadEepromCells, EEPROM_HEAD_CELL_COUNT);
  return image;
}

bool IsFormatted(const std::vector<uint8_t>& image) {
  if (image.size() < EEPROM_MAIN_BYTES) return false;
  for (uint32_t i = 0; i < EEPROM_SIGNATURE_LENGTH; ++i) {
    if (image[i] != static_cast<uint8_t>(EEPROM_SIGNATURE[i])) return false;
  }
  return !(image[EEPROM_INIT_FLAGS_ADDR] == 0xFF && image[EEPROM_INIT_FLAGS_ADDR + 1] == 0xFF);
}

std::string SerialNumberOf(const std::vector<uint8_t>& image) {
  if (image.size() < EEPROM_SERIAL_NO_ADDR + EEPROM_SERIAL_NO_BYTES) return std::string();
  return std::string(image.begin() + EEPROM_SERIAL_NO_ADDR,
                     image.begin() + EEPROM_SERIAL_NO_ADDR + EEPROM_SERIAL_NO_BYTES);
}

bool ProvisionSerialNumber(std::vector<uint8_t>& image, const std::string& serial, std::string* pError) {
  if (!ValidSerialNumber(serial, pError)) return false;
  if (image.size() != kPartBytes || !IsFormatted(image)) {
    image = BuildMainEepromImage(serial);
    return true;
  }
  std::copy(serial.begin(), serial.end(), image.begin() + EEPROM_SERIAL_NO_ADDR);
  return true;
}

bool ValidEngineVersion(int version, std::string* pError) {
  if (version >= kEngineVersionMin && version <= kEngineVersionMax) return true;
  if (pError != nullptr) *pError = "an engine version is 1 to 5";
  return false;
}

bool ProvisionEngineVersion(std::vector<uint8_t>& image, int version, std::string* pError) {
  if (!ValidEngineVersion(version, pError)) return false;
  // An empty serial number leaves the cell's default.
  if (image.size() != kPartBytes || !IsFormatted(image)) image = BuildMainEepromImage("");
  image[EEPROM_ENGINE_VERSION_ADDR] = static_cast<uint8_t>(version);
  return true;
}

int EngineVersionOf(const std::vector<uint8_t>& image) {
  return image.size() > EEPROM_ENGINE_VERSION_ADDR ? image[EEPROM_ENGINE_VERSION_ADDR] : 0;
}

void ProvisionHeadValue(std::vector<uint8_t>& image, uint16_t value) {
  const bool bBlank = image.size() != kPartBytes ||
                      std::all_of(image.begin(), image.end(), [](uint8_t b) { return b == 0xFF; });
  if (bBlank) image = BuildHeadEepromImage();
  image[EEPROM_HEAD_RESISTANCE_ADDR] = static_cast<uint8_t>(value & 0xFFu);
  image[EEPROM_HEAD_RESISTANCE_ADDR + 1] = static_cast<uint8_t>(value >> 8);
}

uint16_t HeadValueOf(const std::vector<uint8_t>& image) {
  if (image.size() < EEPROM_HEAD_RESISTANCE_ADDR + 2) return 0xFFFF;
  return static_cast<uint16_t>(image[EEPROM_HEAD_RESISTANCE_ADDR] | (image[EEPROM_HEAD_RESISTANCE_ADDR + 1] << 8));
}

}  // namespace eepromimage

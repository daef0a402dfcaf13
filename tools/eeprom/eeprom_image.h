// EEPROM images as a factory programmer writes them: the main EEPROM with
// its header (signature, layout version, init flags 0), every cell holding
// its default and the printer's serial number in its cell; a head-unit
// EEPROM with its cells' defaults. Laid out from the firmware's own map
// table, so the firmware accepts the main image as formatted and keeps the
// serial number: cells whose version lies above the written layout version
// would take their defaults again at the first start, which they already
// hold.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace eepromimage {

// 93C66 parts: 512 bytes each.
constexpr uint32_t kPartBytes = 512;

// The highest layout version of the map: an image written with it is
// current for every cell of the map.
uint16_t CurrentLayoutVersion();

// An 8-character serial number of printable ASCII, or false with a reason.
bool ValidSerialNumber(const std::string& serial, std::string* pError);

std::vector<uint8_t> BuildMainEepromImage(const std::string& serial, uint16_t layoutVersion = CurrentLayoutVersion());
std::vector<uint8_t> BuildHeadEepromImage();

// Whether the firmware would accept the image as formatted (signature and
// init flags not all ones).
bool IsFormatted(const std::vector<uint8_t>& image);
// The serial number cell's 8 characters.
std::string SerialNumberOf(const std::vector<uint8_t>& image);

// Sets the serial number of a main EEPROM image: into its cell when the
// image is formatted, else the image becomes a whole factory image with it.
bool ProvisionSerialNumber(std::vector<uint8_t>& image, const std::string& serial, std::string* pError);

}  // namespace eepromimage

// EEPROM images as a factory programmer writes them: the main EEPROM with
// its header (signature, layout version, init flags 0), every cell holding
// its default, the printer's serial number and engine version in their
// cells; a head-unit EEPROM with its cells' defaults and the head's value. Laid out from the firmware's own map
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

// "Engine Version" 1-5 (1 the EM2 mechanism, any other EM3).
constexpr int kEngineVersionMin = 1;
constexpr int kEngineVersionMax = 5;
bool ValidEngineVersion(int version, std::string* pError);
// Sets the "Engine Version" cell of a main EEPROM image; a blank or foreign
// image becomes a whole factory image first (serial number "R0000000").
bool ProvisionEngineVersion(std::vector<uint8_t>& image, int version, std::string* pError);
int EngineVersionOf(const std::vector<uint8_t>& image);

// A head's value as the factory measured it: the firmware accepts
// 4000-9000; a head EEPROM from the factory holds this one.
constexpr uint16_t kNominalHeadValue = 5600;
// Writes the head value (bytes 20-21, low byte first) into a head-unit
// EEPROM image; a blank one (missing, or all ones) becomes a whole factory
// head image first.
void ProvisionHeadValue(std::vector<uint8_t>& image, uint16_t value);
uint16_t HeadValueOf(const std::vector<uint8_t>& image);

}  // namespace eepromimage

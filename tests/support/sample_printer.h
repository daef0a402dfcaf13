// The sample printer as it leaves the factory: its flash from the image
// tools (firmware, DSP program, TABLE data, tone curves, lamination
// patterns, the CIS calibration made for its serial number; what
// `bom-images flash` writes) and its EEPROMs from the factory programmer
// (serial number, "Engine Version", both heads' values; what `bom-eeprom
// serial` writes). It starts up without raising an error.
#pragma once

#include <cstdint>
#include <string>

#include "sim/state_dir.h"
#include "tools/eeprom/eeprom_command.h"
#include "tools/images/flash_image.h"

namespace testsupport {

inline constexpr char kSampleSerial[] = "P7300001";

struct SamplePrinter {
  std::string serial = kSampleSerial;
  // "Engine Version" 1-5; 0 keeps the factory image's default.
  int engineVersion = 0;
  uint16_t headValueL = eepromimage::kNominalHeadValue;
  uint16_t headValueR = eepromimage::kNominalHeadValue;
};

// Writes the sample printer's flash and EEPROMs into the state directory
// (created when missing); false with a reason.
inline bool ProvisionSamplePrinter(const std::string& dir, const SamplePrinter& printer, std::string* pError) {
  eepromimage::Provisioning provisioning;
  provisioning.serial = printer.serial;
  provisioning.engineVersion = printer.engineVersion;
  provisioning.headValues[0] = printer.headValueL;
  provisioning.headValues[1] = printer.headValueR;
  if (!eepromimage::ProvisionPrinter(dir, provisioning, pError)) return false;
  const images::Bytes flash = images::ComposeFlash(images::SampleFlashContents(images::Version{}, printer.serial));
  if (!sim::WriteFileAtomically(sim::StateDir(dir).FlashPath(), std::string(flash.begin(), flash.end()))) {
    *pError = "cannot write the flash image";
    return false;
  }
  return true;
}

}  // namespace testsupport

// A complete 8 MB flash image for a virtual printer's state directory, with
// each image at its flash address (flash_map.h); everything else erased.
#pragma once

#include <optional>
#include <string>

#include "tools/images/bytes.h"
#include "tools/images/flash_map.h"

namespace images {

struct FlashContents {
  std::optional<Bytes> boot;
  std::optional<Bytes> main;        // carries the FPGA configuration and the AMS pattern
  std::optional<Bytes> toneBank0;
  std::optional<Bytes> toneBank1;
  std::optional<Bytes> lamiStored;  // slot 1
  std::optional<Bytes> lamiActive;  // slot 0
  std::optional<Bytes> dsp;
  std::optional<Bytes> table;
  std::optional<Bytes> cis;
  std::optional<Bytes> errorHist0;
  std::optional<Bytes> errorHist1;
};

// The sample contents of a printer as it leaves the factory: boot and MAIN
// images of the version, DSP and TABLE images, a valid tone-curve bank 0
// (bank 1 erased), both lamination slots with the sample pattern, the CIS
// calibration for the serial number, error history erased.
FlashContents SampleFlashContents(Version version, const std::string& cisSerial = "        ");

// The 8 MB image; throws std::invalid_argument naming the image that does
// not fit its area.
Bytes ComposeFlash(const FlashContents& contents);

}  // namespace images

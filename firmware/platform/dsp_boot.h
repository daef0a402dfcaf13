// DSP boot: the two DSP images in flash, where their sections load, and the
// start of the DSP with its handshake in shared RAM. The boot codes
// IOCTL_BOOT_DSP_SDRAM and IOCTL_BOOT_DSP_INTERNAL copy the sections and
// call StartDsp (and DspHoldInReset for the SDRAM image).
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

// One DSP image: three sections at fixed flash offsets, each loaded to a
// fixed DSP address; lengths in bytes.
struct DspImageLayout {
  PhysAddr ulDest1;
  uint32_t ulLength1;
  PhysAddr ulDest2;
  uint32_t ulLength2;
  PhysAddr ulDest3;
  uint32_t ulLength3;
  PhysAddr ulEntry;
};

constexpr PhysAddr DSP_IMAGE_FLASH = 0x605C0000u;        // the internal-memory image
constexpr PhysAddr DSP_SDRAM_IMAGE_FLASH = 0x605E0000u;  // the SDRAM image
constexpr uint32_t DSP_SECTION2_OFFSET = 0x8000u;
constexpr uint32_t DSP_SECTION3_OFFSET = 0x10000u;

constexpr DspImageLayout DSP_SDRAM_IMAGE_LAYOUT = {0xC5000000u, 0x8000u, 0xC5008000u, 0x8000u,
                                                   0xC5010000u, 0x10000u, 0xC5010000u};
constexpr DspImageLayout DSP_INTERNAL_IMAGE_LAYOUT = {0x11E00000u, 0x8000u, 0x11F00000u, 0x8000u,
                                                      0x11800000u, 0x10000u, 0x11800000u};

// Starts the DSP at its entry and waits for its answer in shared RAM: 0, or
// -1 when the handshake failed twice. ulKeepPowered is 0 from the boot
// codes (power the DSP up first).
int32_t StartDsp(PhysAddr ulEntry, uint32_t ulKeepPowered);
// Holds the DSP in local reset again; returns 0.
int32_t DspHoldInReset();

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

// Shared RAM with the DSP: the boot handshake (the firmware asks with
// DSP_HANDSHAKE_ASK in the request word, the DSP answers 1 or 2 in the
// answer word) and the print engine's control and status words.
constexpr PhysAddr DSP_SHM_BASE = 0x80013000u;
constexpr uint16_t DSP_SHM_HANDSHAKE_REQUEST = 0x0000;
constexpr uint16_t DSP_SHM_HANDSHAKE_ANSWER = 0x0002;
constexpr uint16_t DSP_SHM_CONTROL = 0x0E00;
constexpr uint16_t DSP_SHM_STATUS = 0x0E02;
constexpr uint16_t DSP_HANDSHAKE_ASK = 0x8001;

// The DSP's boot address in the system configuration (bits 10-31; bits 0-9
// are kept) and its power: power domain 1 and module 15 of the power and
// sleep controller 0.
constexpr PhysAddr SYSCFG0_DSP_BOOT_ADDR = 0x01C14044u;
constexpr uint32_t DSP_BOOT_ADDR_KEPT_BITS = 0x3FFu;
constexpr PhysAddr PSC0_PTCMD = 0x01C10120u;
constexpr PhysAddr PSC0_PTSTAT = 0x01C10128u;
constexpr PhysAddr PSC0_MDSTAT_DSP = 0x01C1083Cu;
constexpr PhysAddr PSC0_MDCTL_DSP = 0x01C10A3Cu;
constexpr uint32_t PSC_DOMAIN1 = 1u << 1;
constexpr uint32_t PSC_STATE_MASK = 0x3Fu;
constexpr uint32_t PSC_NEXT_MASK = 0x7u;
constexpr uint32_t PSC_STATE_ENABLE = 3;
constexpr uint32_t PSC_LOCAL_RESET_RELEASED = 1u << 8;

// Waits of the start, in ms.
constexpr uint32_t DSP_POWER_WAIT_MS = 500;
constexpr uint32_t DSP_HANDSHAKE_WAIT_MS = 2000;
constexpr uint32_t DSP_HANDSHAKE_ATTEMPTS = 2;

// Starts the DSP at its entry and waits for its answer in shared RAM: 0, or
// -1 when the handshake failed twice. ulKeepPowered is 0 from the boot
// codes (power the DSP up first). The handshake words are 0 afterwards.
int32_t StartDsp(PhysAddr ulEntry, uint32_t ulKeepPowered);
// Powers the DSP up at its entry and releases it: 0, -1 when the power
// transition does not end within 500 ms, -2 when the module is not enabled
// within 500 ms after it. The system configuration is locked again.
int32_t DspPowerUp(PhysAddr ulEntry);
// The DSP already powered: the boot address, then out of local reset (the
// system configuration stays unlocked).
int32_t DspSetBootAndRelease(PhysAddr ulEntry);
// Holds the DSP in local reset again; returns 0.
int32_t DspHoldInReset();

// Empty hooks: before the start-up loads the DSP, and before the shut-down
// closes the USB driver.
int32_t DspLoadHook();
int32_t ShutdownHook();

// 16-bit access at DSP_SHM_BASE + offset, through the system-device call.
int32_t DspShmWrite16(uint16_t usOffset, uint16_t usValue);
int32_t DspShmRead16(uint16_t usOffset, uint16_t* pusValue);

// The print engine's shared words, each through the system-device call;
// all return 0. The runs are halfwords at increasing addresses.
int32_t WriteDspControl(const uint16_t* pusValue);
int32_t ReadDspControl(uint16_t* pusValue);
int32_t WriteDspStatus(const uint16_t* pusValue);
int32_t ReadDspStatus(uint16_t* pusValue);
int32_t ReadDspWord(PhysAddr ulAddr, uint16_t* pusValue);
int32_t WriteDspWord(PhysAddr ulAddr, const uint16_t* pusValue);
int32_t ReadDspWords(PhysAddr ulAddr, uint16_t* pusValues, uint32_t ulCount);
int32_t WriteDspWords(PhysAddr ulAddr, const uint16_t* pusValues, uint32_t ulCount);

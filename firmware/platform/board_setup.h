// Board bring-up by main PCB revision: the FPGA's external-memory timing,
// the pin multiplexing, the GPIO start levels and directions, and the GPIO
// bank-0 interrupt. Reached through IOCTL_INIT_BOARD.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

// The SoC registers of the bring-up.
constexpr PhysAddr EMIFA_CE4CFG = 0x68000018u;
constexpr PhysAddr SYSCFG0_KICK0 = 0x01C14038u;
constexpr PhysAddr SYSCFG0_KICK1 = 0x01C1403Cu;
constexpr uint32_t SYSCFG0_KICK0_UNLOCK = 0x83E70B13u;
constexpr uint32_t SYSCFG0_KICK1_UNLOCK = 0x95A4F1E0u;
constexpr PhysAddr SYSCFG0_PINMUX0 = 0x01C14120u;
constexpr uint32_t SYSCFG0_PINMUX_COUNT = 20;

// Reads the PCB revision from the FPGA and sets the board up for it:
// revision 0 takes the first column of settings, every other revision the
// second. Returns 0.
int32_t InitBoardByRevision();

// The system configuration's registers take writes only between these two.
void UnlockSystemConfig();
void LockSystemConfig();

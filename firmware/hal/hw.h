// Register and memory access by physical address, and the CPU's interrupt
// mask. Firmware never turns a physical address into a pointer by a cast:
// every device range (flash included) is read and written through these
// calls, so a device answers as the real part does.
#pragma once

#include <cstdint>

using PhysAddr = uint32_t;

uint8_t HwRead8(PhysAddr addr);
uint16_t HwRead16(PhysAddr addr);
uint32_t HwRead32(PhysAddr addr);
void HwWrite8(PhysAddr addr, uint8_t value);
void HwWrite16(PhysAddr addr, uint16_t value);
void HwWrite32(PhysAddr addr, uint32_t value);

// Block copies between a device or memory range and a host buffer, in the
// device's own access width.
void HwReadBlock(PhysAddr src, void* pDst, uint32_t ulBytes);
void HwWriteBlock(PhysAddr dst, const void* pSrc, uint32_t ulBytes);

// A pointer into plain RAM (low RAM, on-chip shared RAM, DSP RAM, SDRAM) for
// bulk copies. Never used to poll a word that another agent writes.
void* PhysToHost(PhysAddr addr, uint32_t ulBytes);

// A pause inside a spin that waits for something other than a shared word.
void CpuRelax();
// A pause inside a spin on a free-running counter that cannot reach what it
// waits for within ulUs microseconds: the board may let up to that much time
// pass before the next reading (interrupts are taken as they fall due). The
// spin reads the counter again afterwards and decides by it, as it would
// after CpuRelax.
void CpuRelaxUs(uint32_t ulUs);

// The processor's interrupt-disable bit. DisableIrq/EnableIrq do not nest;
// code that an interrupt handler can also reach saves and restores instead.
void DisableIrq();
void EnableIrq();
uint32_t SaveIrqAndDisable();
void RestoreIrq(uint32_t ulSaved);

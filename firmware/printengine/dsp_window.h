// The window of shared on-chip RAM through which the main processor drives
// the DSP (4 KB from 0x80013000, 16-bit little-endian words; a 32-bit
// address is split into a high and a low word), the DSP's modes and the ids
// of the tables it takes. DSP table ids are the DSP's own numbering, apart
// from the TABLE image's table ids.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

constexpr PhysAddr DSP_WINDOW = 0x80013000u;
constexpr uint32_t DSP_WINDOW_BYTES = 0x1000u;

// Parameter block of the plane being printed, first part (0x8001387E is
// read back by the main processor).
constexpr PhysAddr DSP_PARAMS_FIRST = 0x80013870u;
constexpr PhysAddr DSP_PARAMS_FIRST_LAST = 0x800138A8u;
// Table transfer: the DspTableId of the staged table, its checksum, and the
// DSP's answer (DSP_TABLE_CHECKSUM_ERROR, or anything else for success).
constexpr PhysAddr DSP_TABLE_ID = 0x800138B0u;
constexpr PhysAddr DSP_TABLE_CHECKSUM = 0x800138C0u;
constexpr PhysAddr DSP_TABLE_ANSWER = 0x800138D0u;
constexpr uint16_t DSP_TABLE_CHECKSUM_ERROR = 257;
// Image-processing request (modes 6 and 7) and its progress.
constexpr PhysAddr DSP_IMAGE_REQUEST = 0x800138E0u;
constexpr PhysAddr DSP_IMAGE_REQUEST_LAST = 0x80013908u;
// Parameter block, second part, and third part (offsets and track
// correction).
constexpr PhysAddr DSP_PARAMS_SECOND = 0x80013920u;
constexpr PhysAddr DSP_PARAMS_SECOND_LAST = 0x80013986u;
constexpr PhysAddr DSP_PARAMS_THIRD = 0x80013A00u;
constexpr PhysAddr DSP_PARAMS_THIRD_LAST = 0x80013A22u;
// Control (main processor: bits 0-3 the requested mode, bit 4 the run bit)
// and status (DSP: bits 0-3 its mode, bit 4 its echo of the run bit).
constexpr PhysAddr DSP_CONTROL_WORD = 0x80013E00u;
constexpr PhysAddr DSP_STATUS_WORD = 0x80013E02u;
constexpr uint16_t DSP_MODE_MASK = 0x000Fu;
constexpr uint16_t DSP_RUN_BIT = 0x0010u;
// Parameter block, fourth part; within it a 32-bit SDRAM address (high word,
// then low word: the staging buffer during a table transfer, the base of
// the next line's rows while printing) and the row of the line handed over.
constexpr PhysAddr DSP_PARAMS_FOURTH = 0x80013FE0u;
constexpr PhysAddr DSP_PARAMS_FOURTH_LAST = 0x80013FF4u;
constexpr PhysAddr DSP_ADDRESS_HIGH = 0x80013FE6u;
constexpr PhysAddr DSP_ADDRESS_LOW = 0x80013FE8u;
constexpr PhysAddr DSP_LINE_ROW = 0x80013FF0u;

// SDRAM buffer from which the DSP reads a staged table.
constexpr PhysAddr DSP_TABLE_STAGING = 0xC7DF8000u;
constexpr uint32_t DSP_TABLE_STAGING_BYTES = 4096;

enum DspMode : uint16_t {
  DSP_MODE_IDLE = 0,
  DSP_MODE_PRINT = 3,
  DSP_MODE_TABLE = 4,
  DSP_MODE_BLOCK = 5,
  DSP_MODE_IMAGE = 6,
  DSP_MODE_IMAGE_COPY = 7,
};

// Echo limits of a mode switch or run bit, in ms.
constexpr uint32_t DSP_QUICK_ECHO_MS = 5;     // idle and table transfer
constexpr uint32_t DSP_SLOW_ECHO_MS = 3000;   // every other mode
constexpr uint32_t DSP_ECHO_TRIES = 2;

enum DspTableId : uint16_t {
  DSP_TABLE_GRADATION = 1,
  DSP_TABLE_3 = 3,
  DSP_TABLE_4 = 4,
  DSP_TABLE_5 = 5,
  DSP_TABLE_6 = 6,
  DSP_TABLE_TRACK = 7,
  DSP_TABLE_8 = 8,
  DSP_TABLE_9 = 9,
  DSP_TABLE_10 = 10,
};

// Tries of a table transfer (checksum errors are repeated).
constexpr uint32_t DSP_TABLE_TRIES = 5;

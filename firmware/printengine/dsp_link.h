// The DSP link of the print engine: the DSP program image in flash (its
// layout, its check and its update) and the link's start-up handshake over
// the control and status words in shared RAM; the mode switch, the run
// bit and the table transfer (dsp_window.h holds the window's map).
//
// DSP program image, 256 KB, kept in the four 64 KB sectors from
// 0x605C0000 and received whole as the DSP file of a firmware package:
//   0x00000  the internal-memory program (128 KB), loaded from 0x605C0000
//   0x20000  the SDRAM program (128 KB), loaded from 0x605E0000; its last
//            128 bytes are the DspInfoBlock
// DspInfoBlock, at image offset 0x3FF80 (texts not terminated):
//   0   programName[8]
//   16  programType[16]
//   32  versionMajorText[2], 34 versionMinorText[2]: two hexadecimal digits
//   36  versionRevisionText[2]: a third version number; "00", or both bytes
//       0 or both 0xFF, when there is none
//   38  createDate[10]
//   48  u16 LE imageChecksum: OnesComplementSum16 of image bytes 0..0x3FF7F
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/platform/dsp_boot.h"
#include "firmware/printengine/dsp_window.h"

constexpr uint32_t DSP_IMAGE_BYTES = 0x40000u;
constexpr uint32_t DSP_IMAGE_SECTORS = 4;
constexpr uint32_t DSP_INFO_OFFSET = 0x3FF80u;
constexpr uint32_t DSP_INFO_BYTES = 128;
constexpr PhysAddr DSP_INFO_FLASH = DSP_IMAGE_FLASH + DSP_INFO_OFFSET;
// Field offsets within the DspInfoBlock.
constexpr uint32_t DSP_INFO_PROGRAM_NAME = 0;
constexpr uint32_t DSP_INFO_PROGRAM_TYPE = 16;
constexpr uint32_t DSP_INFO_VERSION_MAJOR = 32;
constexpr uint32_t DSP_INFO_VERSION_MINOR = 34;
constexpr uint32_t DSP_INFO_VERSION_REVISION = 36;
constexpr uint32_t DSP_INFO_CREATE_DATE = 38;
constexpr uint32_t DSP_INFO_IMAGE_CHECKSUM = 48;

// The start-up handshake's codes in the control word and the DSP's answers
// in the status word; each wait lasts at most DSP_LINK_WAIT_MS.
constexpr uint16_t DSP_LINK_HELLO = 0xFFFF;         // echoed by the DSP
constexpr uint16_t DSP_LINK_START = 0xFF00;         // asked with mode 1
constexpr uint16_t DSP_LINK_START_OTHER = 0xF00F;   // asked with any other mode
constexpr uint16_t DSP_LINK_ACCEPTED = 0x0000;
constexpr uint16_t DSP_LINK_REFUSED = 0xFF00;
constexpr uint32_t DSP_LINK_WAIT_MS = 500;
constexpr uint32_t DSP_LINK_HELLO_TRIES = 2;
constexpr uint32_t DSP_LINK_START_TRIES = 3;

// 0 when the DSP image at the bus address (flash or RAM) carries the
// checksum of its first 0x3FF80 bytes, -4 otherwise.
int32_t CheckDspImage(PhysAddr ulImage);

// Writes the DSP image received at DOWNLOAD_BUFFER + ulDownloadOffset into
// its flash area: 0 written and verified; -4 the image fails its check
// (flash untouched); -3 programming or verification failed (the area is
// left erased or partly written, which the next start-up's check reports).
int32_t UpdateDspImage(uint32_t ulDownloadOffset);

// The link's handshake after the DSP programs are loaded and the DSP is
// released: 0 when the DSP took part, -1 when it stayed silent or refused.
// The control word is 0 afterwards.
int32_t DspBootHandshake(uint32_t ulMode);

// Switches the DSP into the mode (control word: the mode alone) and waits
// for its echo in the status word's low nibble, up to two tries of
// DSP_QUICK_ECHO_MS (idle, table transfer) or DSP_SLOW_ECHO_MS each: 0 or -1.
int32_t DspSendMode(uint16_t usMode);
// Writes the mode with the run bit and waits until the DSP echoes the run
// bit (its mode nibble is not compared); the same limits: 0 or -1.
int32_t DspSetRunBit(uint16_t usMode, uint16_t usRun);
// Transfers the table staged at DSP_TABLE_STAGING (ulLength bytes, at most
// DSP_TABLE_STAGING_BYTES summed): 0; -1 the DSP did not follow a switch or
// run bit; -2 it reported a checksum error. The DSP is idle afterwards.
int32_t DspSendTable(uint16_t usTableId, uint32_t ulLength);

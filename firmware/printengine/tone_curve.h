// The tone curves: eight curves of 768 levels (Y, M, C channels of 256) in
// RAM, kept persistent in two alternating flash banks. Every change writes
// the whole set into the bank that is not current and then makes that bank
// current, so an interrupted write leaves the previous bank in place.
//
// Bank (one 64 KB sector at 0x60360000 or 0x60370000, "TonecurveNo." 1
// selecting the second; 12800 bytes written, little-endian):
//   0      8 x 1536  curves 1-8, curve n at (n - 1) x 1536
//   12288  16 chars  mark "TERAVO QRX-T8820"
//   12304  2 chars   major version text of the firmware that wrote it
//   12306  2 chars   minor version text
//   12308  8 x u16   curve states (ToneCurveState)
//   12324  474       0xFF
//   12798  u16       OnesComplementSum16 of bytes 0-12287
//
// RAM (SDRAM, so that the USB task can send a curve by address): the eight
// curves, the 1280-entry work area of the gradation chain, and a mirror of
// the current bank's eight curves that the USB task sends for a stored
// curve while the application may be erasing or programming a bank.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"
#include "firmware/platform/global_build.h"

struct ImageSlot;

enum ToneCurveState : uint16_t {
  TONE_CURVE_DEFAULT = 0,
  TONE_CURVE_STORED = 1,
  TONE_CURVE_RAM_ONLY = 2,
};

constexpr uint32_t TONE_CURVE_COUNT = 8;
constexpr uint32_t TONE_CURVE_ENTRIES = 768;
constexpr uint32_t TONE_CURVE_BYTES = 2 * TONE_CURVE_ENTRIES;
constexpr uint32_t TONE_CURVE_SOURCE_FLASH = 1;
constexpr uint32_t TONE_CURVE_SOURCE_RAM = 2;

constexpr PhysAddr TONE_BANK_0 = 0x60360000u;
constexpr PhysAddr TONE_BANK_1 = 0x60370000u;
constexpr uint32_t TONE_BANK_CURVES = 0;
constexpr uint32_t TONE_BANK_CURVES_BYTES = TONE_CURVE_COUNT * TONE_CURVE_BYTES;
constexpr uint32_t TONE_BANK_MARK = 12288;
constexpr uint32_t TONE_BANK_MARK_BYTES = 16;
constexpr uint32_t TONE_BANK_VERSION_MAJOR = 12304;
constexpr uint32_t TONE_BANK_VERSION_MINOR = 12306;
constexpr uint32_t TONE_BANK_STATES = 12308;
constexpr uint32_t TONE_BANK_SPARE = 12324;
constexpr uint32_t TONE_BANK_CHECKSUM = 12798;
constexpr uint32_t TONE_BANK_BYTES = 12800;
constexpr char TONE_BANK_MARK_TEXT[] = "TERAVO QRX-T8820";

// The RAM areas.
constexpr PhysAddr TONE_CURVE_RAM = 0xC7E40000u;
constexpr uint32_t TONE_CURVE_WORK_ENTRIES = 1280;
constexpr PhysAddr TONE_CURVE_WORK = TONE_CURVE_RAM + TONE_BANK_CURVES_BYTES;
constexpr PhysAddr TONE_CURVE_MIRROR = 0xC7E44000u;

class CToneCurve {
 public:
  constexpr CToneCurve() = default;
  // The machine definition's construction: every RAM curve and the work
  // area all 0.
  explicit CToneCurve(GlobalBuild);

  // The current bank from "TonecurveNo.": the setting read's result.
  int32_t GetBankAddress(PhysAddr* pulAddress) const;
  // "TonecurveNo." 1 when it was 0, else 0; written through.
  int32_t ToggleBank() const;
  // Curve n (1..8) in the current bank, in RAM, in the mirror; -1 for
  // another n (the address left as it was).
  int32_t GetFlashCurveAddress(uint32_t ulCurve, PhysAddr* pulAddress) const;
  int32_t GetRamCurveAddress(uint32_t ulCurve, PhysAddr* pulAddress) const;
  int32_t GetMirrorCurveAddress(uint32_t ulCurve, PhysAddr* pulAddress) const;
  // Source 1 = the current flash bank, 2 = RAM; -1 for another source or n.
  int32_t GetCurveAddress(uint32_t ulSource, uint32_t ulCurve, PhysAddr* pulAddress) const;
  // The 768 entries of curve n of the source to the destination: the
  // lookup's result; nothing is copied when it fails.
  int32_t CopyCurve(uint32_t ulSource, uint32_t ulCurve, uint16_t* pusDestination) const;
  // The state word of curve n in the current bank: 0, or -1 for another n.
  int32_t GetCurveState(uint32_t ulCurve, uint32_t* pulState) const;
  // Status item 41 + n with notification: 0, or -1 for another n.
  int32_t PublishCurveState(uint32_t ulCurve, uint32_t ulState) const;
  // Mark, version texts, states, the undefined bytes and the checksum of the
  // curves into a bank image being assembled. 0.
  int32_t BuildBankTrailer(uint8_t* pucBank, const uint16_t* pusStates) const;
  // Writes a bank whose curve n is the default with state 0, and publishes
  // that state when the write succeeded: -1 for another n, else the write's
  // result. The RAM curve is not changed.
  int32_t RebuildToneCurve(uint32_t ulCurve);
  // 768 entries from the source (read through the system-device call) into
  // RAM curve n: 0, or -1 (another n, or a failing read).
  int32_t LoadCurve(uint32_t ulCurve, PhysAddr ulSource);
  // A host's curve at the download-buffer offset, into RAM only, state 2:
  // 0, or -1.
  int32_t LoadHostCurve(uint32_t ulCurve, uint32_t ulOffset);
  // A host's curve at the download-buffer offset, into flash and RAM,
  // state 1: 0, -1 (the flash write failed) or -2 (the load failed).
  int32_t StoreHostCurve(uint32_t ulCurve, uint32_t ulOffset);
  // Start-up: check the bank; rebuild all eight curves or publish the
  // stored states; refresh the mirror; load the eight curves into RAM. 0.
  int32_t InitToneCurve();
  // Copies the current bank's eight curves into the mirror. 0.
  int32_t RefreshMirror() const;

  // The RAM curve n (1..8), and the gradation chain's work area.
  static uint16_t* RamCurve(uint32_t ulCurve);
  static uint16_t* WorkArea();

  // The gradation chain (gradation.h).
  int32_t BuildGradationBase(const ImageSlot* pSlot);
  int32_t ComposeToneCurve(const uint16_t* pusToneCurve);
  int32_t CorrectPlaneByTemperature(uint32_t ulPlane, uint32_t ulEnvIndex, uint32_t ulHeadTemp,
                                    const uint16_t* pusToneCurve);
};

extern CToneCurve g_ToneCurve;

// The current bank: 0 valid; -1 the mark differs; -2 the checksum
// differs; -4 written by a firmware below version 0.05.
int32_t CheckToneCurveBank();
// Writes a bank whose curve n is the 768 entries at the source with state
// 1: -1 for another n, else the write's result.
int32_t StoreToneCurve(uint32_t ulCurve, PhysAddr ulSource);
// Entry i of the default curve's channels: i x 2^6.
uint16_t DefaultToneLevel(uint32_t ulIndex);

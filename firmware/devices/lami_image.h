// Lamination-pattern images. The overcoat pass can print a pattern; the
// host downloads it as one byte per pixel, and the printer keeps two copies
// in flash, packed one bit per pixel: the active slot, which the start-up
// expands into the working buffer the print engine reads, and the stored
// slot, from which the active one can be restored.
//
// A slot in flash (P = pixel count / 8, 1116192 for the 8929536 pixels of a
// pattern; P + 32 bytes span 18 sectors of 64 KB):
//   0        P bytes   packed pixels: pixel 8i + j is bit (j XOR 1) of byte
//                      i (pixel 8i is bit 1, 8i + 1 bit 0, 8i + 2 bit 3 ...);
//                      1 = set
//   P        16 chars  signature "MORVELAN KT-3318"
//   P + 16   2 chars   major version text of the firmware that wrote it
//   P + 18   2 chars   minor version text
//   P + 20   u16 LE    OnesComplementSum16 of the P packed bytes
//   P + 22   10 bytes  reserved, never read
//
// The download lies in the receive buffer (offsets from 0xC0800000, reached
// through g_ImageBuffer); a store places the 32-byte header right behind
// its pixels and programs pixels and header together, so the header that
// names a valid slot is written last but for its checksum.
#pragma once

#include <cstdint>

#include "firmware/hal/hw.h"

constexpr uint32_t LAMI_IMG_PIXELS = 8929536;
constexpr uint32_t LAMI_IMG_HEADER_BYTES = 32;
constexpr char LAMI_IMG_SIGNATURE[] = "MORVELAN KT-3318";
constexpr uint32_t LAMI_IMG_SIGNATURE_BYTES = 16;
// Header fields, from the end of the packed pixels.
constexpr uint32_t LAMI_HEADER_VERSION_MAJOR = 16;
constexpr uint32_t LAMI_HEADER_VERSION_MINOR = 18;
constexpr uint32_t LAMI_HEADER_CHECKSUM = 20;

constexpr PhysAddr LAMI_IMG_SLOT0_ADDRESS = 0x604A0000u;  // active
constexpr PhysAddr LAMI_IMG_SLOT1_ADDRESS = 0x60380000u;  // stored
// The working buffer g_LamiPatternBuffer: one byte per pixel, 0, 2, 4 or 6.
constexpr PhysAddr LAMI_PATTERN_BUFFER = 0xC5A00000u;
// The receive buffer ends where the working buffer begins: a download and
// the header placed behind it must lie below this offset.
constexpr uint32_t LAMI_RECEIVE_BUFFER_BYTES = LAMI_PATTERN_BUFFER - 0xC0800000u;

class CLamiImg {
 public:
  constexpr CLamiImg() : m_ulFlashAddress(0), m_ulPixels(0), m_lState(0) {}
  // A pattern slot at its flash address, not yet found valid.
  explicit CLamiImg(PhysAddr ulFlashAddress) : CLamiImg(ulFlashAddress, LAMI_IMG_PIXELS) {}
  // A slot of another pixel count, a multiple of 16 (tests walk small
  // images with it).
  CLamiImg(PhysAddr ulFlashAddress, uint32_t ulPixels)
      : m_ulFlashAddress(ulFlashAddress), m_ulPixels(ulPixels), m_lState(-1) {}

  PhysAddr GetFlashAddress() const { return m_ulFlashAddress; }
  // 0 valid (state 0); -1 signature differs, -2 checksum differs, -4 the
  // slot was written by a firmware older than 00.02. A failure leaves the
  // state as it was.
  int32_t Check();
  // Writes the download at the receive-buffer offset into the slot: header
  // into the receive buffer, erase, pack and program, checksum, verify.
  // 0, or the failing step's code; -1 before anything is written for an
  // offset whose download and header do not lie whole in the receive
  // buffer, or that is odd.
  int32_t Store(uint32_t ulOffset);
  // Copies the packed pixels and header of the slot at the source flash
  // address into this slot: 0, or the failing step's code; -1 before
  // anything is erased for a source that overlaps this slot.
  int32_t CopyFrom(PhysAddr ulSource);
  // Unpacks the slot into one byte per pixel at the destination, 6 for a
  // set pixel and 0 for a clear one, in the order of the download. 0.
  int32_t Expand(PhysAddr ulDestination) const;
  // Converts a download at the receive-buffer offset into the working
  // buffer at the destination, without flash: each pixel byte x becomes
  // 2 * (x >> 6). 0, or -1 (nothing written) for an offset whose download
  // does not lie whole in the receive buffer, or that is odd.
  int32_t LoadFromRam(uint32_t ulOffset, PhysAddr ulDestination) const;

  // The steps of Store.
  // The signature, the running firmware's version texts and 0xFFFF for the
  // checksum behind the download; bytes +22..+31 are left as they are.
  int32_t WriteHeader(uint32_t ulOffset) const;
  // Erases the sector that holds the header: 0, or the erase's result.
  int32_t EraseHeaderSector() const;
  // Packs the download again and compares it with the packed pixels in
  // flash: 0, or -1 at the first difference. The header is not compared.
  int32_t VerifyPacked(uint32_t ulOffset) const;

  int32_t State() const { return m_lState; }
  uint32_t PixelCount() const { return m_ulPixels; }
  uint32_t PackedBytes() const { return m_ulPixels / 8; }
  uint32_t SlotBytes() const { return PackedBytes() + LAMI_IMG_HEADER_BYTES; }

 private:
  bool FitsReceiveBuffer(uint32_t ulOffset, uint32_t ulBytes) const;
  // "Erasing...     %": the header sector, then every sector of the slot.
  int32_t EraseSlot() const;
  int32_t ProgramPacked(uint32_t ulOffset) const;
  int32_t ProgramChecksum() const;

  PhysAddr m_ulFlashAddress;
  uint32_t m_ulPixels;
  int32_t m_lState;
};

extern CLamiImg g_LamiImgSlot0;
extern CLamiImg g_LamiImgSlot1;

// The start-up and service routines.
// "Loading L 8x12  ", the active slot expanded into the working buffer,
// then "Initializing        ". Returns the expansion's result.
int32_t LoadLamiImage();
// "Checking LamiImg"; checks the stored slot and, only when it passed, the
// active one. A failure raises error index 0x119. Returns the check result.
int32_t CheckLamiImages();
// Copies the stored slot into the active one: 0, or -1 with error index
// 0x118 raised.
int32_t CopyLamiImage();

// Stand-ins of the lamination images and the tag reader that the start-up
// calls, removed when the lamination images and tag reader land: the slot
// check looks at each slot's signature only, as far as the start-up needs
// (an erased or foreign slot raises 0x0119), nothing is expanded, and the
// reader's set-up succeeds.
#include "firmware/control/error_manager.h"
#include "firmware/devices/lami_image.h"
#include "firmware/hal/hw.h"
#include "firmware/platform/tag_reader.h"

namespace {

constexpr PhysAddr kStoredSlot = 0x60380000u;
constexpr PhysAddr kActiveSlot = 0x604A0000u;
constexpr uint32_t kPackedBytes = 8929536u / 8u;
constexpr char kSignature[] = "MORVELAN KT-3318";
constexpr uint32_t kSignatureLength = sizeof(kSignature) - 1;
constexpr uint16_t kErrorLamiImage = 0x0119;

int32_t CheckSignature(PhysAddr ulSlot) {
  for (uint32_t i = 0; i < kSignatureLength; ++i) {
    if (HwRead8(ulSlot + kPackedBytes + i) != static_cast<uint8_t>(kSignature[i])) return -1;
  }
  return 0;
}

}  // namespace

int32_t CheckLamiImages() {
  int32_t lResult = CheckSignature(kStoredSlot);
  if (lResult == 0) lResult = CheckSignature(kActiveSlot);
  if (lResult != 0) g_ErrorMng.SetError(kErrorLamiImage);
  return lResult;
}

int32_t LoadLamiImage() { return 0; }

int32_t InitRFTag() { return 0; }

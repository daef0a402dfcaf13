// The media record the host reads: the kind and size codes of the two
// units' ribbons by the ribbon combination, and the printable sizes.
#include "firmware/devices/settings.h"
#include "firmware/hostif/shmem_usb.h"
#include "firmware/hostif/usb_cmd_blocks.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/printengine/media_config.h"
#include "firmware/printengine/unit_ribbon_kind.h"

namespace {

constexpr uint8_t KIND_CODE_COLOUR = 3;
constexpr uint8_t KIND_CODE_FOUR_PANEL = 4;
// The SP ribbon of unit R, as the code field of a colour-and-SP machine
// reports it.
constexpr uint8_t KIND_CODE_SP = 1;

// The four code fields by "Ribbon Status": which field each takes. A
// field names the kind code of unit L or R, the size code of unit L or R,
// the SP code, or 0.
enum MediaField : uint8_t { FIELD_ZERO, FIELD_KIND_L, FIELD_KIND_R, FIELD_SIZE_L, FIELD_SIZE_R, FIELD_SP };
struct MediaFields {
  MediaField aeField[4];
};
constexpr MediaFields kFieldsByRibbonStatus[] = {
    {{FIELD_KIND_L, FIELD_KIND_R, FIELD_SIZE_L, FIELD_SIZE_R}},  // colour in both units
    {{FIELD_KIND_L, FIELD_SP, FIELD_SIZE_L, FIELD_SIZE_L}},      // colour in L, SP in R
    {{FIELD_KIND_L, FIELD_ZERO, FIELD_SIZE_L, FIELD_SIZE_R}},    // colour in L, R empty
    {{FIELD_ZERO, FIELD_KIND_R, FIELD_SIZE_L, FIELD_SIZE_R}},    // L empty, colour in R
};
constexpr MediaFields kNoFields = {{FIELD_ZERO, FIELD_ZERO, FIELD_ZERO, FIELD_ZERO}};

bool IsRibbonSize(uint32_t ulSize) { return MediaSizesOf(ulSize) != nullptr; }

}  // namespace

uint8_t CMediaConfig::KindCode(uint32_t ulUnitIndex) const {
  return SelectedRollRibbonKind(ulUnitIndex, true) == RIBBON_KIND_2 ? KIND_CODE_FOUR_PANEL : KIND_CODE_COLOUR;
}

int32_t CMediaConfig::SendMediaInfo() const {
  MediaInfoBlock* pBlock = nullptr;
  usb_comm_get_media_info_block(&pBlock);
  protocol::MediaRecord& r = pBlock->record;

  const int32_t lRibbonStatus = SettingValue(g_ParamRibbonStatus);
  const MediaFields& fields = lRibbonStatus >= 0 && lRibbonStatus < 4
                                  ? kFieldsByRibbonStatus[lRibbonStatus]
                                  : kNoFields;
  uint8_t aucCodes[4] = {};
  for (uint32_t i = 0; i < 4; ++i) {
    switch (fields.aeField[i]) {
      case FIELD_KIND_L: aucCodes[i] = KindCode(0); break;
      case FIELD_KIND_R: aucCodes[i] = KindCode(1); break;
      case FIELD_SIZE_L: aucCodes[i] = static_cast<uint8_t>(m_ausRibbonSize[0]); break;
      case FIELD_SIZE_R: aucCodes[i] = static_cast<uint8_t>(m_ausRibbonSize[1]); break;
      case FIELD_SP: aucCodes[i] = KIND_CODE_SP; break;
      case FIELD_ZERO: break;
    }
  }
  if (!IsRibbonSize(m_ausRibbonSize[0])) aucCodes[0] = 0;
  if (!IsRibbonSize(m_ausRibbonSize[1])) aucCodes[1] = 0;
  r.media = protocol::MediaBytes{aucCodes[0], aucCodes[1], aucCodes[2], aucCodes[3]};

  uint32_t ulSize = 0;
  GetMediaSize(&ulSize);
  if (const MediaSizeRows* pSizes = MediaSizesOf(ulSize)) {
    const PrintSizeRecord& full = g_PrintSizeTable[pSizes->aulRows[0]];
    r.fullWidth = static_cast<uint16_t>(full.ulPrintWidth);
    r.fullLength = static_cast<uint16_t>(full.ulPrintLength);
    r.sizeCount = static_cast<uint8_t>(pSizes->ulCount);
    for (uint32_t i = 0; i < pSizes->ulCount; ++i) {
      const PrintSizeRecord& size = g_PrintSizeTable[pSizes->aulRows[i]];
      r.sizes[i] = protocol::MediaSizeEntry{static_cast<uint16_t>(size.ulPrintWidth),
                                            static_cast<uint16_t>(size.ulPrintLength), 0, 0};
    }
  }
  for (uint32_t i = r.sizeCount; i < protocol::MEDIA_SIZE_ENTRIES; ++i) r.sizes[i] = protocol::MediaSizeEntry{};
  usb_comm::regist_txreq_code(APPMSG_NOTIFY_MEDIA);
  return 0;
}

// The records of the print-job queue: a job, its four image slots and the
// rows of its print order.
//
// A job prints up to two sides, A (1) and B (2), each with a colour
// picture and an SP picture; each side is printed by print unit L (1) or R
// (2). Every slot has a one-bit code, and a job's masks are ORs of them.
#pragma once

#include <array>
#include <cstdint>

#include "firmware/control/imprint_text.h"
#include "firmware/printengine/print_size.h"

constexpr uint8_t SLOT_COLOR_A = 1;
constexpr uint8_t SLOT_SP_A = 2;
constexpr uint8_t SLOT_COLOR_B = 4;
constexpr uint8_t SLOT_SP_B = 8;
constexpr uint8_t SLOT_CODES = SLOT_COLOR_A | SLOT_SP_A | SLOT_COLOR_B | SLOT_SP_B;
constexpr uint8_t SLOT_COLORS = SLOT_COLOR_A | SLOT_COLOR_B;
// In a set-up's image mask only: a one-sided job, no fill-in side.
constexpr uint8_t IMAGE_MASK_ONE_SIDED = 16;

// The code of a side's (0 A, 1 B) colour (kind 0) or SP (kind 1) slot.
constexpr uint8_t SlotCode(uint32_t ulSideIndex, uint32_t ulKind) {
  return static_cast<uint8_t>(1u << (2 * ulSideIndex + ulKind));
}

constexpr uint32_t SIDE_A = 1;
constexpr uint32_t SIDE_B = 2;
constexpr uint32_t UNIT_L = 1;
constexpr uint32_t UNIT_R = 2;

// Slot states.
constexpr uint16_t SLOT_UNUSED = 0;
constexpr uint16_t SLOT_EXPECTED = 1;
constexpr uint16_t SLOT_RECEIVED = 2;
constexpr uint16_t SLOT_STARTED = 3;  // its sheet started; RearmSlots takes it back to received
constexpr uint16_t SLOT_PRINTING = 4;

// Overcoat kinds.
constexpr uint16_t OVERCOAT_GLOSSY = 2;
constexpr uint16_t OVERCOAT_MATTE = 3;

constexpr uint32_t TONE_CURVE_WORDS = 768;
constexpr uint32_t CUT_LIST_WORDS = 4;
constexpr uint32_t JOB_CUT_POSITIONS = 10;

// Where an image lies: its processor address is the download-buffer offset
// plus this.
constexpr uint32_t IMAGE_ADDRESS_BASE = 0xC0800000u;

struct ImageSlot {
  uint32_t ulImageAddress;
  uint8_t ucOwnsBuffer;  // 0 for the blank fill-in image
  PrintSizeRecord* pParams;  // printParams once attached, else null
  PrintSizeRecord printParams;  // the job's print size with this picture's geometry
  uint8_t aucTextItems[IMPRINT_TEXT_ITEMS][IMPRINT_TEXT_ITEM_BYTES];
  uint16_t ausCutList[CUT_LIST_WORDS];
  uint16_t ausToneCurve[TONE_CURVE_WORDS];
  uint16_t usOvercoatKind;
  uint16_t usInternal;  // 1 for an internal or blank image
  uint16_t usSlotState;
  uint16_t usFillIn;  // 1 on the job's blank fill-in side
  uint16_t usOvercoatOnly;  // not 0: the sheet prints the overcoat pass only
};

// First side, unit of side A, unit of side B: 0 where not decided or not
// printed.
struct UnitAssignment {
  uint32_t ulFirstSide;
  uint32_t ulUnitA;
  uint32_t ulUnitB;
  bool operator==(const UnitAssignment&) const = default;
};

struct PrintJobRecord {
  PrintJobRecord* pNext;  // in the list that holds the record
  uint32_t ulJobId;       // the host sees its low byte, 1-255
  uint16_t usJobKind;     // 0 host job, else internal
  uint16_t usCutOffset1;
  uint16_t usCutOffset2;
  uint16_t usCopies;
  uint16_t usCopiesLeft;
  uint16_t usCopiesPrinted;
  uint16_t usCancelRequest;  // CANCEL_... bits and their acknowledged forms
  uint8_t ucDefaultCuts;     // 1 when the cuts are the media's, not the host's
  uint8_t ucCutCount;
  uint16_t ausCutPositions[JOB_CUT_POSITIONS];
  UnitAssignment request;    // from the host or the internal-job rules
  UnitAssignment resolved;
  UnitAssignment inherited;  // left by the job before; survives the record's reuse
  UnitAssignment oddCopySet;
  UnitAssignment evenCopySet;
  uint32_t ulLastOrderRow;
  PrintSizeRecord* pPrintSize;
  ImageSlot slotColorA;
  ImageSlot slotColorB;
  ImageSlot slotSpA;
  ImageSlot slotSpB;
  uint8_t ucImageMask;
  uint8_t ucFillInSlot;  // SLOT_COLOR_A or _B, 0 without a fill-in side
  uint8_t ucExpectedMask;
  uint8_t ucReceivedMask;  // slots attached
  uint8_t ucCompleteMask;  // slots whose data is complete
  uint8_t ucPendingMask;   // slots of the current copy not yet started
  uint8_t ucPrinting;
  uint16_t usComplete;
  uint32_t ulCompletionTick;  // microseconds
  uint8_t ucSlotCount;
  uint8_t ucAttachIndex;
  uint8_t ucCompleteIndex;
  uint8_t aucSlotOrder[4];  // slot codes in the order the images arrive
  uint8_t ucFirstSideCommand;
  uint8_t ucPrintModeCommand;
  uint16_t usMergeSelector;
};

// The four slots of a job: colour A, colour B, SP A, SP B.
inline std::array<ImageSlot*, 4> SlotsOf(PrintJobRecord* pJob) {
  return {&pJob->slotColorA, &pJob->slotColorB, &pJob->slotSpA, &pJob->slotSpB};
}

// The side the job prints first: the set-up's first side when it names
// one, else the resolved first side (0 when undecided).
inline uint32_t FirstSideOf(const PrintJobRecord* pJob) {
  const uint32_t ulCommand = pJob->ucFirstSideCommand;
  return ulCommand == SIDE_A || ulCommand == SIDE_B ? ulCommand : pJob->resolved.ulFirstSide;
}

// A job that prints no further copy.
inline void ClearCopies(PrintJobRecord* pJob) {
  pJob->usCopies = 0;
  pJob->usCopiesLeft = 0;
  pJob->usCopiesPrinted = 0;
}

// Cancel requests and their acknowledged forms.
constexpr uint16_t CANCEL_AFTER_SHEET = 1;
constexpr uint16_t CANCEL_AFTER_ROW = 2;
constexpr uint16_t CANCEL_INCOMPLETE_ROWS = 4;

// Print-order rows.
constexpr uint32_t ORDER_COLOR_FIRST = 0;
constexpr uint32_t ORDER_COLOR_SECOND = 1;
constexpr uint32_t ORDER_SP_FIRST = 2;
constexpr uint32_t ORDER_SP_SECOND = 3;
constexpr uint32_t ORDER_FINISH = 4;
constexpr uint32_t PRINT_ORDER_ROWS = 5;

struct PrintOrderEntry {
  uint32_t ulKind;
  uint32_t ulSide;
  uint32_t ulUnit;
};

// The host status table: the values the host learns from the status record,
// kept by the application as 49 32-bit items, written by id through
// SetStatusItem. A writer that asks for a notification queues the status
// record (message 0x1002) for the USB task, which refreshes its status
// mirror and every reply header from it. Only the application task writes
// the table; the reply builders read it with GetStatusItem.
#pragma once

#include <cstdint>

enum StatusItemId : uint32_t {
  SI_ERROR_MAJOR = 1,
  SI_ERROR_MINOR = 2,
  SI_PRINTER_STATE = 3,
  SI_AUX_STATUS = 4,
  SI_COUNTER_TOTAL = 16,
  SI_COUNTER_MAINTE = 17,
  SI_COUNTER_TOTAL_LENGTH_L = 18,
  SI_COUNTER_TOTAL_LENGTH_R = 19,
  SI_COUNTER_MNT_LENGTH_L = 20,
  SI_COUNTER_MNT_LENGTH_R = 21,
  SI_COUNTER_TOTAL_L = 22,
  SI_COUNTER_TOTAL_R = 23,
  SI_COUNTER_MNT_L = 24,
  SI_COUNTER_MNT_R = 25,
  SI_COUNTER_MEDIA_PRN = 26,
  SI_COUNTER_MEDIA_PRN_L = 27,
  SI_COUNTER_MEDIA_PRN_R = 28,
  SI_RIBBON_REMAIN_L = 29,
  SI_RIBBON_REMAIN_R = 30,
  SI_PAPER_REMAIN = 31,
  SI_JOB_STATUS_0 = 32,  // .. SI_JOB_STATUS_9 = 41
  SI_JOB_STATUS_9 = 41,
  SI_TONE_CURVE_1 = 42,  // .. SI_TONE_CURVE_8 = 49
  SI_TONE_CURVE_8 = 49,
  SI_KEY_ENABLE = 51,
  SI_UNIT_ASSIGN_1 = 52,
  SI_UNIT_ASSIGN_2 = 53,
  SI_UNIT_ASSIGN_3 = 54,
  SI_PRINT_MODE = 55,
  SI_COUNTER_CUT = 64,
  SI_COUNTER_CAROUSEL = 65,
  SI_COUNTER_HEAD_LENGTH_L = 66,
  SI_COUNTER_HEAD_LENGTH_R = 67,
  SI_COUNTER_HEAD_PRINTS_L = 68,
  SI_COUNTER_HEAD_PRINTS_R = 69,
};

constexpr uint32_t HOST_STATUS_WORDS = 49;
// Zero at power-on, in the order the status replies read the items: 1-4,
// 16-41, 51, 42-49, 52-55, 64-69.
extern uint32_t g_HostStatusTable[HOST_STATUS_WORDS];

// The word of an item, or -1 for an id that is not an item.
int32_t StatusItemWord(uint32_t ulId);

// Stores the value (the printer state through AdjustStateForUnit); with
// arg_ulNotify 1 returns NotifyStatusChange, else 0; -1 for an id that is
// not an item (nothing stored, nothing queued).
int32_t SetStatusItem(uint32_t ulId, uint32_t ulValue, uint32_t arg_ulNotify);
// The item's value; 0xFFFFFFFF for an id that is not an item.
uint32_t GetStatusItem(uint32_t ulId);
// Marks the printing states 0x60-0x69 and 0x6C-0x6E with bit 7 while print
// unit B is current; returns the current unit.
uint32_t AdjustStateForUnit(uint32_t* pulState);
// Queues the status record and runs one usb_comm_poll: its result, or the
// queue's -1 (then without polling).
int32_t NotifyStatusChange();

// Start-up fill and the counter refresh (items from the life counters,
// ribbon and paper models and the "Key Enable" setting).
int32_t InitStatusItems();
int32_t RefreshCounterItems();

#include "firmware/control/host_status_table.h"

#include "firmware/devices/unit_switch.h"
#include "firmware/hostif/shmem_usb.h"
#include "firmware/hostif/usb_comm.h"
#include "protocol/codes.h"

uint32_t g_HostStatusTable[HOST_STATUS_WORDS];

namespace {

struct ItemRange {
  uint32_t ulFirstId;
  uint32_t ulLastId;
  uint32_t ulFirstWord;
};

// Items 1-4, 16-41, 51, 42-49, 52-55, 64-69 in word order.
constexpr ItemRange kItemRanges[] = {
    {1, 4, 0}, {16, 41, 4}, {51, 51, 30}, {42, 49, 31}, {52, 55, 39}, {64, 69, 43},
};

}  // namespace

int32_t StatusItemWord(uint32_t ulId) {
  for (const ItemRange& range : kItemRanges) {
    if (ulId >= range.ulFirstId && ulId <= range.ulLastId) {
      return static_cast<int32_t>(range.ulFirstWord + (ulId - range.ulFirstId));
    }
  }
  return -1;
}

uint32_t AdjustStateForUnit(uint32_t* pulState) {
  const uint32_t ulUnit = GetCurrentUnit();
  if (*pulState <= 0xFFu) {
    *pulState = protocol::PrinterStateForUnit(static_cast<uint8_t>(*pulState),
                                              ulUnit == 1 ? protocol::PRINT_UNIT_B : protocol::PRINT_UNIT_A);
  }
  return ulUnit;
}

int32_t SetStatusItem(uint32_t ulId, uint32_t ulValue, uint32_t arg_ulNotify) {
  const int32_t lWord = StatusItemWord(ulId);
  if (lWord < 0) return -1;
  if (ulId == SI_PRINTER_STATE) AdjustStateForUnit(&ulValue);
  g_HostStatusTable[lWord] = ulValue;
  return arg_ulNotify == 1 ? NotifyStatusChange() : 0;
}

uint32_t GetStatusItem(uint32_t ulId) {
  const int32_t lWord = StatusItemWord(ulId);
  return lWord < 0 ? 0xFFFFFFFFu : g_HostStatusTable[lWord];
}

// The notice's record is built from the table when it is sent, so a notice
// that waits already carries this change too: the queue holds at most one
// waiting notice, however often the table changes while box 1 is busy.
int32_t NotifyStatusChange() {
  if (usb_comm_txreq_waiting(APPMSG_NOTIFY_STATUS) == 0) {
    const int32_t lQueued = usb_comm::regist_txreq_code(APPMSG_NOTIFY_STATUS);
    if (lQueued != 0) return lQueued;
  }
  return usb_comm_poll();
}

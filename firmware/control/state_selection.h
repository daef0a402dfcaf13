// The rules that choose the printer state: a ready state first, then
// pending start-up and paper events, then the lowest active error index.
#pragma once

#include <cstdint>

class CEventMng;

struct EventStateInputs {
  int32_t lLowestIndex;  // -1: no error
  uint64_t ullEvents;    // the event set
  uint32_t ulJobPrepared;
  int32_t lRibbonStatus;
  int32_t lDonorKeepA;
  int32_t lDonorKeepB;
  uint32_t ulEngColorRibbon;
};

// The state the inputs select.
CEventMng* ChooseEventState(const EventStateInputs& in);

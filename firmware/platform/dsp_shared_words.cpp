// The words the firmware shares with the DSP, read and written through the
// system-device call.
#include "firmware/platform/dsp_boot.h"
#include "firmware/platform/ioctl.h"

int32_t DspShmWrite16(uint16_t usOffset, uint16_t usValue) { return IoctlWrite16(DSP_SHM_BASE + usOffset, usValue); }

int32_t DspShmRead16(uint16_t usOffset, uint16_t* pusValue) { return IoctlRead16(DSP_SHM_BASE + usOffset, pusValue); }

int32_t ReadDspWord(PhysAddr ulAddr, uint16_t* pusValue) {
  IoctlRead16(ulAddr, pusValue);
  return 0;
}

int32_t WriteDspWord(PhysAddr ulAddr, const uint16_t* pusValue) {
  IoctlWrite16(ulAddr, *pusValue);
  return 0;
}

int32_t ReadDspWords(PhysAddr ulAddr, uint16_t* pusValues, uint32_t ulCount) {
  for (uint32_t i = 0; i < ulCount; ++i) ReadDspWord(ulAddr + 2 * i, &pusValues[i]);
  return 0;
}

int32_t WriteDspWords(PhysAddr ulAddr, const uint16_t* pusValues, uint32_t ulCount) {
  for (uint32_t i = 0; i < ulCount; ++i) WriteDspWord(ulAddr + 2 * i, &pusValues[i]);
  return 0;
}

int32_t WriteDspControl(const uint16_t* pusValue) { return WriteDspWord(DSP_SHM_BASE + DSP_SHM_CONTROL, pusValue); }
int32_t ReadDspControl(uint16_t* pusValue) { return ReadDspWord(DSP_SHM_BASE + DSP_SHM_CONTROL, pusValue); }
int32_t WriteDspStatus(const uint16_t* pusValue) { return WriteDspWord(DSP_SHM_BASE + DSP_SHM_STATUS, pusValue); }
int32_t ReadDspStatus(uint16_t* pusValue) { return ReadDspWord(DSP_SHM_BASE + DSP_SHM_STATUS, pusValue); }

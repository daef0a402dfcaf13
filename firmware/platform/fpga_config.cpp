// The FPGA's passive-serial configuration. ConfigureFpga runs inside the
// system-device call and drives the lines directly through the GPIO set- and
// clear-data registers; each bit costs three register writes (data, clock
// high, clock low) with no delay between edges. One 5000 ms deadline (soft
// timer 6) covers the wait for the status line and the wait for the done
// line; the send between them is bounded by the largest bitstream the area
// holds.
#include "firmware/platform/fpga_config.h"

#include "firmware/hal/board.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/gpio.h"
#include "firmware/platform/soft_timer.h"

IoctlWord g_FpgaConfigBlock[IOCTL_FPGA_CONFIG_WORDS];

namespace {

constexpr uint32_t kDeadlineMs = 5000;
constexpr uint32_t kStartPulseUs = 1000;
constexpr uint32_t kSettleUs = 1000;
constexpr uint32_t kReadyDelayUs = 5000;

constexpr PhysAddr kSetData = GpioRegister(0, GPIO_SET_DATA);
constexpr PhysAddr kClearData = GpioRegister(0, GPIO_CLR_DATA);
constexpr PhysAddr kInData = GpioRegister(0, GPIO_IN_DATA);

void Raise(uint32_t ulLines) { HwWrite32(kSetData, ulLines); }
void Lower(uint32_t ulLines) { HwWrite32(kClearData, ulLines); }

void PutDataBit(uint32_t ulBit) {
  if (ulBit != 0) {
    Raise(FPGA_CFG_DATA);
  } else {
    Lower(FPGA_CFG_DATA);
  }
}

void Clock() {
  Raise(FPGA_CFG_CLOCK);
  Lower(FPGA_CFG_CLOCK);
}

// Waits until the input line reads 1 or the deadline has passed; the line
// is read at least once.
bool WaitForLine(uint32_t ulLine) {
  for (;;) {
    if ((HwRead32(kInData) & ulLine) != 0) return true;
    if (IsSoftTimerRunning(SOFT_TIMER_LONG) == 0) return false;
  }
}

uint8_t FpgaReadByteDirect(PhysAddr ulFlashAddr, uint32_t ulIndex) { return HwRead8(ulFlashAddr + ulIndex); }

uint8_t FpgaReadByteCopy(const uint8_t* pucBytes, uint32_t ulIndex) { return pucBytes[ulIndex]; }

int32_t Finish(int32_t lResult) {
  syslog(LOG_EMERG, lResult != 0 ? "fpga error\n" : "fpga ok\n");
  return lResult;
}

}  // namespace

int32_t ConfigureFpga(PhysAddr ulFlashAddr, const uint8_t* pucBlockBytes, uint32_t ulByteCount,
                      uint32_t ulFromFlash) {
  if (ulByteCount == 0 || ulByteCount > FPGA_IMAGE_MAX_BYTES || (ulFromFlash == 0 && pucBlockBytes == nullptr)) {
    syslog(LOG_EMERG, "size:%d\n", ulByteCount);
    syslog(LOG_EMERG, "error3\n");
    return Finish(-3);
  }
  auto byteAt = [&](uint32_t ulIndex) {
    return ulFromFlash != 0 ? FpgaReadByteDirect(ulFlashAddr, ulIndex) : FpgaReadByteCopy(pucBlockBytes, ulIndex);
  };

  Raise(FPGA_CFG_DATA | FPGA_CFG_START);
  Lower(FPGA_CFG_READY | FPGA_CFG_CLOCK);
  BoardWaitUs(kSettleUs);

  syslog(LOG_EMERG, "size:%d\n", ulByteCount);
  StartSoftTimer(SOFT_TIMER_LONG, kDeadlineMs);

  syslog(LOG_EMERG, "fpga_addr:%8x\n", ulFlashAddr);
  const uint8_t ucFirst = byteAt(0);
  syslog(LOG_EMERG, "fpga_data:%d\n", ucFirst);
  syslog(LOG_EMERG, "fpga_addr:%8x\n", ulFlashAddr);

  PutDataBit(ucFirst & 1u);
  Lower(FPGA_CFG_CLOCK);

  // The start pulse.
  Raise(FPGA_CFG_START);
  Lower(FPGA_CFG_START);
  BoardWaitUs(kStartPulseUs);
  Raise(FPGA_CFG_START);

  if (!WaitForLine(FPGA_CFG_STATUS)) {
    syslog(LOG_EMERG, "error1\n");
    return Finish(-1);
  }

  Clock();  // bit 0 of byte 0, put on the line before the start pulse
  for (uint32_t ulBit = 1; ulBit < 8; ++ulBit) {
    PutDataBit((ucFirst >> ulBit) & 1u);
    Clock();
  }
  for (uint32_t ulIndex = 1; ulIndex < ulByteCount; ++ulIndex) {
    const uint8_t ucByte = byteAt(ulIndex);
    for (uint32_t ulBit = 0; ulBit < 8; ++ulBit) {
      PutDataBit((ucByte >> ulBit) & 1u);
      Clock();
    }
  }

  // One extra clock lets the FPGA start its logic.
  Lower(FPGA_CFG_CLOCK);
  Raise(FPGA_CFG_CLOCK);
  Lower(FPGA_CFG_CLOCK);
  if (!WaitForLine(FPGA_CFG_DONE)) {
    syslog(LOG_EMERG, "error2\n");
    return Finish(-2);
  }
  BoardWaitUs(kReadyDelayUs);
  Raise(FPGA_CFG_READY);
  return Finish(0);
}

int32_t GetFpgaImageInfo(FpgaImageInfo* pInfo) {
  uint32_t ulCount = 0;
  const int32_t lResult = IoctlRead32(FPGA_IMAGE_COUNT_ADDR, &ulCount);
  pInfo->ulAddress = FPGA_IMAGE_ADDR;
  pInfo->ulCount = ulCount;
  pInfo->ulFromFlash = 1;
  return lResult;
}

int32_t ConfigureFpgaFromFlash() {
  FpgaImageInfo info{};
  GetFpgaImageInfo(&info);
  // An erased or damaged count word names no bitstream: the FPGA is left as
  // it is.
  if (info.ulCount == 0 || info.ulCount > FPGA_IMAGE_MAX_BYTES) {
    syslog(LOG_EMERG, "fpga size error:%x\n", info.ulCount);
    g_FpgaConfigBlock[3] = IoctlResultWord(-3);
    return Finish(-3);
  }
  g_FpgaConfigBlock[0] = info.ulCount;
  g_FpgaConfigBlock[1] = info.ulAddress;
  g_FpgaConfigBlock[2] = info.ulFromFlash;
  return IoctlConfigFpga(g_FpgaConfigBlock);
}

// The start-up's steps on the board's outputs and inputs: the FPGA's pin
// interrupt edges, the motor drivers, the photo sensors, the panel and the
// colour sensors' channels.
#include "firmware/control/host_status_table.h"
#include "firmware/control/lcd.h"
#include "firmware/control/leds.h"
#include "firmware/control/startup_steps.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/panel_ports.h"
#include "firmware/devices/sensors.h"
#include "firmware/hal/kernel.h"
#include "firmware/hostif/host_command_interface.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/ioctl.h"
#include "firmware/platform/us_timer.h"

namespace {

constexpr uint32_t kLastEdgePin = 7;
constexpr uint32_t kFirstEdges[] = {0, 1, 2, 3, 4, 6};
constexpr uint32_t kRunningEdges[] = {1, 2, 3, 4, 5, 6};
constexpr uint32_t kPhotoLedWaitUs = 1000;

// The colour sensors' A/D channel and mode by main PCB revision.
struct ColorSensorInputs {
  uint32_t ulChannelL;
  uint32_t ulModeL;
  uint32_t ulChannelR;
  uint32_t ulModeR;
};
constexpr ColorSensorInputs kColorInputsRev0 = {128, 0, 129, 0};
constexpr ColorSensorInputs kColorInputsLater = {128, 32, 128, 0};
constexpr uint16_t kPcbRevisionBits = 0x000Fu;

}  // namespace

void InitPinInterruptEdges() {
  for (uint32_t ulPin = 0; ulPin <= kLastEdgePin; ++ulPin) IoctlClrGpioFallTrig(ulPin);
  for (uint32_t ulPin : kFirstEdges) IoctlSetGpioFallTrig(ulPin);
}

void InitStatusAndUsbComm() {
  InitStatusItems();
  usb_attention();
}

void SetPinInterruptEdges() {
  for (uint32_t ulPin : kRunningEdges) IoctlSetGpioFallTrig(ulPin);
}

void SwitchOutputsOn() {
  syslog(LOG_EMERG, "Motor Enable ON ...");
  g_PortMotorEnable.Set();
  syslog(LOG_EMERG, "PhotoSen LED ON ...");
  g_PortPhotoSenLed1.Set();
  g_UsTimer.WaitUs(kPhotoLedWaitUs);
  g_PortPhotoSenLed2.Set();
  g_UsTimer.WaitUs(kPhotoLedWaitUs);
  syslog(LOG_EMERG, "CoverOpen PowerSaveMode ON ...");
  g_PortCoverOpenPowerSave.Set();
}

void InitPanel() {
  syslog(LOG_EMERG, "LCD Initialize ...");
  g_LedPower.On();
  g_LedReady.Off();
  g_LedError.Off();
  g_Lcd.Init();
  g_Lcd.PowerOn();
  g_Lcd.WriteText("Initializing    ", 0, 16);
}

void ConfigureColorSensorInputs() {
  uint16_t usRevision = 0;
  g_FpgaMain.Read(FPGA_PCB_REV, &usRevision);
  usRevision &= kPcbRevisionBits;
  syslog(LOG_EMERG, "Main PCB Rev. = %x", usRevision);
  const ColorSensorInputs& in = usRevision == 0 ? kColorInputsRev0 : kColorInputsLater;
  g_AdCSenL.SetChannel(in.ulChannelL);
  g_AdCSenL.SetMode(in.ulModeL);
  g_AdCSenR.SetChannel(in.ulChannelR);
  g_AdCSenR.SetMode(in.ulModeR);
}

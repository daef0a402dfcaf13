// The ports of the operator panel and of the power-save outputs: keys, LCD
// lines, LEDs, the photo-sensor LED supplies and the power-save lines. They
// are built by the machine definition in its port order.
#pragma once

#include "firmware/devices/io_port.h"

// FPGA 0x64000036 bit 11: the Exit LED (lit while clear).
extern COutputPortWord g_PortExitLed;
// GPIO 0x01E26014 bits 20, 21: photo-sensor LED supplies (set = on).
extern COutputPortLong g_PortPhotoSenLed1;
extern COutputPortLong g_PortPhotoSenLed2;
// GPIO 0x01E26098 mask 0x3F: the six keys, active low (0x3F: no key).
extern CInputPortLong g_PortKeys;
// GPIO 0x01E2608C: LCD enable and register select (bits 6, 7), the Error,
// Ready and Power LEDs (bits 8-10, lit while clear), LCD power, power save
// and the cover-open power save (bits 11-13), and the LCD data byte (bits
// 24-31, written inverted).
extern COutputPortLong g_PortLcdE;
extern COutputPortLong g_PortLcdRs;
extern COutputPortLong g_PortLedError;
extern COutputPortLong g_PortLedReady;
extern COutputPortLong g_PortLedPower;
extern COutputPortLong g_PortLcdPower;
extern COutputPortLong g_PortPowerSave;
extern COutputPortLong g_PortCoverOpenPowerSave;
extern COutputPortLong g_PortLcdData;

namespace panel_ports {
constexpr uint32_t kGpioOut01 = 0x01E26014u;
constexpr uint32_t kGpioIn67 = 0x01E26098u;
constexpr uint32_t kGpioOut67 = 0x01E2608Cu;
constexpr uint32_t kFpgaExitLed = 0x64000036u;
}  // namespace panel_ports

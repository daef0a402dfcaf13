// The machine's input and output ports in their construction order: the
// FPGA input bits of the switch sensors, the Exit LED, the SoC GPIO lines
// (panel, power, head power and the spare lines, which are built and
// registered but used by nothing), then the head-EEPROM lines of unit L and
// of unit R. They use 4 FPGA input, 2 FPGA output, 4 GPIO input and 4 GPIO
// output registers of the registries.
#pragma once

#include <cstdint>

#include "firmware/devices/io_port.h"

enum PortKind : uint8_t {
  PORT_IN_WORD = 0,
  PORT_IN_LONG = 1,
  PORT_OUT_WORD = 2,
  PORT_OUT_LONG = 3,
};

union PortObject {
  CInputPortWord* pInWord;
  CInputPortLong* pInLong;
  COutputPortWord* pOutWord;
  COutputPortLong* pOutLong;
};

struct PortSpec {
  PortKind eKind;
  uint32_t ulRegister;
  uint32_t ulMask;
  PortObject object;
};

constexpr uint32_t PORT_COUNT = 98;
// Rows [0, 47): FPGA 0x64000000 bits 0-15, 0x64000002 bits 0-14 and
// 0x64000004 bits 0-15, one bit each.
constexpr uint32_t PORT_SWITCH_INPUT_COUNT = 47;
// Rows [0, 90) are built in the port step; the last eight rows with the
// head EEPROMs (four per unit).
constexpr uint32_t PORT_MAIN_COUNT = 90;
constexpr uint32_t PORT_HEAD_EEPROM_FIRST_L = 90;
constexpr uint32_t PORT_HEAD_EEPROM_FIRST_R = 94;
constexpr uint32_t PORT_HEAD_EEPROM_COUNT = 4;
constexpr uint32_t PORT_SPARE_INPUT_COUNT = 13;
constexpr uint32_t PORT_SPARE_OUTPUT_COUNT = 14;

extern CInputPortWord g_aPortSwitchInputs[PORT_SWITCH_INPUT_COUNT];
extern CInputPortLong g_aPortSpareInputs[PORT_SPARE_INPUT_COUNT];
extern COutputPortLong g_aPortSpareOutputs[PORT_SPARE_OUTPUT_COUNT];
// GPIO 0x01E26014 bit 9: the motor drivers' enable.
extern COutputPortLong g_PortMotorEnable;
// GPIO 0x01E260B4 bits 10, 11: the head supplies of unit L and unit R.
extern COutputPortLong g_PortHeadPowerL;
extern COutputPortLong g_PortHeadPowerR;

extern const PortSpec g_aPortSpecs[PORT_COUNT];

void ConstructPorts(uint32_t ulFirst, uint32_t ulCount);
// The switch-sensor input port of an FPGA register bit, or null.
CInputPortWord* SwitchInputPort(uint32_t ulRegister, uint32_t ulBit);

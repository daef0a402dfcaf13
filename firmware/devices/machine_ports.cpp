#include "firmware/devices/machine_ports.h"

#include "firmware/devices/eeprom.h"
#include "firmware/devices/panel_ports.h"
#include "firmware/hal/global.h"

constinit CInputPortWord g_aPortSwitchInputs[PORT_SWITCH_INPUT_COUNT];
constinit CInputPortLong g_aPortSpareInputs[PORT_SPARE_INPUT_COUNT];
constinit COutputPortLong g_aPortSpareOutputs[PORT_SPARE_OUTPUT_COUNT];
constinit COutputPortLong g_PortMotorEnable;
constinit COutputPortLong g_PortHeadPowerL;
constinit COutputPortLong g_PortHeadPowerR;

constexpr PortSpec g_aPortSpecs[PORT_COUNT] = {
    {PORT_IN_WORD, 0x64000000u, 0x00000001u, {.pInWord = &g_aPortSwitchInputs[0]}},
    {PORT_IN_WORD, 0x64000000u, 0x00000002u, {.pInWord = &g_aPortSwitchInputs[1]}},
    {PORT_IN_WORD, 0x64000000u, 0x00000004u, {.pInWord = &g_aPortSwitchInputs[2]}},
    {PORT_IN_WORD, 0x64000000u, 0x00000008u, {.pInWord = &g_aPortSwitchInputs[3]}},
    {PORT_IN_WORD, 0x64000000u, 0x00000010u, {.pInWord = &g_aPortSwitchInputs[4]}},
    {PORT_IN_WORD, 0x64000000u, 0x00000020u, {.pInWord = &g_aPortSwitchInputs[5]}},
    {PORT_IN_WORD, 0x64000000u, 0x00000040u, {.pInWord = &g_aPortSwitchInputs[6]}},
    {PORT_IN_WORD, 0x64000000u, 0x00000080u, {.pInWord = &g_aPortSwitchInputs[7]}},
    {PORT_IN_WORD, 0x64000000u, 0x00000100u, {.pInWord = &g_aPortSwitchInputs[8]}},
    {PORT_IN_WORD, 0x64000000u, 0x00000200u, {.pInWord = &g_aPortSwitchInputs[9]}},
    {PORT_IN_WORD, 0x64000000u, 0x00000400u, {.pInWord = &g_aPortSwitchInputs[10]}},
    {PORT_IN_WORD, 0x64000000u, 0x00000800u, {.pInWord = &g_aPortSwitchInputs[11]}},
    {PORT_IN_WORD, 0x64000000u, 0x00001000u, {.pInWord = &g_aPortSwitchInputs[12]}},
    {PORT_IN_WORD, 0x64000000u, 0x00002000u, {.pInWord = &g_aPortSwitchInputs[13]}},
    {PORT_IN_WORD, 0x64000000u, 0x00004000u, {.pInWord = &g_aPortSwitchInputs[14]}},
    {PORT_IN_WORD, 0x64000000u, 0x00008000u, {.pInWord = &g_aPortSwitchInputs[15]}},
    {PORT_IN_WORD, 0x64000002u, 0x00000001u, {.pInWord = &g_aPortSwitchInputs[16]}},
    {PORT_IN_WORD, 0x64000002u, 0x00000002u, {.pInWord = &g_aPortSwitchInputs[17]}},
    {PORT_IN_WORD, 0x64000002u, 0x00000004u, {.pInWord = &g_aPortSwitchInputs[18]}},
    {PORT_IN_WORD, 0x64000002u, 0x00000008u, {.pInWord = &g_aPortSwitchInputs[19]}},
    {PORT_IN_WORD, 0x64000002u, 0x00000010u, {.pInWord = &g_aPortSwitchInputs[20]}},
    {PORT_IN_WORD, 0x64000002u, 0x00000020u, {.pInWord = &g_aPortSwitchInputs[21]}},
    {PORT_IN_WORD, 0x64000002u, 0x00000040u, {.pInWord = &g_aPortSwitchInputs[22]}},
    {PORT_IN_WORD, 0x64000002u, 0x00000080u, {.pInWord = &g_aPortSwitchInputs[23]}},
    {PORT_IN_WORD, 0x64000002u, 0x00000100u, {.pInWord = &g_aPortSwitchInputs[24]}},
    {PORT_IN_WORD, 0x64000002u, 0x00000200u, {.pInWord = &g_aPortSwitchInputs[25]}},
    {PORT_IN_WORD, 0x64000002u, 0x00000400u, {.pInWord = &g_aPortSwitchInputs[26]}},
    {PORT_IN_WORD, 0x64000002u, 0x00000800u, {.pInWord = &g_aPortSwitchInputs[27]}},
    {PORT_IN_WORD, 0x64000002u, 0x00001000u, {.pInWord = &g_aPortSwitchInputs[28]}},
    {PORT_IN_WORD, 0x64000002u, 0x00002000u, {.pInWord = &g_aPortSwitchInputs[29]}},
    {PORT_IN_WORD, 0x64000002u, 0x00004000u, {.pInWord = &g_aPortSwitchInputs[30]}},
    {PORT_IN_WORD, 0x64000004u, 0x00000001u, {.pInWord = &g_aPortSwitchInputs[31]}},
    {PORT_IN_WORD, 0x64000004u, 0x00000002u, {.pInWord = &g_aPortSwitchInputs[32]}},
    {PORT_IN_WORD, 0x64000004u, 0x00000004u, {.pInWord = &g_aPortSwitchInputs[33]}},
    {PORT_IN_WORD, 0x64000004u, 0x00000008u, {.pInWord = &g_aPortSwitchInputs[34]}},
    {PORT_IN_WORD, 0x64000004u, 0x00000010u, {.pInWord = &g_aPortSwitchInputs[35]}},
    {PORT_IN_WORD, 0x64000004u, 0x00000020u, {.pInWord = &g_aPortSwitchInputs[36]}},
    {PORT_IN_WORD, 0x64000004u, 0x00000040u, {.pInWord = &g_aPortSwitchInputs[37]}},
    {PORT_IN_WORD, 0x64000004u, 0x00000080u, {.pInWord = &g_aPortSwitchInputs[38]}},
    {PORT_IN_WORD, 0x64000004u, 0x00000100u, {.pInWord = &g_aPortSwitchInputs[39]}},
    {PORT_IN_WORD, 0x64000004u, 0x00000200u, {.pInWord = &g_aPortSwitchInputs[40]}},
    {PORT_IN_WORD, 0x64000004u, 0x00000400u, {.pInWord = &g_aPortSwitchInputs[41]}},
    {PORT_IN_WORD, 0x64000004u, 0x00000800u, {.pInWord = &g_aPortSwitchInputs[42]}},
    {PORT_IN_WORD, 0x64000004u, 0x00001000u, {.pInWord = &g_aPortSwitchInputs[43]}},
    {PORT_IN_WORD, 0x64000004u, 0x00002000u, {.pInWord = &g_aPortSwitchInputs[44]}},
    {PORT_IN_WORD, 0x64000004u, 0x00004000u, {.pInWord = &g_aPortSwitchInputs[45]}},
    {PORT_IN_WORD, 0x64000004u, 0x00008000u, {.pInWord = &g_aPortSwitchInputs[46]}},
    {PORT_OUT_WORD, 0x64000036u, 0x00000800u, {.pOutWord = &g_PortExitLed}},
    {PORT_OUT_LONG, 0x01E26014u, 0x00000001u, {.pOutLong = &g_aPortSpareOutputs[0]}},
    {PORT_IN_LONG, 0x01E26020u, 0x00000002u, {.pInLong = &g_aPortSpareInputs[0]}},
    {PORT_IN_LONG, 0x01E26020u, 0x00000004u, {.pInLong = &g_aPortSpareInputs[1]}},
    {PORT_IN_LONG, 0x01E26020u, 0x00000008u, {.pInLong = &g_aPortSpareInputs[2]}},
    {PORT_IN_LONG, 0x01E26020u, 0x00000010u, {.pInLong = &g_aPortSpareInputs[3]}},
    {PORT_IN_LONG, 0x01E26020u, 0x00000020u, {.pInLong = &g_aPortSpareInputs[4]}},
    {PORT_IN_LONG, 0x01E26020u, 0x00000040u, {.pInLong = &g_aPortSpareInputs[5]}},
    {PORT_IN_LONG, 0x01E26020u, 0x00000080u, {.pInLong = &g_aPortSpareInputs[6]}},
    {PORT_IN_LONG, 0x01E26020u, 0x00000100u, {.pInLong = &g_aPortSpareInputs[7]}},
    {PORT_OUT_LONG, 0x01E26014u, 0x00000200u, {.pOutLong = &g_PortMotorEnable}},
    {PORT_OUT_LONG, 0x01E26014u, 0x00000400u, {.pOutLong = &g_aPortSpareOutputs[1]}},
    {PORT_OUT_LONG, 0x01E26014u, 0x00000800u, {.pOutLong = &g_aPortSpareOutputs[2]}},
    {PORT_OUT_LONG, 0x01E26014u, 0x00001000u, {.pOutLong = &g_aPortSpareOutputs[3]}},
    {PORT_OUT_LONG, 0x01E26014u, 0x00002000u, {.pOutLong = &g_aPortSpareOutputs[4]}},
    {PORT_IN_LONG, 0x01E26020u, 0x00004000u, {.pInLong = &g_aPortSpareInputs[8]}},
    {PORT_IN_LONG, 0x01E26020u, 0x00008000u, {.pInLong = &g_aPortSpareInputs[9]}},
    {PORT_OUT_LONG, 0x01E26014u, 0x00100000u, {.pOutLong = &g_PortPhotoSenLed1}},
    {PORT_OUT_LONG, 0x01E26014u, 0x00200000u, {.pOutLong = &g_PortPhotoSenLed2}},
    {PORT_OUT_LONG, 0x01E2603Cu, 0x00000040u, {.pOutLong = &g_aPortSpareOutputs[5]}},
    {PORT_OUT_LONG, 0x01E2603Cu, 0x00000400u, {.pOutLong = &g_aPortSpareOutputs[6]}},
    {PORT_IN_LONG, 0x01E26048u, 0x00000800u, {.pInLong = &g_aPortSpareInputs[10]}},
    {PORT_OUT_LONG, 0x01E2603Cu, 0x00002000u, {.pOutLong = &g_aPortSpareOutputs[7]}},
    {PORT_OUT_LONG, 0x01E2603Cu, 0x00004000u, {.pOutLong = &g_aPortSpareOutputs[8]}},
    {PORT_IN_LONG, 0x01E26098u, 0x0000003Fu, {.pInLong = &g_PortKeys}},
    {PORT_OUT_LONG, 0x01E2608Cu, 0x00000040u, {.pOutLong = &g_PortLcdE}},
    {PORT_OUT_LONG, 0x01E2608Cu, 0x00000080u, {.pOutLong = &g_PortLcdRs}},
    {PORT_OUT_LONG, 0x01E2608Cu, 0x00000100u, {.pOutLong = &g_PortLedError}},
    {PORT_OUT_LONG, 0x01E2608Cu, 0x00000200u, {.pOutLong = &g_PortLedReady}},
    {PORT_OUT_LONG, 0x01E2608Cu, 0x00000400u, {.pOutLong = &g_PortLedPower}},
    {PORT_OUT_LONG, 0x01E2608Cu, 0x00000800u, {.pOutLong = &g_PortLcdPower}},
    {PORT_OUT_LONG, 0x01E2608Cu, 0x00001000u, {.pOutLong = &g_PortPowerSave}},
    {PORT_OUT_LONG, 0x01E2608Cu, 0x00002000u, {.pOutLong = &g_PortCoverOpenPowerSave}},
    {PORT_OUT_LONG, 0x01E2608Cu, 0x00004000u, {.pOutLong = &g_aPortSpareOutputs[9]}},
    {PORT_OUT_LONG, 0x01E2608Cu, 0xFF000000u, {.pOutLong = &g_PortLcdData}},
    {PORT_IN_LONG, 0x01E260C0u, 0x00000100u, {.pInLong = &g_aPortSpareInputs[11]}},
    {PORT_IN_LONG, 0x01E260C0u, 0x00000200u, {.pInLong = &g_aPortSpareInputs[12]}},
    {PORT_OUT_LONG, 0x01E260B4u, 0x00000400u, {.pOutLong = &g_PortHeadPowerL}},
    {PORT_OUT_LONG, 0x01E260B4u, 0x00000800u, {.pOutLong = &g_PortHeadPowerR}},
    {PORT_OUT_LONG, 0x01E260B4u, 0x00001000u, {.pOutLong = &g_aPortSpareOutputs[10]}},
    {PORT_OUT_LONG, 0x01E260B4u, 0x00002000u, {.pOutLong = &g_aPortSpareOutputs[11]}},
    {PORT_OUT_LONG, 0x01E260B4u, 0x00004000u, {.pOutLong = &g_aPortSpareOutputs[12]}},
    {PORT_OUT_LONG, 0x01E260B4u, 0x00008000u, {.pOutLong = &g_aPortSpareOutputs[13]}},
    {PORT_IN_WORD, 0x6400002Au, 0x00000001u, {.pInWord = &g_PortHeadEepromDoL}},
    {PORT_OUT_WORD, 0x6400002Cu, 0x00000001u, {.pOutWord = &g_PortHeadEepromDiL}},
    {PORT_OUT_WORD, 0x6400002Cu, 0x00000002u, {.pOutWord = &g_PortHeadEepromClkL}},
    {PORT_OUT_WORD, 0x6400002Cu, 0x00000004u, {.pOutWord = &g_PortHeadEepromCsL}},
    {PORT_IN_WORD, 0x6400002Au, 0x00000002u, {.pInWord = &g_PortHeadEepromDoR}},
    {PORT_OUT_WORD, 0x6400002Cu, 0x00000008u, {.pOutWord = &g_PortHeadEepromDiR}},
    {PORT_OUT_WORD, 0x6400002Cu, 0x00000010u, {.pOutWord = &g_PortHeadEepromClkR}},
    {PORT_OUT_WORD, 0x6400002Cu, 0x00000020u, {.pOutWord = &g_PortHeadEepromCsR}},
};

void ConstructPorts(uint32_t ulFirst, uint32_t ulCount) {
  for (uint32_t i = ulFirst; i < ulFirst + ulCount && i < PORT_COUNT; ++i) {
    const PortSpec& port = g_aPortSpecs[i];
    switch (port.eKind) {
      case PORT_IN_WORD:
        hal::ConstructGlobal(*port.object.pInWord, port.ulRegister, port.ulMask);
        break;
      case PORT_IN_LONG:
        hal::ConstructGlobal(*port.object.pInLong, port.ulRegister, port.ulMask);
        break;
      case PORT_OUT_WORD:
        hal::ConstructGlobal(*port.object.pOutWord, port.ulRegister, port.ulMask);
        break;
      case PORT_OUT_LONG:
        hal::ConstructGlobal(*port.object.pOutLong, port.ulRegister, port.ulMask);
        break;
    }
  }
}

CInputPortWord* SwitchInputPort(uint32_t ulRegister, uint32_t ulBit) {
  for (uint32_t i = 0; i < PORT_SWITCH_INPUT_COUNT; ++i) {
    const PortSpec& port = g_aPortSpecs[i];
    if (port.ulRegister == ulRegister && port.ulMask == (1u << ulBit)) return port.object.pInWord;
  }
  return nullptr;
}

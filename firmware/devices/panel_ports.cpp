#include "firmware/devices/panel_ports.h"

constinit COutputPortWord g_PortExitLed;
constinit COutputPortLong g_PortPhotoSenLed1;
constinit COutputPortLong g_PortPhotoSenLed2;
constinit CInputPortLong g_PortKeys;
constinit COutputPortLong g_PortLcdE;
constinit COutputPortLong g_PortLcdRs;
constinit COutputPortLong g_PortLedError;
constinit COutputPortLong g_PortLedReady;
constinit COutputPortLong g_PortLedPower;
constinit COutputPortLong g_PortLcdPower;
constinit COutputPortLong g_PortPowerSave;
constinit COutputPortLong g_PortCoverOpenPowerSave;
constinit COutputPortLong g_PortLcdData;

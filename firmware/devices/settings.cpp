#include "firmware/devices/settings.h"

constinit CParameter g_ParamPowerSaveTime;

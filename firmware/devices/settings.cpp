#include "firmware/devices/settings.h"

#include "firmware/devices/eeprom_cells.h"
#include "firmware/hal/global.h"

constinit CParameter g_ParamPowerSaveTime;
constinit CParameter g_ParamRollBackFlag;
constinit CParameter g_ParamDonorKeepA;
constinit CParameter g_ParamDonorKeepB;
constinit CParameter g_ParamEnergySave;
constinit CParameter g_ParamKeyEnable;
constinit CParameter g_ParamRibbonStatus;

void ConstructControlSettings() {
  using namespace settings;
  hal::ConstructGlobal(g_ParamRollBackFlag, kRollBackFlagLabel, 0, 5, &g_Cell126, nullptr, nullptr, 0);
  hal::ConstructGlobal(g_ParamDonorKeepA, kDonorKeepALabel, 0, 500, &g_Cell140, nullptr, nullptr, 0);
  hal::ConstructGlobal(g_ParamDonorKeepB, kDonorKeepBLabel, 0, 500, &g_Cell142, nullptr, nullptr, 0);
  hal::ConstructGlobal(g_ParamEnergySave, kBlankLabel, 0, 1, &g_Cell119, nullptr, nullptr, 0);
  hal::ConstructGlobal(g_ParamKeyEnable, kKeyEnableLabel, 0, 1, &g_Cell380, nullptr, nullptr, 1);
  hal::ConstructGlobal(g_ParamRibbonStatus, kRibbonStatusLabel, 0, 3, &g_Cell198, nullptr, nullptr, 0);
}

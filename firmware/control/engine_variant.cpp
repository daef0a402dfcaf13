// The engine variant as data: one column per mechanism generation, written
// in the column's order by SelectEngineVariant.
#include "firmware/control/engine_variant.h"

#include "firmware/control/app_startup.h"
#include "firmware/control/error_table.h"
#include "firmware/devices/settings.h"
#include "firmware/hostif/print_job_handlers.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/mechanism/cis_load_tuning.h"
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/roll_rotation.h"
#include "firmware/printengine/cut_sequence.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/sequences/mechanism_init.h"
#include "firmware/sequences/path_preparation.h"

// Until the first selection the words hold EM3's hooks and objects, the
// variant of the setting's default, so no caller meets a null hook.
InitMechaHook g_pfnInitMecha = InitMechaEM3;
InitMainPinchHook g_pfnInitMainPinch = InitMainPinchEM3;
PreparePathHook g_pfnPreparePath = PreparePathSequence_EM3;
EndOfJobHook g_pfnEndOfJob = EndOfJobSequence_EM3;
TuneCisAtLoadHook g_pfnTuneCisAtLoad = TuneCisAtLoadEM3;
CProllMain* g_pProllMain = &g_ProllMainEM3;
uint32_t g_ulEngCisErrIndex;
uint32_t g_ulEngMainPinchPos;
uint32_t g_ulEngPosRefA;
uint32_t g_ulEngPosRefB;
uint32_t g_ulEngColorRibbon;
uint32_t g_ulEngLineOffset;
uint32_t g_ulEngModeA;
uint32_t g_ulEngModeB;
uint32_t g_ulEngModeC;

namespace {

struct EngineVariant {
  InitMechaHook pfnInitMecha;
  InitMainPinchHook pfnInitMainPinch;
  PreparePathHook pfnPreparePath;
  EndOfJobHook pfnEndOfJob;
  TuneCisAtLoadHook pfnTuneCisAtLoad;
  UsbEventHandler pfnExitTrayStatus;
  CProllFeed* pProllFeed;
  CProllMain* pProllMain;
  uint32_t ulCisErrIndex;
  uint32_t ulMainPinchPos;
  uint32_t ulPosRefA;
  uint32_t ulPosRefB;
  // The colour-ribbon flag follows the ribbon control type.
  bool bColorRibbon;
  uint32_t ulLineOffset;
};

constexpr uint32_t kNoCisError = 0xFFFF;

constexpr EngineVariant kEm2 = {InitMechaEM2,     InitMainPinchEM2, PreparePathSequence_EM2, EndOfJobSequence_EM2,
                                TuneCisAtLoadEM2, ExecExitTrayStatus_EM2, &g_ProllFeedEM2, &g_ProllMainEM2,
                                kNoCisError,      1,                65364,                  66594,
                                false,            413};
constexpr EngineVariant kEm3 = {InitMechaEM3,     InitMainPinchEM3, PreparePathSequence_EM3, EndOfJobSequence_EM3,
                                TuneCisAtLoadEM3, ExecExitTrayStatus_EM3, &g_ProllFeedEM3, &g_ProllMainEM3,
                                erridx::kCisImage,   11,               65336,                  65383,
                                true,             410};

constexpr int32_t kEngineVersionEm2 = 1;
constexpr int32_t kFirstVersionWithModes = 5;
constexpr uint32_t kEngineMode = 2;

}  // namespace

void SelectEngineVariant() {
  const int32_t lVersion = SettingValue(g_ParamEngineVersion);
  const EngineVariant& v = lVersion == kEngineVersionEm2 ? kEm2 : kEm3;
  g_pfnInitMecha = v.pfnInitMecha;
  g_pfnInitMainPinch = v.pfnInitMainPinch;
  g_pfnPreparePath = v.pfnPreparePath;
  g_pfnEndOfJob = v.pfnEndOfJob;
  g_pfnTuneCisAtLoad = v.pfnTuneCisAtLoad;
  g_pfnUsbEvent100000 = v.pfnExitTrayStatus;
  g_pProllFeed = v.pProllFeed;
  g_pProllMain = v.pProllMain;
  SetRollTurnCounts(lVersion);
  g_ulEngCisErrIndex = v.ulCisErrIndex;
  g_ulEngMainPinchPos = v.ulMainPinchPos;
  g_ulEngPosRefA = v.ulPosRefA;
  g_ulEngPosRefB = v.ulPosRefB;
  g_PrintGeometry.SetForEngine(lVersion);
  g_ulEngColorRibbon = v.bColorRibbon && g_ucRibbonControlType != 0 ? 1 : 0;
  g_ulEngLineOffset = v.ulLineOffset;
  if (lVersion >= kFirstVersionWithModes) {
    g_ulEngModeA = kEngineMode;
    g_ulEngModeB = kEngineMode;
    g_ulEngModeC = kEngineMode;
  }
}

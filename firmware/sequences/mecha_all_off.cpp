// The mechanism stop: every actuator off in one fixed order. The order is
// one table of (group, object, stop operation); the head watches are reset
// between the actuators and the positioners.
#include "firmware/control/head_preheat.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/machine_ports.h"
#include "firmware/devices/stepper.h"
#include "firmware/mechanism/cutter.h"
#include "firmware/mechanism/donor_mng.h"
#include "firmware/mechanism/feed_pinch.h"
#include "firmware/mechanism/main_pinch.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/mechanism/rotation_lock.h"
#include "firmware/mechanism/simple_positioners.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/time_base.h"
#include "firmware/platform/trace_point.h"
#include "firmware/printengine/head_overheat.h"
#include "firmware/printengine/print_line.h"
#include "firmware/sequences/event_actions.h"
#include "firmware/sequences/mecha_stop_table.h"

uint32_t g_ulMechaStopCount;

namespace {

template <auto& rObject, auto pmfStop>
int32_t StopOf() {
  return (rObject.*pmfStop)();
}
template <auto& rpObject, auto pmfStop>
int32_t StopVia() {
  return (rpObject->*pmfStop)();
}

#define DC_ROW(group, obj) MechaStopRow{group, #obj, StopOf<obj, &CFpgaDcMotor::Stop>}
#define CHOP_ROW(obj) MechaStopRow{MECHA_STOP_CHOPPERS, #obj, StopOf<obj, &CFpgaChopMotor::Stop>}
#define STEPPER_ROW(obj) MechaStopRow{MECHA_STOP_STEPPERS, #obj, StopOf<obj, &CStpmtr::Stop>}
#define FAN_ROW(obj) MechaStopRow{MECHA_STOP_FANS, #obj, StopOf<obj, &CFanCrutch::Off>}
#define LED_ROW(obj) MechaStopRow{MECHA_STOP_LEDS, #obj, StopOf<obj, &CColorLed::Off>}
#define POS_ROW(obj, type) MechaStopRow{MECHA_STOP_POSITIONERS, #obj, StopOf<obj, &type::Stop>}

constexpr MechaStopRow kStopRows[] = {
    DC_ROW(MECHA_STOP_DC_MOTORS, g_DcMotorLoadPinch),
    DC_ROW(MECHA_STOP_DC_MOTORS, g_DcMotorMainPinch),
    DC_ROW(MECHA_STOP_DC_MOTORS, g_DcMotorFeedPinch),
    DC_ROW(MECHA_STOP_DC_MOTORS, g_DcMotorPathSel),
    CHOP_ROW(g_ChopMotorEjectPinch),
    CHOP_ROW(g_ChopMotorPaperRot),
    CHOP_ROW(g_ChopMotorRibDstL),
    CHOP_ROW(g_ChopMotorRibDstR),
    CHOP_ROW(g_ChopMotorRibSrcL),
    CHOP_ROW(g_ChopMotorRibSrcR),
    CHOP_ROW(g_ChopMotorCutter),
    CHOP_ROW(g_ChopMotorHeadL),
    CHOP_ROW(g_ChopMotorHeadR),
    CHOP_ROW(g_ChopMotorEject),
    DC_ROW(MECHA_STOP_ROTATION_LOCK_MOTOR, g_DcMotorRotLock),
    STEPPER_ROW(g_StpmtrMain),
    STEPPER_ROW(g_StpmtrSub),
    FAN_ROW(g_FanHeadL),
    FAN_ROW(g_FanHeadR),
    FAN_ROW(g_FanSideL),
    FAN_ROW(g_FanSideR),
    FAN_ROW(g_FanStpMtr),
    FAN_ROW(g_FanPcb),
    FAN_ROW(g_FanSpare9),
    FAN_ROW(g_FanSpare10),
    FAN_ROW(g_ClutchRibRvsL),
    FAN_ROW(g_ClutchRibRvsR),
    FAN_ROW(g_ClutchLoad),
    LED_ROW(g_ColorLedRedL),
    LED_ROW(g_ColorLedRedR),
    LED_ROW(g_ColorLedGreenL),
    LED_ROW(g_ColorLedGreenR),
    LED_ROW(g_ColorLedBlueL),
    LED_ROW(g_ColorLedBlueR),
    POS_ROW(g_HeadLiftL, CHeadLift),
    POS_ROW(g_HeadLiftR, CHeadLift),
    MechaStopRow{MECHA_STOP_POSITIONERS, "g_pProllMain", StopVia<g_pProllMain, &CProllMain::Stop>},
    POS_ROW(g_LoadPinch, CLoadPinch),
    POS_ROW(g_RotationLock, CRotationLock),
    POS_ROW(g_PathSelect, CPathSelect),
    MechaStopRow{MECHA_STOP_POSITIONERS, "g_pProllFeed", StopVia<g_pProllFeed, &CProllFeed::Stop>},
    POS_ROW(g_EjectPinch, CEjectPinch),
    POS_ROW(g_Cutter, CCutter),
    POS_ROW(g_LoadBar, CLoadBar),
};

#undef DC_ROW
#undef CHOP_ROW
#undef STEPPER_ROW
#undef FAN_ROW
#undef LED_ROW
#undef POS_ROW

// What runs before the first row of a group.
void EnterGroup(MechaStopGroup eGroup) {
  if (eGroup == MECHA_STOP_STEPPERS) DebugTrace("DstOff:MechaAllOff()");
  if (eGroup == MECHA_STOP_POSITIONERS) {
    g_PreheatBoth.Reset();
    g_HeadOverheatL.Reset();
    g_HeadOverheatR.Reset();
  }
}

}  // namespace

const MechaStopRow* MechaStopRows(uint32_t* pulCount) {
  *pulCount = sizeof(kStopRows) / sizeof(kStopRows[0]);
  return kStopRows;
}

int32_t MechaAllOff() {
  ++g_ulMechaStopCount;
  g_FpgaMain.SetLineTrigger(0);
  g_MsTimer.WaitMs(20);
  g_PortHeadPowerL.Set();
  g_PortHeadPowerR.Set();
  uint32_t ulGroup = MECHA_STOP_GROUPS;
  for (const MechaStopRow& row : kStopRows) {
    if (row.eGroup != ulGroup) {
      ulGroup = row.eGroup;
      EnterGroup(row.eGroup);
    }
    row.pfnStop();
  }
  g_PrintLine.StopPrint();
  g_pDonorMng->SetAdvanceMark(0);
  return 0;
}

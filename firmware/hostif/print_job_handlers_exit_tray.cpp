// The exit-tray status of the two engine variants: EM2 has no tray sensor
// and answers "no tray seen" at once; EM3 lights the Exit LED, lets the
// sensors settle for 100 ms over several passes of the command events, then
// reads the tray sensor and, with a tray in, the print sensor of the exit
// path.
#include "firmware/control/leds.h"
#include "firmware/devices/sensors.h"
#include "firmware/hostif/print_job_handlers.h"
#include "firmware/hostif/usb_comm.h"
#include "firmware/hostif/shmem_usb.h"
#include "firmware/platform/time_base.h"
#include "protocol/codes.h"

namespace {

constexpr uint8_t STEP_DONE = 0;
constexpr uint8_t STEP_START = 1;
constexpr uint8_t STEP_SETTLING = 2;
constexpr uint16_t SETTLE_MS = 100;

ExitTrayStatusBlock& Block() {
  ExitTrayStatusBlock* pBlock = nullptr;
  usb_comm_get_exit_tray_status_block(&pBlock);
  return *pBlock;
}

int32_t Answer(ExitTrayStatusBlock& b, uint8_t ucTrayState) {
  b.ucResult = 0;
  b.ucTrayState = ucTrayState;
  b.ucStep = STEP_DONE;
  usb_comm_clear_event(CMDEV_GET_EXIT_TRAY_STATUS);
  usb_comm::regist_txreq_code(APPMSG_GET_EXIT_TRAY_STATUS);
  return 0;
}

// A failed read counts as nothing seen.
bool SensorOn(CDigitalSensor& sensor) {
  uint32_t ulLevel = 0;
  return sensor.ReadStable(&ulLevel) == 0 && ulLevel == 1;
}

uint8_t ReadTray() {
  if (!SensorOn(g_SensorExitTray1)) return protocol::EXIT_TRAY_NONE;
  return SensorOn(g_SensorExitPrint1) ? protocol::EXIT_TRAY_WITH_PRINT : protocol::EXIT_TRAY_EMPTY;
}

}  // namespace

int32_t ExecExitTrayStatus_EM2() { return Answer(Block(), protocol::EXIT_TRAY_NONE); }

int32_t ExecExitTrayStatus_EM3() {
  ExitTrayStatusBlock& b = Block();
  switch (b.ucStep) {
    case STEP_START:
      g_LedExit.On();
      b.ulStartTime = g_MsTimer.NowMs();
      b.ucStep = STEP_SETTLING;
      return 0;
    case STEP_SETTLING:
      if (g_MsTimer.ElapsedMs16(b.ulStartTime, g_MsTimer.NowMs()) >= SETTLE_MS) b.ucStep = STEP_SETTLING + 1;
      return 0;
    default: {
      const uint8_t ucTray = ReadTray();
      g_LedExit.Off();
      return Answer(b, ucTray);
    }
  }
}

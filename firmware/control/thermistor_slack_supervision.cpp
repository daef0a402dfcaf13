// The thermistor range check and the ribbon slack counts of the idle
// supervision.
#include "firmware/control/error_manager.h"
#include "firmware/control/head_preheat.h"
#include "firmware/control/idle_supervisor.h"
#include "firmware/devices/sensors.h"
#include "firmware/mechanism/donor_mng.h"

namespace {

constexpr uint32_t kThermHigh = 226;
constexpr uint32_t kThermLow = 30;
constexpr uint32_t kSlackAttemptsAllowed = 2;

struct ThermistorRange {
  CAnalogSensor* pSensor;
  uint32_t ulHighIndex;
  uint32_t ulLowIndex;
};

constexpr ThermistorRange kThermistors[] = {
    {&g_AdHThermL, 0x0401, 0x0402},
    {&g_AdHThermR, 0x0403, 0x0404},
    {&g_AdEnvTherm, 0x0405, 0x0406},
};

struct SlackCount {
  uint32_t* pulCount;
  uint32_t ulErrorIndex;
};

constexpr SlackCount kSlackCounts[] = {{&g_ulSlackTakeUpCountL, 0x0603}, {&g_ulSlackTakeUpCountR, 0x0604}};

}  // namespace

int32_t CIdleSupervisor::CheckThermistorRange() {
  for (const ThermistorRange& t : kThermistors) {
    uint32_t ulRaw = 0;
    // A failed sampling gives no reading to judge.
    if (t.pSensor->Read(&ulRaw) != 0) continue;
    const uint32_t ulValue = ulRaw >> 2;
    if (ulValue > kThermHigh) {
      g_PreheatBoth.Reset();
      g_ErrorMng.SetError(t.ulHighIndex);
    } else if (ulValue < kThermLow) {
      g_PreheatBoth.Reset();
      g_ErrorMng.SetError(t.ulLowIndex);
    }
  }
  return 0;
}

int32_t CheckSlackTakeUpCounts() {
  for (const SlackCount& s : kSlackCounts) {
    if (*s.pulCount > kSlackAttemptsAllowed) {
      g_ErrorMng.SetError(s.ulErrorIndex);
      *s.pulCount = 0;
    }
  }
  return 0;
}

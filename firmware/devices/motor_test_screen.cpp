// The stepper test screen of the service menus: a stepper run by hand at a
// constant rate or up and down ramp g_Ramp22, its speed chosen with the
// + and - keys while it stands.
#include <cstring>

#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/ramps.h"
#include "firmware/devices/stepper.h"
#include "firmware/platform/number_text.h"

namespace {

constexpr uint32_t kSpeeds = 40;
constexpr uint32_t kFirstSpeed = 30;
constexpr uint32_t kTestModeConstant = 1;
constexpr uint32_t kRampStartRate = 500;
constexpr uint32_t kRampMs = 59;
constexpr uint32_t kLineColumns = 16;

uint32_t ConstantRate(uint32_t ulSpeed) { return 500 + 50 * ulSpeed; }
uint32_t RampTopRate(uint32_t ulSpeed) { return 1000 + 100 * ulSpeed; }

// One line of the screen: its text, the column of the direction sign and
// the first of the four speed columns.
struct ScreenLine {
  const char* pszText;
  uint32_t ulSignColumn;
  uint32_t ulSpeedColumn;
};
// By mode (constant, ramp) and by running.
constexpr ScreenLine kStopped[2] = {{"PullIn +    :OFF", 7, 8}, {"UpDown +    :OFF", 7, 8}};
constexpr ScreenLine kRunning[2] = {{"Pull +1000pps:ON", 5, 6}, {"UpDown +     :ON", 7, 8}};

bool Running(const CStpmtr& motor) {
  int32_t lState = STPMTR_IDLE;
  motor.GetState(&lState);
  return lState != STPMTR_IDLE && lState != STPMTR_STOPPED;
}

void Draw(bool bConstant, bool bRunning, uint32_t ulDirection, uint32_t ulSpeed) {
  const ScreenLine& line = (bRunning ? kRunning : kStopped)[bConstant ? 0 : 1];
  char acText[kLineColumns + 1];
  std::memcpy(acText, line.pszText, sizeof acText);
  acText[line.ulSignColumn] = ulDirection == 1 ? '-' : '+';
  char acSpeed[8] = {};
  FormatDec(acSpeed, bConstant ? ConstantRate(ulSpeed) : RampTopRate(ulSpeed), 4);
  // Leading zeros show as blanks (" 500").
  for (uint32_t i = 0; i < 3 && acSpeed[i] == '0'; ++i) acSpeed[i] = ' ';
  std::memcpy(acText + line.ulSpeedColumn, acSpeed, 4);
  g_Lcd.WriteText(acText, 0, kLineColumns);
}

void Start(CStpmtr& motor, bool bConstant, uint32_t ulDirection, uint32_t ulSpeed) {
  if (bConstant) {
    motor.RunConstant(ConstantRate(ulSpeed), ulDirection, 2, 0);
    return;
  }
  uint16_t* pusTable = nullptr;
  uint32_t ulCount = 0;
  g_Ramp22.GetTable(&pusTable);
  g_Ramp22.GetCount(&ulCount);
  motor.SetExcitation(1);
  motor.RunRamp(pusTable, pusTable, ulCount, ulDirection, 1, 0, 0);
}

}  // namespace

int32_t MotorTestScreen(CStpmtr* pMotor, uint32_t ulDirection, uint32_t ulMode, uint32_t) {
  const bool bConstant = ulMode == kTestModeConstant;
  uint32_t ulSpeed = kFirstSpeed;
  bool bDrawn = false;
  bool bDrawnRunning = false;
  for (;;) {
    const bool bRunning = Running(*pMotor);
    if (!bDrawn || bRunning != bDrawnRunning) {
      Draw(bConstant, bRunning, ulDirection, ulSpeed);
      bDrawn = true;
      bDrawnRunning = bRunning;
    }
    uint32_t ulKey = KEY_NONE;
    if (g_KeyMng.WaitKey(1, &ulKey) != 1) continue;
    switch (ulKey) {
      case KEY_CLEAR: return 0;  // a running motor keeps running
      case KEY_INC:
      case KEY_DEC:
        if (bRunning) break;
        ulSpeed = (ulSpeed + (ulKey == KEY_INC ? 1 : kSpeeds - 1)) % kSpeeds;
        g_Ramp22.SetupByRate(kRampStartRate, RampTopRate(ulSpeed), kRampMs);
        bDrawn = false;
        break;
      case KEY_ENTER:
        if (!bRunning) {
          Start(*pMotor, bConstant, ulDirection, ulSpeed);
        } else if (bConstant) {
          pMotor->Stop();
        } else {
          pMotor->DecelerateAndStop();
        }
        break;
      default: break;
    }
  }
}

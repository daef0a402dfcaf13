// The motor menu of the device checks: each item chooses a stepper, DC
// motor or PWM motor and opens its direction menu.
#include "firmware/service/motor_check_menus.h"

#include <cstring>

#include "firmware/control/menu.h"
#include "firmware/devices/chop_motor.h"
#include "firmware/devices/dc_motor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/stepper.h"
#include "firmware/service/device_lists.h"

CStpmtr* g_pCurStpmtr;
CDcMotor* g_pCurDcMotor;
CChopMotor* g_pCurChopMotor;
char g_aszMotorDirText[2][17];
char g_aszStepperText[6][17];

namespace {

enum class MotorKind : uint8_t { Stepper, Dc, Pwm };

struct MotorItem {
  MotorKind kind;
  CStpmtr* pStepper;
  CDcMotor* pDc;
  CChopMotor* pPwm;
  const char* apszDirections[2];
};

constexpr MotorItem Stepper(CStpmtr* p) { return {MotorKind::Stepper, p, nullptr, nullptr, {nullptr, nullptr}}; }
constexpr MotorItem Pwm(CChopMotor* p, const char* pszPlus, const char* pszMinus) {
  return {MotorKind::Pwm, nullptr, nullptr, p, {pszPlus, pszMinus}};
}
constexpr MotorItem Dc(CDcMotor* p, const char* pszPlus, const char* pszMinus) {
  return {MotorKind::Dc, nullptr, p, nullptr, {pszPlus, pszMinus}};
}

const MotorItem kMotorItems[] = {
    Stepper(&g_StpmtrMain),
    Stepper(&g_StpmtrSub),
    Pwm(&g_ChopMotorRibDstL, "Rib.MtrDst L  :+", "Rib.MtrDst L  :-"),
    Pwm(&g_ChopMotorRibSrcL, "Rib.MtrSrc L  :+", "Rib.MtrSrc L  :-"),
    Pwm(&g_ChopMotorRibDstR, "Rib.MtrDst R  :+", "Rib.MtrDst R  :-"),
    Pwm(&g_ChopMotorRibSrcR, "Rib.MtrSrc R  :+", "Rib.MtrSrc R  :-"),
    Pwm(&g_ChopMotorHeadL, "Head Mtr L    :+", "Head Mtr L    :-"),
    Pwm(&g_ChopMotorHeadR, "Head Mtr R    :+", "Head Mtr R    :-"),
    Dc(&g_DcMotorFeedPinch, "Feed Pin.Mtr  :+", "Feed Pin.Mtr  :-"),
    Dc(&g_DcMotorLoadPinch, "Load Pin Mtr  :+", "Load Pin Mtr  :-"),
    Dc(&g_DcMotorEjectPinch, "Eject Pin.Mtr :+", "Eject Pin.Mtr :-"),
    Pwm(&g_ChopMotorLoadBar, "Load Bar Mtr  :+", "Load Bar Mtr  :-"),
    Dc(&g_DcMotorPathSel, "Path Sel. Mtr :+", "Path Sel. Mtr :-"),
    Pwm(&g_ChopMotorPaperRot, "PaperRot. Mtr :+", "PaperRot. Mtr :-"),
    Pwm(&g_ChopMotorRotLock, "Rot.Lock Mtr  :+", "Rot.Lock Mtr  :-"),
    Pwm(&g_ChopMotorCutter, "Cutter Mtr    :+", "Cutter Mtr    :-"),
    Pwm(&g_ChopMotorEject, "Eject Mtr     :+", "Eject Mtr     :-"),
};

const char* const kMotorLabels[] = {
    nullptr,           "Stepper Main    ", "Stepper Feed    ", "Rib. Motor Dst L", "Rib. Motor Src L",
    "Rib. Motor Dst R", "Rib. Motor Src R", "Head Motor L    ", "Head Motor R    ", "FeedPin. Motor  ",
    "LoadPinch Motor ", "EjectPinch Motor", "LoadBar Motor   ", "Path Sel. Motor ", "PaperRot. Motor ",
    "Rot.Lock Motor  ", "Cutter Motor    ", "Eject Motor     ", nullptr};
static_assert(std::size(kMotorLabels) == std::size(kMotorItems) + 2);

// The stepper pages' texts in g_aszStepperText order.
constexpr const char* kStepperTexts[6] = {"StpMtr   :PullIn", "StpMtr   :UpDown", "StpMtr :PullIn +",
                                          "StpMtr :PullIn -", "StpMtr :UpDown +", "StpMtr :UpDown -"};
// The stepper screen's mode of each mode item: constant pull-in speed, ramp
// up and down.
constexpr uint32_t kStepperModes[2] = {1, 3};

// PWM motors: item 1 runs direction 1, item 2 direction 2; DC motors choose
// the direction on their screen.
void RunPwmDirection() {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem == 1 || ulItem == 2) g_pCurChopMotor->TestScreen(ulItem);
}
void RunDcDirection() {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem == 1 || ulItem == 2) g_pCurDcMotor->TestScreen();
}

const char* const kDirectionLabels[] = {nullptr, g_aszMotorDirText[0], g_aszMotorDirText[1], nullptr};
constexpr auto kPwmHandlers = SharedHandlers<RunPwmDirection, 2>();
constexpr auto kDcHandlers = SharedHandlers<RunDcDirection, 2>();
constexpr MenuDesc kPwmDirectionMenu = {kDirectionLabels, kPwmHandlers.data()};
constexpr MenuDesc kDcDirectionMenu = {kDirectionLabels, kDcHandlers.data()};

// Stepper direction pages: item 1 runs direction 0 (+), item 2 direction 1
// (-), in the mode of the page.
template <uint32_t ulModeIndex>
void RunStepperDirection() {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem == 1 || ulItem == 2) MotorTestScreen(g_pCurStpmtr, ulItem - 1, kStepperModes[ulModeIndex], 0);
}
const char* const kPullInLabels[] = {nullptr, g_aszStepperText[2], g_aszStepperText[3], nullptr};
const char* const kUpDownLabels[] = {nullptr, g_aszStepperText[4], g_aszStepperText[5], nullptr};
constexpr auto kPullInHandlers = SharedHandlers<RunStepperDirection<0>, 2>();
constexpr auto kUpDownHandlers = SharedHandlers<RunStepperDirection<1>, 2>();
constexpr MenuDesc kPullInPage = {kPullInLabels, kPullInHandlers.data()};
constexpr MenuDesc kUpDownPage = {kUpDownLabels, kUpDownHandlers.data()};
const MenuDesc* const kPullInPages[] = {&kPullInPage, nullptr};
const MenuDesc* const kUpDownPages[] = {&kUpDownPage, nullptr};

void RunStepperMode() {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem == 1) RunMenuPages(kPullInPages, 0);
  if (ulItem == 2) RunMenuPages(kUpDownPages, 0);
}
const char* const kModeLabels[] = {nullptr, g_aszStepperText[0], g_aszStepperText[1], nullptr};
constexpr auto kModeHandlers = SharedHandlers<RunStepperMode, 2>();
constexpr MenuDesc kModePage = {kModeLabels, kModeHandlers.data()};
const MenuDesc* const kModePages[] = {&kModePage, nullptr};

void CopyText(char* pszTo, const char* pszFrom) {
  std::memcpy(pszTo, pszFrom, 16);
  pszTo[16] = 0;
}

void RunMotorItem() {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem < 1 || ulItem > std::size(kMotorItems)) return;
  const MotorItem& item = kMotorItems[ulItem - 1];
  if (item.kind == MotorKind::Stepper) {
    g_pCurStpmtr = item.pStepper;
    for (uint32_t i = 0; i < 6; ++i) CopyText(g_aszStepperText[i], kStepperTexts[i]);
    RunMenuPages(kModePages, 0);
    return;
  }
  for (uint32_t i = 0; i < 2; ++i) CopyText(g_aszMotorDirText[i], item.apszDirections[i]);
  if (item.kind == MotorKind::Pwm) {
    g_pCurChopMotor = item.pPwm;
    RunMenu(&kPwmDirectionMenu, 0);
  } else {
    g_pCurDcMotor = item.pDc;
    RunMenu(&kDcDirectionMenu, 0);
  }
}
constexpr auto kMotorHandlers = SharedHandlers<RunMotorItem, std::size(kMotorItems)>();
constexpr MenuDesc kMotorMenu = {kMotorLabels, kMotorHandlers.data()};

}  // namespace

void RunMotorCheckMenu() { RunMenu(&kMotorMenu, 0); }

// The motor menu of the device checks: each item chooses a stepper, DC
// motor or PWM motor and opens its direction menu.
#include "firmware/service/motor_check_menus.h"

#include <cstring>
#include <iterator>

#include "firmware/control/menu.h"
#include "firmware/devices/chop_motor.h"
#include "firmware/devices/dc_motor.h"
#include "firmware/devices/machine_actuators.h"
#include "firmware/devices/stepper.h"
#include "firmware/service/menu_records.h"

CStpmtr* g_pCurStpmtr;
CDcMotor* g_pCurDcMotor;
CChopMotor* g_pCurChopMotor;
char g_aszMotorDirText[2][17];
char g_aszStepperText[6][17];

namespace {

enum class MotorKind : uint8_t { Stepper, Dc, Pwm };

struct MotorItem {
  MenuText text;
  MotorKind kind;
  CStpmtr* pStepper;
  CDcMotor* pDc;
  CChopMotor* pPwm;
  const char* apszDirections[2];
};

// The direction texts of a DC or PWM motor, copied into the direction menu.
struct DirectionTexts {
  MenuText plus;
  MenuText minus;
};

constexpr MotorItem Stepper(MenuText text, CStpmtr* p) {
  return {text, MotorKind::Stepper, p, nullptr, nullptr, {nullptr, nullptr}};
}
constexpr MotorItem Pwm(MenuText text, CChopMotor* p, DirectionTexts directions) {
  return {text, MotorKind::Pwm, nullptr, nullptr, p, {directions.plus.psz, directions.minus.psz}};
}
constexpr MotorItem Dc(MenuText text, CDcMotor* p, DirectionTexts directions) {
  return {text, MotorKind::Dc, nullptr, p, nullptr, {directions.plus.psz, directions.minus.psz}};
}

constexpr MotorItem kMotorItems[] = {
    Stepper("Stepper Main    ", &g_StpmtrMain),
    Stepper("Stepper Feed    ", &g_StpmtrSub),
    Pwm("Rib. Motor Dst L", &g_ChopMotorRibDstL, {"Rib.MtrDst L  :+", "Rib.MtrDst L  :-"}),
    Pwm("Rib. Motor Src L", &g_ChopMotorRibSrcL, {"Rib.MtrSrc L  :+", "Rib.MtrSrc L  :-"}),
    Pwm("Rib. Motor Dst R", &g_ChopMotorRibDstR, {"Rib.MtrDst R  :+", "Rib.MtrDst R  :-"}),
    Pwm("Rib. Motor Src R", &g_ChopMotorRibSrcR, {"Rib.MtrSrc R  :+", "Rib.MtrSrc R  :-"}),
    Pwm("Head Motor L    ", &g_ChopMotorHeadL, {"Head Mtr L    :+", "Head Mtr L    :-"}),
    Pwm("Head Motor R    ", &g_ChopMotorHeadR, {"Head Mtr R    :+", "Head Mtr R    :-"}),
    Dc("FeedPin. Motor  ", &g_DcMotorFeedPinch, {"Feed Pin.Mtr  :+", "Feed Pin.Mtr  :-"}),
    Dc("LoadPinch Motor ", &g_DcMotorLoadPinch, {"Load Pin Mtr  :+", "Load Pin Mtr  :-"}),
    Dc("EjectPinch Motor", &g_DcMotorEjectPinch, {"Eject Pin.Mtr :+", "Eject Pin.Mtr :-"}),
    Pwm("LoadBar Motor   ", &g_ChopMotorLoadBar, {"Load Bar Mtr  :+", "Load Bar Mtr  :-"}),
    Dc("Path Sel. Motor ", &g_DcMotorPathSel, {"Path Sel. Mtr :+", "Path Sel. Mtr :-"}),
    Pwm("PaperRot. Motor ", &g_ChopMotorPaperRot, {"PaperRot. Mtr :+", "PaperRot. Mtr :-"}),
    Pwm("Rot.Lock Motor  ", &g_ChopMotorRotLock, {"Rot.Lock Mtr  :+", "Rot.Lock Mtr  :-"}),
    Pwm("Cutter Motor    ", &g_ChopMotorCutter, {"Cutter Mtr    :+", "Cutter Mtr    :-"}),
    Pwm("Eject Motor     ", &g_ChopMotorEject, {"Eject Mtr     :+", "Eject Mtr     :-"}),
};

// The stepper pages' texts in g_aszStepperText order.
constexpr MenuText kStepperTexts[6] = {"StpMtr   :PullIn", "StpMtr   :UpDown", "StpMtr :PullIn +",
                                       "StpMtr :PullIn -", "StpMtr :UpDown +", "StpMtr :UpDown -"};
// The stepper screen's mode of each mode item: constant pull-in speed, ramp
// up and down.
constexpr uint32_t kStepperModes[2] = {1, 3};

// PWM motors: item 1 runs direction 1, item 2 direction 2; DC motors choose
// the direction on their screen.
void RunPwmDirection() {
  const int32_t i = SelectedEntry(2);
  if (i >= 0) g_pCurChopMotor->TestScreen(static_cast<uint32_t>(i) + 1);
}
void RunDcDirection() {
  if (SelectedEntry(2) >= 0) g_pCurDcMotor->TestScreen();
}

constexpr MenuText kDirectionTexts[] = {WritableText(g_aszMotorDirText[0]), WritableText(g_aszMotorDirText[1])};
constexpr MenuRecord kPwmDirectionMenu{kDirectionTexts, RunPwmDirection};
constexpr MenuRecord kDcDirectionMenu{kDirectionTexts, RunDcDirection};

// Stepper direction pages: item 1 runs direction 0 (+), item 2 direction 1
// (-), in the mode of the page.
template <uint32_t ulModeIndex>
void RunStepperDirection() {
  const int32_t i = SelectedEntry(2);
  if (i >= 0) MotorTestScreen(g_pCurStpmtr, static_cast<uint32_t>(i), kStepperModes[ulModeIndex], 0);
}
constexpr MenuText kPullInTexts[] = {WritableText(g_aszStepperText[2]), WritableText(g_aszStepperText[3])};
constexpr MenuText kUpDownTexts[] = {WritableText(g_aszStepperText[4]), WritableText(g_aszStepperText[5])};
constexpr MenuRecord kPullInPage{kPullInTexts, RunStepperDirection<0>};
constexpr MenuRecord kUpDownPage{kUpDownTexts, RunStepperDirection<1>};
const MenuDesc* const kPullInPages[] = {&kPullInPage, nullptr};
const MenuDesc* const kUpDownPages[] = {&kUpDownPage, nullptr};

void RunStepperMode() {
  const int32_t i = SelectedEntry(2);
  if (i == 0) RunMenuPages(kPullInPages, 0);
  if (i == 1) RunMenuPages(kUpDownPages, 0);
}
constexpr MenuText kModeTexts[] = {WritableText(g_aszStepperText[0]), WritableText(g_aszStepperText[1])};
constexpr MenuRecord kModePage{kModeTexts, RunStepperMode};
const MenuDesc* const kModePages[] = {&kModePage, nullptr};

void CopyText(char* pszTo, const char* pszFrom) {
  std::memcpy(pszTo, pszFrom, 16);
  pszTo[16] = 0;
}

void RunMotorItem() {
  const int32_t lIndex = SelectedEntry(std::size(kMotorItems));
  if (lIndex < 0) return;
  const MotorItem& item = kMotorItems[lIndex];
  if (item.kind == MotorKind::Stepper) {
    g_pCurStpmtr = item.pStepper;
    for (uint32_t i = 0; i < 6; ++i) CopyText(g_aszStepperText[i], kStepperTexts[i].psz);
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
constexpr MenuRecord kMotorMenu{kMotorItems, RunMotorItem};

}  // namespace

void RunMotorCheckMenu() { RunMenu(&kMotorMenu, 0); }

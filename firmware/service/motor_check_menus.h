// The motor checks of the device-check menu: the motor chosen in the motor
// menu, then its direction menu (steppers: the drive mode first).
#pragma once

class CStpmtr;
class CDcMotor;
class CChopMotor;

// The motor the direction menus act on.
extern CStpmtr* g_pCurStpmtr;
extern CDcMotor* g_pCurDcMotor;
extern CChopMotor* g_pCurChopMotor;
// The direction menus' item texts, written before a menu opens: two for the
// DC and PWM motors, six for the steppers (two modes, then + and - of the
// pull-in and the up-down pages).
extern char g_aszMotorDirText[2][17];
extern char g_aszStepperText[6][17];

// "Check Motor     ": the seventeen-item motor menu.
void RunMotorCheckMenu();

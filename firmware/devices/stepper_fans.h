// The two fans the paper steppers' excitation switches: the stepper-motor
// fan and the PCB fan.
#pragma once

#include "firmware/devices/fan.h"

extern CFanCnt g_FanStpMtr;
extern CFanCnt g_FanPcb;

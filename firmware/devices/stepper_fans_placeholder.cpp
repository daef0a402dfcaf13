// Placeholder of the stepper-motor and PCB fans until the fans are built:
// the objects exist with the fan class's state in RAM.
#include "firmware/devices/stepper_fans.h"

constinit CFanCnt g_FanStpMtr;
constinit CFanCnt g_FanPcb;

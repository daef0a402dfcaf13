// Placeholder of the head voltages: each unit's list of head-voltage
// settings exists, but holds nothing to tune yet.
#include "firmware/printengine/head_voltage.h"

class CThvList {};

CThvList g_ThvTableL;
CThvList g_ThvTableR;

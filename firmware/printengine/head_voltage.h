// The head voltages: each unit's list of head-voltage settings, which the
// auto tuning walks.
#pragma once

class CThvList;

extern CThvList g_ThvTableL;
extern CThvList g_ThvTableR;

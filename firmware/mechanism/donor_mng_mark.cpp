// The mark-sensor managers of both units. Their panel search, mark capture
// and identification are not built yet: every slot is still the base's,
// which does nothing.
#include "firmware/mechanism/donor_mng_mark.h"

constinit CDonorMng_MarkSen g_DonorMngMarkSenL;
constinit CDonorMng_MarkSen g_DonorMngMarkSenR;

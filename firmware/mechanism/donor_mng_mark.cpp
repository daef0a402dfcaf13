// The mark-sensor managers of both units. Their panel search, mark capture
// and identification take the slots of the base until then, which do
// nothing.
#include "firmware/mechanism/donor_mng_mark.h"

constinit CDonorMng_MarkSen g_DonorMngMarkSenL;
constinit CDonorMng_MarkSen g_DonorMngMarkSenR;

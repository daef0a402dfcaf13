// The colour-sensor managers of both units. Their panel search is not
// built yet: every slot is still the base's, which does nothing.
#include "firmware/mechanism/donor_mng_color.h"

constinit CDonorMng_ColorSen g_DonorMngColorSenL;
constinit CDonorMng_ColorSen g_DonorMngColorSenR;

// The colour-sensor managers of both units. Their panel search takes the
// slots of the base until then, which do nothing.
#include "firmware/mechanism/donor_mng_color.h"

constinit CDonorMng_ColorSen g_DonorMngColorSenL;
constinit CDonorMng_ColorSen g_DonorMngColorSenR;

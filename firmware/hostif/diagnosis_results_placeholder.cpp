// Placeholder of the self-diagnosis results: the auto-diagnosis is not built
// yet, so no result has ever been recorded and the bytes stay 0.
#include "firmware/hostif/diagnosis_handlers.h"

uint8_t g_ucDiagResults[DIAG_RESULT_BYTES];

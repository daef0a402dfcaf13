// Placeholder of the paper moves: only the paper-end word they read exists.
#include "firmware/mechanism/paper_moves.h"

uint32_t g_ulPaperEndFlag;

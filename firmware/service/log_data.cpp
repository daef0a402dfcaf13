#include "firmware/service/log_data.h"

uint32_t g_ulLogData[LOG_DATA_WORDS];

// Placeholder of the error manager: it keeps the error bits, but has no
// error table, no history entries and no status line yet.
#include "firmware/control/error_manager.h"
#include "firmware/platform/placeholder.h"

CErrorMng g_ErrorMng;

namespace {
bool s_bLogged;
}  // namespace

int32_t CErrorMng::SetError(uint32_t ulIndex) {
  LogPlaceholderOnce(s_bLogged, "CErrorMng (error manager and error table)");
  if (ulIndex >= kNoIndex) return 0;
  m_aulBits[ulIndex / 32] |= 1u << (ulIndex % 32);
  return 0;
}

int32_t CErrorMng::ClearError(uint32_t ulIndex) {
  if (ulIndex < kNoIndex) m_aulBits[ulIndex / 32] &= ~(1u << (ulIndex % 32));
  return 0;
}

int32_t CErrorMng::IsErrorSet(uint32_t ulIndex, uint32_t* pulFlag) const {
  *pulFlag = (ulIndex < kNoIndex && (m_aulBits[ulIndex / 32] & (1u << (ulIndex % 32))) != 0) ? 1 : 0;
  return 0;
}

int32_t CErrorMng::LowestActiveError(int32_t* plIndex) const {
  for (uint32_t w = 0; w < kWords; ++w) {
    if (m_aulBits[w] == 0) continue;
    for (uint32_t b = 0; b < 32; ++b) {
      if ((m_aulBits[w] & (1u << b)) != 0) {
        *plIndex = static_cast<int32_t>(w * 32 + b);
        return 0;
      }
    }
  }
  *plIndex = -1;
  return -1;
}

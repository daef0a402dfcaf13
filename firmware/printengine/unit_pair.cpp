#include "firmware/devices/settings.h"
#include "firmware/mechanism/path_select.h"
#include "firmware/printengine/print_job_queue.h"

constinit CUnitPair g_UnitPair;

namespace {
constexpr int32_t ROTATION_A_ON_L = 2;
constexpr int32_t ROTATION_A_ON_R = 3;
constexpr uint32_t PATH_TO_L = 3;
constexpr uint32_t PATH_TO_R = 4;
}  // namespace

int32_t CUnitPair::Resolve(int32_t* plUnitA, int32_t* plUnitB, int32_t* plPathSide, int32_t* plPathSlot) {
  const int32_t lRotation = SettingValue(g_ParamRotationFlag);
  m_lPairUnitA = lRotation == ROTATION_A_ON_L ? UNIT_L : lRotation == ROTATION_A_ON_R ? UNIT_R : 0;
  m_lPairUnitB = lRotation == ROTATION_A_ON_L ? UNIT_R : lRotation == ROTATION_A_ON_R ? UNIT_L : 0;
  uint32_t ulPosition = 0;
  const int32_t lResult = g_PathSelect.GetPosition(&ulPosition);
  m_lPathSide = 0;
  m_lPathSlot = 0;
  if (lResult == 0 && (ulPosition == PATH_TO_L || ulPosition == PATH_TO_R)) {
    // The side printed on the unit the path leads to.
    const int32_t lUnit = ulPosition == PATH_TO_L ? UNIT_L : UNIT_R;
    const int32_t lSide = m_lPairUnitA == lUnit ? SIDE_A : m_lPairUnitB == lUnit ? SIDE_B : 0;
    if (lSide != 0) {
      m_lPathSide = lSide;
      m_lPathSlot = ulPosition == PATH_TO_L ? lSide : lSide + 2;
    }
  }
  *plUnitA = m_lPairUnitA;
  *plUnitB = m_lPairUnitB;
  *plPathSide = m_lPathSide;
  *plPathSlot = m_lPathSlot;
  return lResult;
}

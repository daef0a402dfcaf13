// The paper-path selector: sends the paper of the one roll to the path of
// unit L (position 3) or of unit R (position 4). From an undefined position
// a find classifies the path switches and the paper at the top of both
// paths to decide whether and where to move; a find that runs out of time
// turns back, and without paper it sweeps to one end and back to the other.
// "Printpath Flag" holds the path: 0 from every accepted request on, the
// position at every finished end.
#pragma once

#include <cstdint>

#include "firmware/mechanism/positioner.h"
#include "firmware/platform/global_build.h"

// What the find does for one reading of the path switches and the tops.
enum PathFindAction : uint8_t {
  PATH_FIND_STAY = 0,          // paper at both tops: no motion
  PATH_FIND_NO_PAPER_AT_TOPS,  // sweep, or the end a switch shows, or towards 3
  PATH_FIND_SEEK_3,
  PATH_FIND_SEEK_4,
  PATH_FIND_AT_3,
  PATH_FIND_AT_4,
  PATH_FIND_BOTH_SWITCHES,  // 775
  PATH_FIND_CONTRADICTION,  // a path switch and paper on the same side
};
struct PathFindRow {
  uint16_t usCode;  // R * 0x1000 + L * 0x100 + TL * 0x10 + TR
  PathFindAction eAction;
};
// The action of a code (every one of the 16 has a row).
PathFindAction ClassifyPathCode(uint32_t ulCode);

class CPathSelect {
 public:
  constexpr CPathSelect() = default;
  explicit CPathSelect(GlobalBuild);

  // 1 find, 3 path L, 4 path R. An accepted request first clears
  // "Printpath Flag"; any other request then returns -1.
  int32_t StartMove(uint32_t ulRequest);
  int32_t Step(int32_t* plDone);
  int32_t Stop();
  int32_t GetPosition(uint32_t* pulPosition) const;
  int32_t MoveAndWait(uint32_t ulRequest);
  int32_t TestScreen();
  int32_t Verify();
  int32_t ReportTimeout();

 private:
  int32_t StartEnd(uint16_t usTarget);
  int32_t StartFind();
  void Classify();
  // Follows the seek direction's switch towards its end (or, with bBack,
  // the other way) for the target.
  int32_t Seek(uint16_t usTarget, bool bBack);
  static void Show(void* pOwner);
  static void Enter(void* pOwner);

  PositionerRecord m_rec;
  int32_t m_lLatch = 0;
  int32_t m_lSeekDirection = 0;  // 0 none, 1 towards 3, 2 towards 4
  int32_t m_lSweep = 0;
  PositionerMotor m_motor;
};

extern CPathSelect g_PathSelect;

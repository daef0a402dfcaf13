// The cutter: a blade carriage that crosses the paper from one side to the
// other, so it rests alternately at LEFT and RIGHT. A move is a cut towards
// the other side with a speed profile chosen by the cut mode: the start
// duty until the carriage passes the centre switch, the run duty after it
// (mode 2 runs one duty throughout and skips the centre). The carriage has
// arrived when the destination switch has been seen off, on, off, on. The
// position is settled once from the end switches after power-on (or after
// an interrupted cut). A failed cut sets the error flag, which blocks
// nothing.
#pragma once

#include <cstdint>

#include "firmware/mechanism/positioner.h"
#include "firmware/platform/global_build.h"

// The cutter's step states.
enum CutterStep : uint16_t {
  CUTTER_STEP_IDLE = 0,        // finished, or nothing started
  CUTTER_STEP_CENTRE = 100,    // at the start duty, watching the centre switch
  CUTTER_STEP_RUN_DUTY = 200,  // past the centre: the run duty next
  CUTTER_STEP_FOLLOW = 300,    // following the destination switch
  CUTTER_STEP_ARRIVED = 400,   // the sequence is complete: brake next
};

// The cutter's switches.
enum CutterSensor : uint8_t { CUTTER_SENSOR_RIGHT = 0, CUTTER_SENSOR_LEFT = 1, CUTTER_SENSOR_CENTRE = 2 };

class CCutter {
 public:
  constexpr CCutter() = default;
  explicit CCutter(GlobalBuild);

  // Once per power-on (or after an interrupted cut): the position from the
  // end switches; with neither on the carriage is driven to LEFT in mode 2.
  int32_t SettlePosition();
  // Starts one crossing to the other side in mode 1-3 (any other mode: -1,
  // nothing changes). With the position undefined it settles instead.
  int32_t Cut(uint32_t ulMode);
  int32_t Step(int32_t* plDone);
  // The motor stops; a cut short of its side forgets the position and the
  // settling.
  int32_t Stop();
  int32_t GetPosition(uint32_t* pulPosition) const { return m_rec.GetPosition(pulPosition); }
  int32_t MoveAndWait(uint32_t ulMode);
  // Mode 1 energises a stopped main paper stepper around each cut.
  int32_t TestScreen(uint32_t ulMode);
  int32_t Verify();
  int32_t ReportTimeout();
  // 1 after a failed Step; nothing consults it.
  int32_t GetErrorFlag() const { return m_lErrorFlag; }

 private:
  PositionerRecord m_rec;
  int32_t m_lSettled = 0;
  int32_t m_lErrorFlag = 0;
  CDigitalSensor* m_apSensor[3] = {nullptr, nullptr, nullptr};
  PositionerMotor m_motor;
  int32_t m_lRunDuty = 0;
};

extern CCutter g_Cutter;

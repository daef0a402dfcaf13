// The main pinch roller: up, or down on the side of unit L or R, and on the
// EM3 mechanism also half down on either side. Driven by "DcMotorMainPinch"
// and watched by "MainPin C" and "MainPin L". "MainPinStatus" keeps the
// position over power-off: EM2 stores the position code (the
// between-position 2 or 4 while a motion runs); EM3 stores bits 0-2 the
// position, bits 3-5 the target and bit 6 while a move is under way, and
// keeps bit 7. The engine variant chooses the roller in use
// (g_pProllMain).
#pragma once

#include <cstdint>

#include "firmware/mechanism/pinch_roller.h"
#include "firmware/platform/global_build.h"

class CProllMain {
 public:
  constexpr CProllMain() = default;
  // 2000 ms time-out, the main pinch motor, up time-out index 546.
  explicit CProllMain(GlobalBuild);

  // The variant's operations; the base does nothing and succeeds.
  virtual int32_t Home();
  virtual int32_t StartMove(uint32_t ulTarget);
  virtual int32_t ReportTimeout();
  virtual int32_t Verify();
  virtual int32_t Move(uint32_t ulRequest, uint32_t ulUnit);
  virtual int32_t Stop();
  virtual void CheckUpState(uint32_t* pulUp);
  virtual int32_t Step(int32_t* plDone);
  virtual void SetVerify(int32_t lFlag);
  virtual int32_t GetStoredStatus(uint32_t* pulRaw, uint32_t* pulMoving, uint32_t* pulTarget, uint32_t* pulPosition);
  virtual int32_t SetPosition(uint16_t usPosition);
  virtual int32_t SetTarget(uint16_t usTarget);
  virtual int32_t TestScreen();
  virtual int32_t TestScreen2();

  int32_t GetPosition(uint32_t* pulPosition) const;
  // The position word only; "MainPinStatus" stays.
  int32_t SetPositionNoSave(uint16_t usPosition);
  int32_t PollSequence(uint32_t* pulComplete);
  bool IsTimedOut() const;
  // Move (1, unit 0), then Step until done or a failure.
  int32_t MoveUpAndWait();
  int32_t MoveAndWait(uint32_t ulRequest, uint32_t ulUnit);
  // The move record (watched sensor, levels, step state), for inspection.
  const PositionerRecord& Record() const { return m_rec; }

 protected:
  ~CProllMain() = default;
  // Starts the row's motion: its start position (through SetPosition), its
  // up time-out index, the motor. -1 without a row.
  int32_t Drive(const PinchMotion* pRow);
  // The model's step: on arrival brake and SetPosition (target); the
  // arrival check only when `bVerify`; a failure stops the motor, sets
  // the latch and SetPosition (0).
  int32_t ModelStep(int32_t* plDone, bool bVerify);

  PositionerRecord m_rec;
  PositionerMotor m_motor;
  int32_t m_lLatch = 0;
  int32_t m_lUpTimeoutError = 0;
  // The screens' state: the unit the next lowering from up goes to, and
  // (EM3) whether the next press at a down position goes to half.
  uint32_t m_ulScreenUnit = 0;
  uint32_t m_ulScreenHalfNext = 0;
};

class CProllMain_EM2 final : public CProllMain {
 public:
  constexpr CProllMain_EM2() = default;
  explicit CProllMain_EM2(GlobalBuild build) : CProllMain(build) {}
  int32_t Home() override;
  int32_t StartMove(uint32_t ulTarget) override;
  int32_t ReportTimeout() override;
  int32_t Verify() override;
  // Nothing while latched or at the request; 3 and 5 (10: down on the
  // unit's side) only from up, else -2; 1 lifts; any other request -1.
  int32_t Move(uint32_t ulRequest, uint32_t ulUnit) override;
  // The motor stops; the position stays.
  int32_t Stop() override;
  int32_t Step(int32_t* plDone) override;
  // The position and "MainPinStatus" become the code.
  int32_t SetPosition(uint16_t usPosition) override;
  int32_t TestScreen() override;

  // Home, from the side given (0: L, 1: R) rather than taken from the
  // position; -1 for any other side.
  int32_t HomeFromSide(uint32_t ulSide);
  int32_t HomeFromSideAndWait(uint32_t ulSide);

 private:
  int32_t HomeFrom(uint32_t ulFrom);
  static void Show(void* pOwner);
  static void Enter(void* pOwner);
};

class CProllMain_EM3 final : public CProllMain {
 public:
  constexpr CProllMain_EM3() = default;
  explicit CProllMain_EM3(GlobalBuild build);
  int32_t Home() override;
  int32_t StartMove(uint32_t ulTarget) override;
  int32_t ReportTimeout() override;
  int32_t Verify() override;
  // Nothing while latched or at the request; 1 finds the roller up or
  // lifts it from 2-5; 2 and 4 (11: half on the unit's side) from 1, 3 or
  // 5; 3 and 5 (10) from 1, 2 or 4; anything else -1. A move that starts
  // first records its target and the moving bit in "MainPinStatus".
  int32_t Move(uint32_t ulRequest, uint32_t ulUnit) override;
  // The motor stops; short of its target the position becomes undefined.
  int32_t Stop() override;
  // "MainPin C" on and "MainPin L" off: the roller is up (position and
  // target 1).
  void CheckUpState(uint32_t* pulUp) override;
  int32_t Step(int32_t* plDone) override;
  void SetVerify(int32_t lFlag) override;
  int32_t GetStoredStatus(uint32_t* pulRaw, uint32_t* pulMoving, uint32_t* pulTarget, uint32_t* pulPosition) override;
  // The position; "MainPinStatus" bits 0-2 the code, bit 6 cleared.
  int32_t SetPosition(uint16_t usPosition) override;
  int32_t SetTarget(uint16_t usTarget) override;
  int32_t TestScreen() override;
  // As TestScreen, but a press at up moves to half.
  int32_t TestScreen2() override;

  // The target, and "MainPinStatus" with the moving bit and bits 3-5 the
  // target.
  int32_t SetTargetAndSave(uint16_t usTarget);
  int32_t MoveToHalf();
  int32_t LowerFromHalf();

 private:
  int32_t StartMotion(PinchMotionKind eKind);
  int32_t WriteStatus(uint32_t ulClear, uint32_t ulSet);
  int32_t RunScreen(bool bHalfFromUp);
  static void Show(void* pOwner);
  static void Enter(void* pOwner);
  static void Enter2(void* pOwner);
  void EnterAt(bool bHalfFromUp);

  int32_t m_lVerify = 0;
  uint32_t m_ulStatus = 0;
};

extern CProllMain_EM2 g_ProllMainEM2;
extern CProllMain_EM3 g_ProllMainEM3;
// The main pinch roller of the engine variant (never null).
extern CProllMain* g_pProllMain;

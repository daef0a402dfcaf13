// The positioners that follow the shared model without additions: the head
// lift of each print unit, the eject pinch, the load pinch and the load
// bar. Each move is one sub-move from a table row (request and start
// position to period, duty, watched sensor, already-there check and motor
// direction); arrival is checked against the verification rows and a
// time-out raises the error of the target's row.
#pragma once

#include <cstdint>

#include "firmware/mechanism/positioner.h"
#include "firmware/platform/global_build.h"

class CParameter;

// Sensor slots of a simple positioner.
enum SimpleSensorSlot : uint8_t { SIMPLE_SENSOR_0 = 0, SIMPLE_SENSOR_1 = 1 };
// Error slots: the verification error, then the time-outs of the first and
// of the other targets.
enum SimpleErrorSlot : uint8_t { SIMPLE_ERR_POSITION = 0, SIMPLE_ERR_TIMEOUT_1 = 1, SIMPLE_ERR_TIMEOUT_2 = 2 };

constexpr uint16_t kFromAnyPosition = 0xFFFF;

struct SubMoveRow {
  uint16_t usRequest;
  uint16_t usFrom;        // kFromAnyPosition matches every start position
  CParameter* pPeriod;    // null: the period is not written
  uint16_t usPeriodScale; // the setting's value times this is the period
  CParameter* pDuty;      // null: the duty is not written
  SimpleSensorSlot eWatched;
  bool bAlreadyThereCheck;
  PositionerDrive eDrive;
};
struct VerifyRow {
  uint16_t usPosition;
  SimpleSensorSlot eMustBeOff;
};
struct TimeoutRow {
  uint16_t usTarget;
  SimpleErrorSlot eError;
};
struct SimplePositionerTables {
  const SubMoveRow* pMoves;
  uint32_t ulMoves;
  const VerifyRow* pVerify;
  uint32_t ulVerify;
  const TimeoutRow* pTimeouts;
  uint32_t ulTimeouts;
};

// The shared engine of the simple positioners.
class SimplePositioner {
 public:
  constexpr SimplePositioner() = default;
  SimplePositioner(const SimplePositionerTables* pTables, uint32_t ulTimeoutMs, CDigitalSensor* pSensor0,
                   CDigitalSensor* pSensor1, PositionerMotor motor, uint32_t ulPositionError,
                   uint32_t ulTimeoutError1, uint32_t ulTimeoutError2);

  int32_t StartMove(uint32_t ulRequest);
  int32_t Step(int32_t* plDone);
  int32_t Stop();
  int32_t GetPosition(uint32_t* pulPosition) const;
  int32_t MoveAndWait(uint32_t ulRequest);
  int32_t Verify();
  int32_t ReportTimeout();
  int32_t* Latch() { return &m_lLatch; }
  uint32_t Position() const { return m_rec.usPosition; }

 private:
  PositionerRecord m_rec;
  const SimplePositionerTables* m_pTables = nullptr;
  CDigitalSensor* m_apSensor[2] = {nullptr, nullptr};
  PositionerMotor m_motor;
  int32_t m_lLatch = 0;
  uint32_t m_aulError[3] = {0, 0, 0};
};

class CHeadLift {
 public:
  constexpr CHeadLift() = default;
  // Unit 0 is L, any other R.
  explicit CHeadLift(uint32_t ulUnit);
  int32_t StartMove(uint32_t ulRequest) { return m_core.StartMove(ulRequest); }
  int32_t Step(int32_t* plDone) { return m_core.Step(plDone); }
  int32_t Stop() { return m_core.Stop(); }
  int32_t GetPosition(uint32_t* pulPosition) const { return m_core.GetPosition(pulPosition); }
  int32_t MoveUpAndWait() { return m_core.MoveAndWait(HEAD_POS_UP); }
  int32_t MoveDownAndWait() { return m_core.MoveAndWait(HEAD_POS_DOWN); }
  int32_t TestScreen();
  int32_t Verify() { return m_core.Verify(); }
  int32_t ReportTimeout() { return m_core.ReportTimeout(); }

 private:
  SimplePositioner m_core;
};

class CLoadBar {
 public:
  constexpr CLoadBar() = default;
  explicit CLoadBar(GlobalBuild);
  int32_t StartMove(uint32_t ulRequest) { return m_core.StartMove(ulRequest); }
  int32_t Step(int32_t* plDone) { return m_core.Step(plDone); }
  int32_t Stop() { return m_core.Stop(); }
  int32_t GetPosition(uint32_t* pulPosition) const { return m_core.GetPosition(pulPosition); }
  int32_t MoveUpAndWait() { return m_core.MoveAndWait(LOAD_BAR_UP); }
  int32_t MoveDownAndWait() { return m_core.MoveAndWait(LOAD_BAR_DOWN); }
  int32_t TestScreen();
  int32_t Verify() { return m_core.Verify(); }
  int32_t ReportTimeout() { return m_core.ReportTimeout(); }

 private:
  SimplePositioner m_core;
};

class CLoadPinch {
 public:
  constexpr CLoadPinch() = default;
  explicit CLoadPinch(GlobalBuild);
  int32_t StartMove(uint32_t ulRequest) { return m_core.StartMove(ulRequest); }
  int32_t Step(int32_t* plDone) { return m_core.Step(plDone); }
  int32_t Stop() { return m_core.Stop(); }
  int32_t GetPosition(uint32_t* pulPosition) const { return m_core.GetPosition(pulPosition); }
  int32_t MoveUpAndWait() { return m_core.MoveAndWait(LOAD_PINCH_UP); }
  int32_t MoveDownAndWait() { return m_core.MoveAndWait(LOAD_PINCH_DOWN); }
  int32_t TestScreen();
  int32_t Verify() { return m_core.Verify(); }
  int32_t ReportTimeout() { return m_core.ReportTimeout(); }

 private:
  SimplePositioner m_core;
};

class CEjectPinch {
 public:
  constexpr CEjectPinch() = default;
  explicit CEjectPinch(GlobalBuild);
  int32_t StartMove(uint32_t ulRequest) { return m_core.StartMove(ulRequest); }
  int32_t Step(int32_t* plDone) { return m_core.Step(plDone); }
  int32_t Stop() { return m_core.Stop(); }
  int32_t GetPosition(uint32_t* pulPosition) const { return m_core.GetPosition(pulPosition); }
  int32_t MoveUpAndWait() { return m_core.MoveAndWait(EJECT_PINCH_UP); }
  int32_t MoveFDownAndWait() { return m_core.MoveAndWait(EJECT_PINCH_FDOWN); }
  int32_t MoveCDownAndWait() { return m_core.MoveAndWait(EJECT_PINCH_CDOWN); }
  int32_t TestScreen();
  int32_t Verify() { return m_core.Verify(); }
  int32_t ReportTimeout() { return m_core.ReportTimeout(); }

 private:
  static void Show(void* pOwner);
  static void Enter(void* pOwner);
  SimplePositioner m_core;
  // The down position the screen's next press goes to from Up: 0 CDown,
  // 1 FDown.
  uint32_t m_ulNextDown = 0;
};

extern CHeadLift g_HeadLiftL;
extern CHeadLift g_HeadLiftR;
extern CLoadPinch g_LoadPinch;
extern CEjectPinch g_EjectPinch;
extern CLoadBar g_LoadBar;

// The feed pinch roller: up, or down on the side of unit L or R, driven by
// "DcMotorFeedPinch" and watched by "FeedPinch L" and "FeedPinch R". The
// position lives in RAM only; a motion takes the between-position of its
// side (2 or 4) as it starts and the target on arrival. The engine variant
// chooses the roller in use (g_pProllFeed): EM2 ends a motion on its
// watched sensor; EM3 also waits after the brake for the other sensor to
// confirm the end and drives on in the same direction until it does.
#pragma once

#include <cstdint>

#include "firmware/mechanism/pinch_roller.h"
#include "firmware/platform/global_build.h"

class CProllFeed {
 public:
  constexpr CProllFeed() = default;
  // 2000 ms time-out, the feed pinch motor, up time-out index 522.
  explicit CProllFeed(GlobalBuild);

  // The variant's operations; the base does nothing and succeeds.
  virtual int32_t Home();
  virtual int32_t StartMove(uint32_t ulTarget);
  virtual int32_t Verify();
  virtual int32_t PollSequence(uint32_t* pulComplete);
  virtual int32_t Step(int32_t* plDone);

  // Nothing while the latch is set or at the requested position; 3 and 5
  // (10: down on the unit's side) only from up, else -2; 1 lifts; any other
  // request -1.
  int32_t Move(uint32_t ulRequest, uint32_t ulUnit);
  // The motor stops; the position stays (a between-position tells the next
  // lift its side).
  int32_t Stop();
  int32_t ReportTimeout();
  bool IsTimedOut() const;
  int32_t GetPosition(uint32_t* pulPosition) const;
  int32_t SetPosition(uint16_t usPosition);
  int32_t MoveUpAndWait();
  int32_t MoveAndWait(uint32_t ulRequest, uint32_t ulUnit);
  // The move record (watched sensor, levels, step state), for inspection.
  const PositionerRecord& Record() const { return m_rec; }
  int32_t TestScreen();

 protected:
  ~CProllFeed() = default;
  // Starts the row's motion: its start position and up time-out index, the
  // motor. -1 without a row.
  int32_t Drive(const PinchMotion* pRow);
  // Following the levels: one poll through the variant's PollSequence; a
  // complete sequence moves on to the arrival.
  void StepFollow();

  PositionerRecord m_rec;
  PositionerMotor m_motor;
  int32_t m_lLatch = 0;
  int32_t m_lUpTimeoutError = 0;

 private:
  static void Show(void* pOwner);
  static void Enter(void* pOwner);
  // The unit the screen lowers on at its next press at up.
  uint32_t m_ulScreenUnit = 0;
};

class CProllFeed_EM2 final : public CProllFeed {
 public:
  constexpr CProllFeed_EM2() = default;
  explicit CProllFeed_EM2(GlobalBuild build) : CProllFeed(build) {}
  int32_t Home() override;
  int32_t StartMove(uint32_t ulTarget) override;
  int32_t Verify() override;
  int32_t PollSequence(uint32_t* pulComplete) override;
  // The positioner model's step; a failure leaves the position undefined.
  int32_t Step(int32_t* plDone) override;
};

class CProllFeed_EM3 final : public CProllFeed {
 public:
  constexpr CProllFeed_EM3() = default;
  explicit CProllFeed_EM3(GlobalBuild build);
  int32_t Home() override;
  int32_t StartMove(uint32_t ulTarget) override;
  int32_t Verify() override;
  int32_t PollSequence(uint32_t* pulComplete) override;
  int32_t Step(int32_t* plDone) override;

 private:
  // Starts the row's motion with its confirming sensor; the verification
  // is off for the motions.
  int32_t DriveConfirmed(const PinchMotion* pRow);

  CDigitalSensor* m_pConfirm = nullptr;
  int32_t m_lConfirmLevel = 0;
  PositionerDrive m_eRedrive = POS_DRIVE_FORWARD;
  int32_t m_lVerify = 0;
};

extern CProllFeed_EM2 g_ProllFeedEM2;
extern CProllFeed_EM3 g_ProllFeedEM3;
// The feed pinch roller of the engine variant (never null).
extern CProllFeed* g_pProllFeed;

// The ribbon watchdogs on each unit's supply-spool encoder: the jam watch
// that a print pass polls while it drives the ribbon (no encoder change for
// more than 2000 ms raises the pass's error index), and the lock watch that
// the ribbon winding polls (the spool standing still for more than 500 ms
// means the ribbon is tight; more than 7455 moving polls mean it never
// tightens: the ribbon is used up). Neither has a thread of its own.
#pragma once

#include <cstdint>

class CSlit;

class CJamCheck {
 public:
  constexpr CJamCheck() = default;
  // Stores the encoder; the derived constructors set the time-out.
  explicit CJamCheck(CSlit* pEncoder) : m_pEncoder(pEncoder) {}

  // The generic watch: a change after more than the time-out since the
  // last quiet poll calls OnFault. Always 0; no sequence calls it.
  virtual int32_t Check();
  // What a fired watch does; nothing here. Returns 0.
  virtual int32_t OnFault();
  // Time stamp := now, move count := 0, last count := the encoder's count.
  int32_t Restart();

  uint32_t MoveCount() const { return m_ulMoveCount; }
  uint32_t TimeOutMs() const { return m_ulTimeOutMs; }
  CSlit* Encoder() const { return m_pEncoder; }

 protected:
  ~CJamCheck() = default;

  CSlit* m_pEncoder = nullptr;
  uint32_t m_ulLastCount = 0;
  uint32_t m_ulTimeStamp = 0;
  uint32_t m_ulTimeOutMs = 0;
  uint32_t m_ulMoveCount = 0;
};

class CJamCheckRibbon final : public CJamCheck {
 public:
  static constexpr uint32_t kTimeOutMs = 2000;
  constexpr CJamCheckRibbon() = default;
  explicit CJamCheckRibbon(CSlit* pEncoder);

  // Restart flag not 0: the encoder channel is cleared and started and its
  // count taken as the last one. In every case the stall time restarts now
  // and the error index (0: none) is kept for OnFault.
  int32_t Start(uint32_t ulRestartEncoder, uint32_t ulErrorIndex);
  // 0, or -1 (after OnFault) when the encoder has not changed for more
  // than 2000 ms.
  int32_t CheckStall();
  // Raises the stored error index when it is not 0; returns 0.
  int32_t OnFault() override;

  uint32_t ErrorIndex() const { return m_ulErrorIndex; }

 private:
  uint32_t m_ulErrorIndex = 0;
  uint32_t m_ulStallStamp = 0;
};

class CLockCheckRibbon final : public CJamCheck {
 public:
  static constexpr uint32_t kTimeOutMs = 500;
  // Moving polls allowed before the ribbon counts as used up.
  static constexpr uint32_t kMaxMovingPolls = 7455;
  constexpr CLockCheckRibbon() = default;
  explicit CLockCheckRibbon(CSlit* pEncoder);

  // locked := 1 once the encoder has stood still for more than 500 ms;
  // -1 after raising the current unit's "Ribbon Empty" on the moving poll
  // past kMaxMovingPolls, else 0.
  int32_t CheckLocked(uint32_t& ulLocked);
};

extern CJamCheckRibbon g_JamCheckRibbonL;
extern CJamCheckRibbon g_JamCheckRibbonR;
extern CLockCheckRibbon g_LockCheckRibbonL;
extern CLockCheckRibbon g_LockCheckRibbonR;

// The construction list's step: the four watches on the supply encoders.
void ConstructRibbonWatchdogs();

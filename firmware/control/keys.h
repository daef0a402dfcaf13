// The panel keys: six active-low inputs sampled by the key manager, whose
// current key state turns each sample into key codes: a code on release for
// Menu, Feed, Clear and Enter, a first code and auto-repeat for + and -, and
// held key chords. Every sample is followed by the abort check with the key
// manager's mask, so host commands and covers stay watched while a screen
// waits for a key.
#pragma once

#include <cstdint>

#include "firmware/platform/global_build.h"

enum KeyCode : uint32_t {
  KEY_NONE = 0,
  KEY_MENU = 1,
  KEY_ENTER = 3,
  KEY_FEED = 5,
  KEY_CLEAR = 6,
  KEY_INC = 7,
  KEY_DEC = 8,
  KEY_COMBO_USER_MODE = 9,
  KEY_COMBO_DIAGNOSTICS = 10,
  KEY_COMBO_SYSTEM_SETUP = 11,
  KEY_COMBO_MAINTENANCE = 12,
  KEY_COMBO_13 = 13,
  KEY_COMBO_DENSITY_SETUP = 14,
  KEY_COMBO_FACTORY = 15,
  KEY_COMBO_ALLOW_ACCESS = 16,
  KEY_COMBO_17 = 17,
  KEY_COMBO_18 = 18,
};

// The key port's bits (a 0 bit is a pressed key) and the single-key
// patterns.
namespace keybits {
constexpr uint32_t kFeed = 1u << 0;
constexpr uint32_t kClear = 1u << 1;
constexpr uint32_t kMenu = 1u << 2;
constexpr uint32_t kInc = 1u << 3;
constexpr uint32_t kDec = 1u << 4;
constexpr uint32_t kEnter = 1u << 5;
constexpr uint32_t kNoKey = 0x3F;
// The pattern with exactly the given keys pressed.
constexpr uint32_t Pressed(uint32_t ulKeys) { return kNoKey & ~ulKeys; }
}  // namespace keybits

// The key timer shared by all key states.
extern uint32_t g_ulKeyTimerStart;
extern uint32_t g_ulKeyTimerNow;

// A key state. Each slot takes the key-code word and returns 1 when it
// produced a key event (the word holds the code), else 0. The base version
// of every slot restarts the key timer and waits for all keys to be up.
class CKeyState {
 public:
  constexpr CKeyState() = default;

  virtual uint32_t OnNoKey(uint32_t* pulCode);
  virtual uint32_t OnIncKey(uint32_t* pulCode);
  virtual uint32_t OnDecKey(uint32_t* pulCode);
  virtual uint32_t OnFeedKey(uint32_t* pulCode);
  virtual uint32_t OnClearKey(uint32_t* pulCode);
  virtual uint32_t OnEnterKey(uint32_t* pulCode);
  virtual uint32_t OnMenuKey(uint32_t* pulCode);
  // One of the ten chords; its code is already in the word.
  virtual uint32_t OnKeyCombination(uint32_t* pulCode);

  static void RestartTimer();
  // Milliseconds since the last restart, 16 bits wide.
  static uint16_t ElapsedMs();

 protected:
  ~CKeyState() = default;
  uint32_t Base();
};

// Waits until all keys are up; a chord held unchanged for more than 500 ms
// is reported at every poll.
class CKeyStateRelease1 final : public CKeyState {
 public:
  constexpr CKeyStateRelease1() = default;
  uint32_t OnNoKey(uint32_t* pulCode) override;
  uint32_t OnIncKey(uint32_t* pulCode) override;
  uint32_t OnDecKey(uint32_t* pulCode) override;
  uint32_t OnFeedKey(uint32_t* pulCode) override;
  uint32_t OnClearKey(uint32_t* pulCode) override;
  uint32_t OnEnterKey(uint32_t* pulCode) override;
  uint32_t OnMenuKey(uint32_t* pulCode) override;
  uint32_t OnKeyCombination(uint32_t* pulCode) override;

 private:
  uint32_t m_ulLastCode = 0;
};

// Idle: a key seen for more than 50 ms is accepted.
class CKeyStateRelease2 final : public CKeyState {
 public:
  constexpr CKeyStateRelease2() = default;
  uint32_t OnNoKey(uint32_t* pulCode) override;
  uint32_t OnIncKey(uint32_t* pulCode) override;
  uint32_t OnDecKey(uint32_t* pulCode) override;
  uint32_t OnFeedKey(uint32_t* pulCode) override;
  uint32_t OnClearKey(uint32_t* pulCode) override;
  uint32_t OnEnterKey(uint32_t* pulCode) override;
  uint32_t OnMenuKey(uint32_t* pulCode) override;

 private:
  uint32_t Accept(CKeyState& next);
};

// + (KEY_INC) or - (KEY_DEC) held: stage 1 gives the first code, stage 2
// the slow repeats, stage 3 the fast ones. The other key's slot is the base
// version.
template <uint32_t ulKey, uint32_t ulStage>
class CKeyStateRepeat final : public CKeyState {
 public:
  constexpr CKeyStateRepeat() = default;
  uint32_t OnIncKey(uint32_t* pulCode) override { return ulKey == KEY_INC ? Step(pulCode) : Base(); }
  uint32_t OnDecKey(uint32_t* pulCode) override { return ulKey == KEY_DEC ? Step(pulCode) : Base(); }
  // Stage 2: the slow repeats given so far.
  uint32_t m_ulRepeat = 0;

 private:
  uint32_t Step(uint32_t* pulCode);
};
using CKeyStateInc1 = CKeyStateRepeat<KEY_INC, 1>;
using CKeyStateInc2 = CKeyStateRepeat<KEY_INC, 2>;
using CKeyStateInc3 = CKeyStateRepeat<KEY_INC, 3>;
using CKeyStateDec1 = CKeyStateRepeat<KEY_DEC, 1>;
using CKeyStateDec2 = CKeyStateRepeat<KEY_DEC, 2>;
using CKeyStateDec3 = CKeyStateRepeat<KEY_DEC, 3>;
template <> uint32_t CKeyStateInc1::Step(uint32_t* pulCode);
template <> uint32_t CKeyStateInc2::Step(uint32_t* pulCode);
template <> uint32_t CKeyStateInc3::Step(uint32_t* pulCode);
template <> uint32_t CKeyStateDec1::Step(uint32_t* pulCode);
template <> uint32_t CKeyStateDec2::Step(uint32_t* pulCode);
template <> uint32_t CKeyStateDec3::Step(uint32_t* pulCode);

class CKeyStateEnter final : public CKeyState {
 public:
  constexpr CKeyStateEnter() = default;
  uint32_t OnNoKey(uint32_t* pulCode) override;
  uint32_t OnEnterKey(uint32_t* pulCode) override;
};
class CKeyStateFeed final : public CKeyState {
 public:
  constexpr CKeyStateFeed() = default;
  uint32_t OnNoKey(uint32_t* pulCode) override;
  uint32_t OnFeedKey(uint32_t* pulCode) override;
};
class CKeyStateClear final : public CKeyState {
 public:
  constexpr CKeyStateClear() = default;
  uint32_t OnNoKey(uint32_t* pulCode) override;
  uint32_t OnClearKey(uint32_t* pulCode) override;
};
class CKeyStateMenu final : public CKeyState {
 public:
  constexpr CKeyStateMenu() = default;
  uint32_t OnNoKey(uint32_t* pulCode) override;
  uint32_t OnMenuKey(uint32_t* pulCode) override;
};

extern CKeyStateRelease1 g_KeyStateRelease1;
extern CKeyStateRelease2 g_KeyStateRelease2;
extern CKeyStateInc1 g_KeyStateInc1;
extern CKeyStateInc2 g_KeyStateInc2;
extern CKeyStateInc3 g_KeyStateInc3;
extern CKeyStateDec1 g_KeyStateDec1;
extern CKeyStateDec2 g_KeyStateDec2;
extern CKeyStateDec3 g_KeyStateDec3;
extern CKeyStateEnter g_KeyStateEnter;
extern CKeyStateMenu g_KeyStateMenu;
extern CKeyStateFeed g_KeyStateFeed;
extern CKeyStateClear g_KeyStateClear;

class CKeyMng {
 public:
  // The zero state of static storage; the machine definition builds it.
  constexpr CKeyMng() = default;
  // Check mask 0, idle state.
  explicit CKeyMng(GlobalBuild);

  // SeqCheckMask bits of the abort check run after every sample; 0: none.
  int32_t SetCheckMask(uint32_t ulMask);
  int32_t SetState(CKeyState* pState);
  CKeyState* GetState() const { return m_pState; }
  // The key bits (0x3F: no key): 0, or -1 when no four equal samples were
  // found in 8 attempts (the bits are then the last attempt's first sample).
  int32_t ReadKeyBits(uint32_t* pulBits);
  // 1 key event, 0 none, -1 a pattern that is neither a key nor a chord.
  int32_t Poll(uint32_t* pulCode);
  // Polls until a key event arrives (1, code valid) or ulTimeoutMs passed
  // (0, code KEY_NONE).
  int32_t WaitKey(uint32_t ulTimeoutMs, uint32_t* pulCode);

 private:
  CKeyState* m_pState = nullptr;
  uint32_t m_ulCheckMask = 0;
};

extern CKeyMng g_KeyMng;

// Polls at 1 ms until a key event arrives and returns its code (the
// screens' "wait for any key").
uint32_t WaitAnyKey();

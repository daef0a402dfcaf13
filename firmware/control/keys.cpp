#include "firmware/control/keys.h"

#include "firmware/devices/main_loop_stop.h"
#include "firmware/devices/panel_ports.h"
#include "firmware/mechanism/step_machine.h"
#include "firmware/platform/time_base.h"

constinit uint32_t g_ulKeyTimerStart = 0;
constinit uint32_t g_ulKeyTimerNow = 0;

constinit CKeyStateRelease1 g_KeyStateRelease1;
constinit CKeyStateRelease2 g_KeyStateRelease2;
constinit CKeyStateInc1 g_KeyStateInc1;
constinit CKeyStateInc2 g_KeyStateInc2;
constinit CKeyStateInc3 g_KeyStateInc3;
constinit CKeyStateDec1 g_KeyStateDec1;
constinit CKeyStateDec2 g_KeyStateDec2;
constinit CKeyStateDec3 g_KeyStateDec3;
constinit CKeyStateEnter g_KeyStateEnter;
constinit CKeyStateMenu g_KeyStateMenu;
constinit CKeyStateFeed g_KeyStateFeed;
constinit CKeyStateClear g_KeyStateClear;
constinit CKeyMng g_KeyMng;

namespace {
// A key must be seen this long before its state is entered, and a key that
// reports on release must have been accepted this long before.
constexpr uint16_t kAcceptMs = 50;
constexpr uint16_t kFirstRepeatMs = 300;
constexpr uint16_t kFastRepeatMs = 100;
constexpr uint32_t kSlowRepeats = 3;
constexpr uint16_t kChordHoldMs = 500;

struct Chord {
  uint32_t ulPattern;
  uint32_t ulCode;
};
using namespace keybits;
constexpr Chord kChords[] = {
    {Pressed(kEnter | kClear), KEY_COMBO_USER_MODE},
    {Pressed(kDec | kInc | kFeed), KEY_COMBO_DIAGNOSTICS},
    {Pressed(kDec | kInc | kMenu | kClear), KEY_COMBO_SYSTEM_SETUP},
    {Pressed(kEnter | kInc), KEY_COMBO_MAINTENANCE},
    {Pressed(kMenu | kEnter), KEY_COMBO_13},
    {Pressed(kDec | kFeed), KEY_COMBO_DENSITY_SETUP},
    {Pressed(kInc | kClear | kFeed), KEY_COMBO_FACTORY},
    {Pressed(kEnter | kDec | kInc | kClear), KEY_COMBO_ALLOW_ACCESS},
    {Pressed(kFeed | kMenu), KEY_COMBO_17},
    {Pressed(kFeed | kMenu | kInc), KEY_COMBO_18},
};

constexpr uint32_t kStableAttempts = 8;
constexpr uint32_t kAgreeingSamples = 3;

uint32_t SampleKeys() {
  uint32_t ulBits = kNoKey;
  g_PortKeys.ReadStable(&ulBits);
  return ulBits;
}
}  // namespace

// ---- the key timer and the base state ----

void CKeyState::RestartTimer() { g_ulKeyTimerStart = g_MsTimer.NowMs(); }

uint16_t CKeyState::ElapsedMs() {
  g_ulKeyTimerNow = g_MsTimer.NowMs();
  return g_MsTimer.ElapsedMs16(g_ulKeyTimerStart, g_ulKeyTimerNow);
}

uint32_t CKeyState::Base() {
  RestartTimer();
  g_KeyMng.SetState(&g_KeyStateRelease1);
  return 0;
}

uint32_t CKeyState::OnNoKey(uint32_t*) { return Base(); }
uint32_t CKeyState::OnIncKey(uint32_t*) { return Base(); }
uint32_t CKeyState::OnDecKey(uint32_t*) { return Base(); }
uint32_t CKeyState::OnFeedKey(uint32_t*) { return Base(); }
uint32_t CKeyState::OnClearKey(uint32_t*) { return Base(); }
uint32_t CKeyState::OnEnterKey(uint32_t*) { return Base(); }
uint32_t CKeyState::OnMenuKey(uint32_t*) { return Base(); }
uint32_t CKeyState::OnKeyCombination(uint32_t*) { return Base(); }

// ---- waiting for all keys up ----

uint32_t CKeyStateRelease1::OnNoKey(uint32_t*) {
  RestartTimer();
  m_ulLastCode = 0;
  g_KeyMng.SetState(&g_KeyStateRelease2);
  return 0;
}
uint32_t CKeyStateRelease1::OnIncKey(uint32_t*) { return m_ulLastCode = KEY_INC, 0; }
uint32_t CKeyStateRelease1::OnDecKey(uint32_t*) { return m_ulLastCode = KEY_DEC, 0; }
uint32_t CKeyStateRelease1::OnFeedKey(uint32_t*) { return m_ulLastCode = KEY_FEED, 0; }
uint32_t CKeyStateRelease1::OnClearKey(uint32_t*) { return m_ulLastCode = KEY_CLEAR, 0; }
uint32_t CKeyStateRelease1::OnEnterKey(uint32_t*) { return m_ulLastCode = KEY_ENTER, 0; }
uint32_t CKeyStateRelease1::OnMenuKey(uint32_t*) { return m_ulLastCode = KEY_MENU, 0; }

uint32_t CKeyStateRelease1::OnKeyCombination(uint32_t* pulCode) {
  if (*pulCode != m_ulLastCode) {
    RestartTimer();
    m_ulLastCode = *pulCode;
    return 0;
  }
  return ElapsedMs() > kChordHoldMs ? 1 : 0;
}

// ---- idle ----

uint32_t CKeyStateRelease2::OnNoKey(uint32_t* pulCode) {
  *pulCode = KEY_NONE;
  RestartTimer();
  return 0;
}

uint32_t CKeyStateRelease2::Accept(CKeyState& next) {
  if (ElapsedMs() > kAcceptMs) {
    RestartTimer();
    g_KeyMng.SetState(&next);
  }
  return 0;
}

uint32_t CKeyStateRelease2::OnIncKey(uint32_t*) { return Accept(g_KeyStateInc1); }
uint32_t CKeyStateRelease2::OnDecKey(uint32_t*) { return Accept(g_KeyStateDec1); }
uint32_t CKeyStateRelease2::OnFeedKey(uint32_t*) { return Accept(g_KeyStateFeed); }
uint32_t CKeyStateRelease2::OnClearKey(uint32_t*) { return Accept(g_KeyStateClear); }
uint32_t CKeyStateRelease2::OnEnterKey(uint32_t*) { return Accept(g_KeyStateEnter); }
uint32_t CKeyStateRelease2::OnMenuKey(uint32_t*) { return Accept(g_KeyStateMenu); }

// ---- keys that report on release ----

namespace {
uint32_t ReportOnRelease(uint32_t* pulCode, uint32_t ulCode) {
  if (CKeyState::ElapsedMs() <= kAcceptMs) return 0;
  *pulCode = ulCode;
  CKeyState::RestartTimer();
  g_KeyMng.SetState(&g_KeyStateRelease1);
  return 1;
}
}  // namespace

uint32_t CKeyStateMenu::OnNoKey(uint32_t* pulCode) { return ReportOnRelease(pulCode, KEY_MENU); }
uint32_t CKeyStateMenu::OnMenuKey(uint32_t*) { return 0; }
uint32_t CKeyStateFeed::OnNoKey(uint32_t* pulCode) { return ReportOnRelease(pulCode, KEY_FEED); }
uint32_t CKeyStateFeed::OnFeedKey(uint32_t*) { return 0; }
uint32_t CKeyStateClear::OnNoKey(uint32_t* pulCode) { return ReportOnRelease(pulCode, KEY_CLEAR); }
uint32_t CKeyStateClear::OnClearKey(uint32_t*) { return 0; }

// Enter released before its 50 ms gives nothing at all.
uint32_t CKeyStateEnter::OnNoKey(uint32_t* pulCode) {
  uint32_t ulResult = 0;
  if (ElapsedMs() > kAcceptMs) {
    *pulCode = KEY_ENTER;
    ulResult = 1;
  }
  RestartTimer();
  g_KeyMng.SetState(&g_KeyStateRelease1);
  return ulResult;
}
uint32_t CKeyStateEnter::OnEnterKey(uint32_t*) { return 0; }

// ---- + and - with auto-repeat ----

namespace {
uint32_t FirstCode(uint32_t* pulCode, uint32_t ulCode, uint32_t& ulRepeat, CKeyState& next) {
  if (CKeyState::ElapsedMs() <= kAcceptMs) return 0;
  *pulCode = ulCode;
  ulRepeat = 0;
  CKeyState::RestartTimer();
  g_KeyMng.SetState(&next);
  return 1;
}

uint32_t SlowRepeat(uint32_t* pulCode, uint32_t ulCode, uint32_t& ulRepeat, CKeyState& next) {
  if (CKeyState::ElapsedMs() <= kFirstRepeatMs) return 0;
  *pulCode = ulCode;
  CKeyState::RestartTimer();
  if (++ulRepeat > kSlowRepeats) g_KeyMng.SetState(&next);
  return 1;
}

uint32_t FastRepeat(uint32_t* pulCode, uint32_t ulCode) {
  if (CKeyState::ElapsedMs() <= kFastRepeatMs) return 0;
  *pulCode = ulCode;
  CKeyState::RestartTimer();
  return 1;
}
}  // namespace

template <>
uint32_t CKeyStateInc1::Step(uint32_t* pulCode) {
  return FirstCode(pulCode, KEY_INC, g_KeyStateInc2.m_ulRepeat, g_KeyStateInc2);
}
template <>
uint32_t CKeyStateInc2::Step(uint32_t* pulCode) { return SlowRepeat(pulCode, KEY_INC, m_ulRepeat, g_KeyStateInc3); }
template <>
uint32_t CKeyStateInc3::Step(uint32_t* pulCode) { return FastRepeat(pulCode, KEY_INC); }
template <>
uint32_t CKeyStateDec1::Step(uint32_t* pulCode) {
  return FirstCode(pulCode, KEY_DEC, g_KeyStateDec2.m_ulRepeat, g_KeyStateDec2);
}
template <>
uint32_t CKeyStateDec2::Step(uint32_t* pulCode) { return SlowRepeat(pulCode, KEY_DEC, m_ulRepeat, g_KeyStateDec3); }
template <>
uint32_t CKeyStateDec3::Step(uint32_t* pulCode) { return FastRepeat(pulCode, KEY_DEC); }

// ---- the key manager ----

CKeyMng::CKeyMng(GlobalBuild) : m_pState(&g_KeyStateRelease2), m_ulCheckMask(0) {}

int32_t CKeyMng::SetCheckMask(uint32_t ulMask) {
  m_ulCheckMask = ulMask;
  return 0;
}

int32_t CKeyMng::SetState(CKeyState* pState) {
  m_pState = pState;
  return 0;
}

int32_t CKeyMng::ReadKeyBits(uint32_t* pulBits) {
  uint32_t ulFirst = kNoKey;
  for (uint32_t ulAttempt = 0; ulAttempt < kStableAttempts; ++ulAttempt) {
    ulFirst = SampleKeys();
    bool bAgree = true;
    for (uint32_t i = 0; i < kAgreeingSamples; ++i) {
      if (SampleKeys() != ulFirst) bAgree = false;
    }
    if (bAgree) {
      *pulBits = ulFirst;
      return 0;
    }
  }
  *pulBits = ulFirst;
  return -1;
}

int32_t CKeyMng::Poll(uint32_t* pulCode) {
  if (g_ulMainLoopStop != 0) {
    *pulCode = KEY_CLEAR;
    return 1;
  }
  uint32_t ulBits = kNoKey;
  ReadKeyBits(&ulBits);  // an unstable port still delivers a pattern

  CKeyState* pState = m_pState;
  int32_t lResult = 0;
  switch (ulBits) {
    case kNoKey: lResult = static_cast<int32_t>(pState->OnNoKey(pulCode)); break;
    case Pressed(kInc): lResult = static_cast<int32_t>(pState->OnIncKey(pulCode)); break;
    case Pressed(kDec): lResult = static_cast<int32_t>(pState->OnDecKey(pulCode)); break;
    case Pressed(kFeed): lResult = static_cast<int32_t>(pState->OnFeedKey(pulCode)); break;
    case Pressed(kClear): lResult = static_cast<int32_t>(pState->OnClearKey(pulCode)); break;
    case Pressed(kEnter): lResult = static_cast<int32_t>(pState->OnEnterKey(pulCode)); break;
    case Pressed(kMenu): lResult = static_cast<int32_t>(pState->OnMenuKey(pulCode)); break;
    default: {
      const Chord* pChord = nullptr;
      for (const Chord& c : kChords) {
        if (c.ulPattern == ulBits) pChord = &c;
      }
      if (pChord != nullptr) {
        *pulCode = pChord->ulCode;
        lResult = static_cast<int32_t>(pState->OnKeyCombination(pulCode));
      } else {
        pState->OnNoKey(pulCode);
        lResult = -1;
      }
      break;
    }
  }
  CheckAbort(m_ulCheckMask);
  return lResult;
}

int32_t CKeyMng::WaitKey(uint32_t ulTimeoutMs, uint32_t* pulCode) {
  // A poll of an unknown pattern counts as an event: its code is then the
  // one the no-key slot left, never a stale value from the caller.
  *pulCode = KEY_NONE;
  const uint32_t ulStart = g_MsTimer.NowMs();
  for (;;) {
    const int32_t lPolled = Poll(pulCode);
    if ((lPolled == 1 && *pulCode != KEY_NONE) || (lPolled != 0 && lPolled != 1)) return 1;
    if (g_MsTimer.ElapsedMs16(ulStart, g_MsTimer.NowMs()) >= ulTimeoutMs) return 0;
  }
}

uint32_t WaitAnyKey() {
  uint32_t ulCode = KEY_NONE;
  while (g_KeyMng.WaitKey(1, &ulCode) != 1) {
  }
  return ulCode;
}

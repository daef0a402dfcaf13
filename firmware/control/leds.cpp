#include "firmware/control/leds.h"

#include "firmware/control/event_set.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/keys.h"
#include "firmware/control/lcd.h"
#include "firmware/devices/io_port.h"
#include "firmware/mechanism/step_machine.h"
#include "protocol/codes.h"

constinit CPortLed g_LedReady;
constinit CPortLed g_LedError;
constinit CPortLed g_LedPower;
constinit CPortLed g_LedExit;

namespace {
// The event the printer states raise when the Menu key is refused.
constexpr uint32_t kEvKeyRefused = 21;
constexpr uint32_t kBlinkChanges = 10;
constexpr uint32_t kBlinkIntervalMs = 500;
}  // namespace

int32_t CLed::On() { return 0; }
int32_t CLed::Off() { return 0; }
int32_t CLed::Hold() { return 0; }
int32_t CLed::Release() { return 0; }

int32_t CLed::GetState(uint32_t* pulState) const {
  *pulState = m_ulState;
  return 0;
}

int32_t CLed::TestScreen() {
  g_Lcd.WriteText(m_pszLabel, 0, CLcd::kVisibleColumns);
  for (;;) {
    if (m_ulState == 0) {
      g_Lcd.WriteText(":OFF", 12, 4);
    } else {
      g_Lcd.WriteText(" :ON", 12, 4);
    }
    uint32_t ulKey = KEY_NONE;
    while (g_KeyMng.WaitKey(1, &ulKey) != 1) {
    }
    if (ulKey == KEY_ENTER) {
      if (m_ulState == 1) {
        Off();
      } else {
        On();
      }
    } else if (ulKey == KEY_CLEAR) {
      return 0;
    }
  }
}

CPortLed::CPortLed(const char* pszLabel, COutputPort* pPort) : CLed(pszLabel), m_pPort(pPort) {
  Off();
  Release();
}

int32_t CPortLed::On() {
  int32_t lResult = 0;
  if (m_ulHold == 0) lResult = m_pPort->Clear();
  if (lResult == 0) m_ulState = 1;  // a held LED stays dark but remembers
  return lResult;
}

int32_t CPortLed::Off() {
  const int32_t lResult = m_pPort->Set();
  if (lResult == 0) m_ulState = 0;
  return lResult;
}

int32_t CPortLed::Hold() {
  m_ulHold = 1;
  return m_ulState == 1 ? m_pPort->Set() : 0;
}

int32_t CPortLed::Release() {
  m_ulHold = 0;
  return m_ulState == 1 ? m_pPort->Clear() : 0;
}

int32_t BlinkLedSequence(CLed* pLed, uint32_t ulMask) {
  SeqStepState s{0, 100, 0};
  uint32_t ulCount = kBlinkChanges;
  bool bDone = false;
  while (!bDone) {
    uint32_t ulNext = s.ulStep;
    switch (s.ulStep) {
      case 100: {
        uint32_t ulState = 0;
        pLed->GetState(&ulState);
        // The machine ends only on a wait or an abort check: a port that
        // fails to switch leaves the blinking going.
        if (ulState != 0) {
          pLed->Off();
        } else {
          pLed->On();
        }
        ulNext = 200;
        break;
      }
      case 200:
        s.lResult = SeqWaitMs(kBlinkIntervalMs, ulMask);
        ulNext = 300;
        break;
      case 300:
        ulNext = --ulCount != 0 ? 100 : SEQ_STEP_ERROR;
        break;
      case SEQ_STEP_ERROR: ulNext = SEQ_STEP_END; break;
      case SEQ_STEP_END: bDone = true; break;
      default: s.lResult = -1; break;
    }
    StepAdvance(s, ulNext, SEQ_STEP_ERROR, ulMask);
  }
  return s.lResult;
}

namespace {
int32_t BlinkAction(CLed* pLed, uint32_t ulMask, uint32_t ulEvent) {
  SetStatusItem(SI_PRINTER_STATE, protocol::PRINTER_STATE_OPERATION, 1);
  const int32_t lResult = BlinkLedSequence(pLed, ulMask);
  if (g_pCurEventMng != nullptr) g_pCurEventMng->ClearEvent(ulEvent);
  return lResult;
}
}  // namespace

int32_t BlinkErrorLed(uint32_t ulCheckCovers) {
  return BlinkAction(&g_LedError, SEQ_CHECK_HOST | (ulCheckCovers != 0 ? uint32_t{SEQ_CHECK_COVERS} : 0u), kEvKeyRefused);
}

int32_t BlinkReadyLed() { return BlinkAction(&g_LedReady, SEQ_CHECK_HOST, EV_FLASH_LED); }

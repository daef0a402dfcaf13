// The panel LEDs ("Ready LED", "Error LED", "Power LED", "Exit LED"), each on
// one active-low output bit. An LED remembers whether it should be lit and
// can be held dark without forgetting that. Two event actions blink an LED
// for the operator, and a test screen switches one by hand.
#pragma once

#include <cstdint>

class COutputPort;

class CLed {
 public:
  constexpr CLed() = default;
  constexpr explicit CLed(const char* pszLabel) : m_pszLabel(pszLabel) {}

  virtual int32_t On();
  virtual int32_t Off();
  virtual int32_t Hold();
  virtual int32_t Release();

  int32_t GetState(uint32_t* pulState) const;
  bool IsHeld() const { return m_ulHold != 0; }
  const char* GetLabel() const { return m_pszLabel; }
  // The service menus' LED screen: Enter toggles, Clear leaves.
  int32_t TestScreen();

 protected:
  ~CLed() = default;

  const char* m_pszLabel = nullptr;
  uint32_t m_ulState = 0;
  uint32_t m_ulHold = 0;
};

class CPortLed final : public CLed {
 public:
  constexpr CPortLed() = default;
  // Starts dark and not held.
  CPortLed(const char* pszLabel, COutputPort* pPort);

  int32_t On() override;
  int32_t Off() override;
  int32_t Hold() override;
  int32_t Release() override;

 private:
  COutputPort* m_pPort = nullptr;
};

extern CPortLed g_LedReady;
extern CPortLed g_LedError;
extern CPortLed g_LedPower;
extern CPortLed g_LedExit;

namespace ledlabels {
constexpr const char* kReady = "Ready LED       ";
constexpr const char* kError = "Error LED       ";
constexpr const char* kPower = "Power LED       ";
constexpr const char* kExit = "Exit LED        ";
}  // namespace ledlabels

// Event actions: blink the Error LED when the Menu key was refused (abort
// mask host, plus covers when the argument is non-zero), and the Ready LED
// when the host asks to flash it. 10 changes 500 ms apart: 0, or -1 when
// aborted.
int32_t BlinkErrorLed(uint32_t ulCheckCovers);
int32_t BlinkReadyLed();
// The blink step machine on one LED.
int32_t BlinkLedSequence(CLed* pLed, uint32_t ulMask);

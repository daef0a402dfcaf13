// Digital sensors: a 0/1 input of the mechanism (cover switches, position
// switches, encoder inputs, exit-tray sensors) read through one input port,
// with its polarity, its LCD label and the error index a failed read raises.
#pragma once

#include <cstdint>

#include "firmware/devices/io_port.h"

class CDigitalSensor {
 public:
  constexpr CDigitalSensor() = default;
  // Nothing is read at construction.
  CDigitalSensor(const char* pszLabel, CInputPort* pPort, uint32_t ulErrorIndex, uint32_t ulInvert)
      : m_pPort(pPort), m_ulInvert(ulInvert), m_pszLabel(pszLabel), m_ulErrorIndex(ulErrorIndex) {}

  // One debounced reading: 0 (or -1 from the invert rule) with the level;
  // 1 with level 255 while the input bounces (no error); -1 with the
  // sensor's error raised when the port fails (level unchanged).
  int32_t Read(uint32_t* pulLevel);
  // Waits for a steady input: 0 (or -1 from the invert rule) with the level;
  // -1 with the sensor's error raised when the port fails.
  int32_t ReadStable(uint32_t* pulLevel);
  void ResetDebounce();
  // The maintenance screen: the label and ON/OFF, re-read until Clear.
  int32_t TestScreen();

  // With the invert flag set, 1 and 0 swap and any other level is left
  // (result -1); without it the level stays (result 0).
  int32_t ApplyInvert(uint32_t* pulLevel) const;

  const char* Label() const { return m_pszLabel; }
  uint32_t ErrorIndex() const { return m_ulErrorIndex; }

 private:
  int32_t Finish(int32_t lPortResult, uint32_t ulValue, uint32_t* pulLevel);

  CInputPort* m_pPort = nullptr;
  uint32_t m_ulInvert = 0;
  const char* m_pszLabel = nullptr;
  uint32_t m_ulErrorIndex = 0;
};

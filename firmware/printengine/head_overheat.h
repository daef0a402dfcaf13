// The watch on a head thermistor during the cooling waits of the print
// sequences: armed while the head is hot, released when its reading (8
// bits, hotter reads lower) reaches the release level, and raising error
// index 0x408 when the head has not cooled within ten minutes.
#pragma once

#include <cstdint>

#include "firmware/devices/analog_sensor.h"

class CHeadOverheat {
 public:
  static constexpr uint32_t kLimitMs = 600000;
  static constexpr uint32_t kErrorIndex = 0x408;

  constexpr CHeadOverheat() = default;
  // The machine definition's construction on the head's thermistor; not
  // armed.
  explicit CHeadOverheat(CAnalogSensor& sensor);

  // Reads the sensor; with its 8-bit reading below the arm level the watch
  // starts now with the release level. The read's result.
  int32_t Arm(uint32_t ulArmLevel, uint32_t ulReleaseLevel);
  // Not armed: *done 1, 0. Armed: the reading at or above the release level
  // releases the watch (*done 1); below it *done 0, or, after the limit,
  // error 0x408 and -1. A failing read is returned with *done 0.
  int32_t Check(uint32_t* pulDone);
  int32_t Reset();

  uint32_t Armed() const { return m_ulArmed; }
  // Puts a word into the armed flag as a stray write would leave it; Check
  // refuses any word but 0 and 1.
  void SetArmedWord(uint32_t ulWord) { m_ulArmed = ulWord; }

 private:
  int32_t ReadLevel(uint32_t* pulLevel) const;

  CAnalogSensor* m_pSensor = nullptr;
  uint32_t m_ulStartTick = 0;
  uint32_t m_ulLimitTicks = 0;
  uint32_t m_ulReleaseLevel = 0;
  uint32_t m_ulArmed = 0;
  // 1 once the expired watch has raised its error.
  uint32_t m_ulRaised = 0;
};

extern CHeadOverheat g_HeadOverheatL;
extern CHeadOverheat g_HeadOverheatR;

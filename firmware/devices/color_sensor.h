// The ribbon colour sensor of each print unit: one photo receiver (the
// unit's colour input) lit in turn by a red, a green and a blue LED. A
// colour is read no earlier than 100 ms after its LED came on, and lighting
// one colour darkens the unit's other two. The set reads the three colours
// one non-blocking step at a time and classifies the ribbon panel under the
// sensor.
#pragma once

#include <cstdint>

// One LED: bit (number - 1) of the FPGA's colour-control register; 1-3 red,
// green, blue of unit L, 4-6 of unit R.
class CColorLed {
 public:
  static constexpr uint32_t kFirstLedOfUnitR = 4;

  constexpr CColorLed() = default;
  // Ends with Off.
  CColorLed(const char* pszName, uint32_t ulNumber);

  // Nothing when already on (no write); the FPGA result otherwise. The
  // switch-on time is kept, whoever switched it on.
  int32_t On();
  int32_t Off();
  int32_t IsOn(uint32_t* pulOn) const;
  // The maintenance screen: the name, ON/OFF and the unit's receiver in
  // volts; Enter switches the LED; Clear leaves only while it is off.
  int32_t TestScreen();

  const char* Name() const { return m_pszName; }
  uint32_t Number() const { return m_ulNumber; }
  // The ms time of the last switch-on.
  uint32_t OnTime() const { return m_ulOnTime; }

 private:
  const char* m_pszName = nullptr;
  uint32_t m_ulNumber = 0;
  uint32_t m_ulOn = 0;
  uint32_t m_ulOnTime = 0;
};

enum ColorLevel : uint32_t { COLOR_LEVEL_BELOW = 1, COLOR_LEVEL_AT_OR_ABOVE = 2 };
enum ColorIndex : uint32_t { COLOR_RED = 0, COLOR_GREEN = 1, COLOR_BLUE = 2, COLOR_COUNT = 3 };

// Read returns 0 and writes nothing in this class; the colour variants read
// the current unit's colour input against their threshold.
class CColorSensor {
 public:
  static constexpr uint32_t kDefaultThreshold = 512;
  static constexpr uint32_t kNoScale = 0xFFFFFFFFu;

  constexpr CColorSensor() = default;
  explicit CColorSensor(CColorLed* pLed);

  virtual int32_t Read(uint32_t* /*pulLevel*/, uint32_t* /*pulValue*/) { return 0; }
  // The threshold in volts at column 11 ("1.65V"), then a wait for any key.
  virtual int32_t ShowThreshold();

  int32_t SetThreshold(uint32_t ulThreshold);
  int32_t GetThreshold(uint32_t* pulThreshold) const;
  int32_t SetScale(uint32_t ulScale);
  int32_t LedOff();
  // One non-blocking step of a reading: valid only once this colour's LED
  // has been on for more than the settle time (counted from the LED's own
  // switch-on, also when other code lit it); a colour whose LED is off
  // darkens the unit's three LEDs, lights its own and reads once unreported.
  int32_t Measure(uint32_t* pulLevel, uint32_t* pulValue, uint32_t* pulValid);

  CColorLed* Led() const { return m_pLed; }
  uint32_t LedOnTime() const { return m_ulLedOnTime; }

 protected:
  // Sensors are never destroyed, and never through this class.
  ~CColorSensor() = default;
  // The current unit's colour input against a threshold (16 bits).
  int32_t ReadAgainst(uint32_t ulThreshold, uint32_t* pulLevel, uint32_t* pulValue);
  int32_t ShowVolts(uint32_t ulThreshold);

  CColorLed* m_pLed = nullptr;
  uint32_t m_ulSettleTime = 0;
  uint32_t m_ulLedOnTime = 0;
  uint32_t m_ulThreshold = 0;
  uint32_t m_ulScale = 0;
};

// Green and blue compare with their threshold as it is.
template <ColorIndex eColor>
class CColorSensorUnscaled final : public CColorSensor {
 public:
  constexpr CColorSensorUnscaled() = default;
  explicit CColorSensorUnscaled(CColorLed* pLed) : CColorSensor(pLed) {}
  int32_t Read(uint32_t* pulLevel, uint32_t* pulValue) override {
    return ReadAgainst(m_ulThreshold, pulLevel, pulValue);
  }
};
using CColorSensorG = CColorSensorUnscaled<COLOR_GREEN>;
using CColorSensorB = CColorSensorUnscaled<COLOR_BLUE>;

// Red compares with its threshold scaled by scale / 256 (unless the scale
// is kNoScale), which the ribbon manager sets.
class CColorSensorR final : public CColorSensor {
 public:
  constexpr CColorSensorR() = default;
  explicit CColorSensorR(CColorLed* pLed);
  int32_t Read(uint32_t* pulLevel, uint32_t* pulValue) override;
  int32_t ShowThreshold() override;
  uint32_t ScaledThreshold() const;
};

// The classes of a ribbon panel from its three readings.
enum PanelClass : uint32_t {
  PANEL_YELLOW = 0,
  PANEL_MAGENTA = 1,
  PANEL_CYAN = 2,
  PANEL_OVERCOAT = 3,
};

// First match wins: reading[minuend] - reading[subtrahend] > 93 (signed).
struct PanelRule {
  ColorIndex eMinuend;
  ColorIndex eSubtrahend;
  PanelClass eClass;
};
constexpr int32_t kPanelMargin = 93;
extern const PanelRule g_aPanelRules[3];
PanelClass ClassifyReadings(const uint32_t (&aulValues)[COLOR_COUNT]);

// Reads the current unit's three colours in turn, one step per call; the
// caller repeats the call until done.
class CColorSensorSet {
 public:
  constexpr CColorSensorSet() = default;

  // The current unit's three LEDs off, the levels 0xFF, step 0.
  int32_t Reset();
  // Done with code (red << 8) | (green << 4) | blue of the levels (1 or 2).
  int32_t ReadColorCode(uint32_t* pulCode, uint32_t* pulDone);
  // Done with the panel's class and the raw readings red, green, blue.
  int32_t ClassifyPanel(uint32_t* pulClass, uint16_t* pusValues, uint32_t* pulDone);

 private:
  // One Measure of the step's colour; true when the third colour was read
  // (step back to 0).
  bool Step(int32_t* plResult);

  uint32_t m_ulStep = 0;
  uint8_t m_aucLevel[COLOR_COUNT] = {};
  uint32_t m_aulValue[COLOR_COUNT] = {};
};

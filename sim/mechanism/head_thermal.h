// The heads' temperatures and the room around the printer. Each head warms
// with the energy its drive strobes into it (the head-drive block reports
// each burst's strobe time) and cools exponentially toward the ambient
// temperature; a head switched to stay hot does not cool. The thermistors
// "H.Therm L", "H.Therm R" (A/D channels 16, 17) and "EnvTherm" (18) read
// the temperatures through an NTC divider (hotter reads lower: 500 counts
// at 25 C), "EnvHumid" (20) reads the relative humidity, 10.23 counts per
// percent. Temperatures are worked out when read, from the virtual time.
#pragma once

#include <array>
#include <cstdint>

#include "sim/board.h"
#include "sim/clock.h"

namespace sim {

// The room and the heads at power-on.
struct HeadClimate {
  double ambientC = 25.0;
  double humidityPct = 50.0;
  // Per head (L, R): it keeps whatever temperature it has.
  std::array<bool, 2> stuckHot{};
};

class HeadThermal final : public DeviceModel {
 public:
  static constexpr uint32_t kChannelHeadL = 16;
  static constexpr uint32_t kChannelHeadR = 17;
  static constexpr uint32_t kChannelAmbient = 18;
  static constexpr uint32_t kChannelHumidity = 20;
  // Time constant of a head's cooling, and its warming per second of strobe
  // time.
  static constexpr double kCoolingTauS = 60.0;
  static constexpr double kKelvinPerStrobeS = 20.0;

  HeadThermal(SimClock& clock, const HeadClimate& climate);

  double HeadC(uint32_t head) const;
  void SetHeadC(uint32_t head, double celsius);
  void SetStuckHot(uint32_t head, bool bStuck);
  double AmbientC() const { return m_ambientC; }
  void SetAmbientC(double celsius);
  void SetHumidityPct(double percent) { m_humidityPct = percent; }
  // The head drive strobed the head for this long.
  void AddStrobeTime(uint32_t head, Nanos onTime);

  // The raw 10-bit reading of an NTC thermistor at the temperature, and the
  // temperature that reads as a raw value (the curve's inverse).
  static uint16_t NtcReading(double celsius);
  static double NtcCelsius(uint16_t raw);
  // The channels this model answers: true with the level set.
  bool Analog(uint32_t channel, uint16_t* pLevel) const;

 private:
  // Brings the head's temperature up to now.
  void Settle(uint32_t head);

  SimClock& m_clock;
  double m_ambientC;
  double m_humidityPct;
  std::array<double, 2> m_headC{};
  std::array<Nanos, 2> m_since{};
  std::array<bool, 2> m_stuckHot{};
};

}  // namespace sim

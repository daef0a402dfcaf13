// The mechanism as the firmware senses it at idle: seven cover switches and
// the exit tray's switch on the FPGA's input words, five photo sensors that
// see the paper roll (the four of the path's ends lit by the two
// photo-sensor LED outputs, "PaperPath" by an emitter of its own) and three
// thermistors on the A/D converter. Tests and printer-sim open covers, take the roll out or move
// temperatures; by default every cover is closed, a roll is loaded and the
// temperatures are in range.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/board.h"
#include "sim/mechanism/enum_index.h"

namespace sim {

class FpgaMainBlock;
class GpioController;

// ExitTray "open" is the exit tray taken off.
enum class Cover : uint32_t { Front, SideL, SideR, Paper, PaperGuide, UpperL, UpperR, ExitTray, Count };
enum class PhotoSensor : uint32_t { TopL, TopR, Position, PaperEmpty, PaperPath, Count };
enum class Thermistor : uint32_t { HeadL, HeadR, Ambient, Count };

class MechanismInputs final : public DeviceModel {
 public:
  // A/D levels well clear of the photo sensors' slice levels (113 in 8-bit
  // units, so 452 raw): paper seen, and dark.
  static constexpr uint16_t kPaperSeen = 800;
  static constexpr uint16_t kDark = 100;
  // A thermistor reading in range (30..226 in 8-bit units).
  static constexpr uint16_t kTemperatureInRange = 500;
  static constexpr uint32_t kPhotoLedPins[2] = {20, 21};

  MechanismInputs(FpgaMainBlock& fpga, GpioController& gpio, uint32_t openCovers, bool bRollLoaded);

  void SetCoverOpen(Cover cover, bool bOpen);
  bool CoverOpen(Cover cover) const { return m_coverOpen[Index(cover)]; }
  // A test's reading of a photo sensor, before what the paper web shows.
  void SetPaperSeen(PhotoSensor sensor, bool bSeen) { m_override[Index(sensor)] = bSeen ? 1 : 0; }
  // All photo sensors, as SetPaperSeen.
  void SetRollLoaded(bool bLoaded);
  // Back to the paper web's readings.
  void ClearPaperOverrides() { m_override.fill(-1); }
  // The paper web (paper_web_mechanism.h) answers where no test reading
  // is set; without one a loaded roll covers every photo sensor.
  using PhotoSource = std::function<bool(PhotoSensor sensor)>;
  void SetPhotoSource(PhotoSource source) { m_photoSource = std::move(source); }
  // Raw A/D counts 0-1023, held until cleared: the reading in place of the
  // thermal model's (head_thermal.h; without one, kTemperatureInRange).
  void SetThermistor(Thermistor thermistor, uint16_t raw) { m_thermistor[Index(thermistor)] = raw; }
  void ClearThermistor(Thermistor thermistor) { m_thermistor[Index(thermistor)] = -1; }
  // Other models of the mechanism answer their own A/D channels: a source
  // that returns true has set the channel's level.
  using AnalogSource = std::function<bool(uint32_t channel, uint16_t* pLevel)>;
  void AddAnalogSource(AnalogSource source) { m_sources.push_back(std::move(source)); }
  // Parses a cover's option name (front, side-l, side-r, paper, guide,
  // upper-l, upper-r, tray).
  static bool ParseCover(const char* pszName, Cover* pCover);

 private:
  uint16_t Analog(uint32_t channel, bool bColorSensorL) const;
  bool PhotoLedsOn() const;

  FpgaMainBlock& m_fpga;
  GpioController& m_gpio;
  std::array<bool, Index(Cover::Count)> m_coverOpen{};
  std::array<bool, Index(PhotoSensor::Count)> m_paperSeen{};
  std::array<int8_t, Index(PhotoSensor::Count)> m_override{-1, -1, -1, -1, -1};
  PhotoSource m_photoSource;
  std::array<int32_t, Index(Thermistor::Count)> m_thermistor{-1, -1, -1};
  std::vector<AnalogSource> m_sources;
};

}  // namespace sim

// The FPGA's passive-serial configuration port on GPIO bank 0:
//   GP0[10] DATA     (in)   the configuration bit, taken on the rising DCLK edge
//   GP0[11] nCONFIG  (in)   low resets the FPGA; its rise starts a configuration
//   GP0[13] DCLK     (in)   the configuration clock
//   GP0[14] nSTATUS  (out)  high when the FPGA takes data; low in reset and
//                           after a refused stream
//   GP0[15] CONF_DONE (out) high once the whole expected stream arrived intact
// (directions as the FPGA sees them; GP0[12] is the board's own line).
//
// What the part does:
// - nCONFIG low: the FPGA drops its configuration (the register blocks stop
//   answering), drives nSTATUS and CONF_DONE low and forgets any stream.
// - nCONFIG rising after at least kMinResetLow low: nSTATUS rises
//   kStatusDelay later; from then on every rising DCLK edge takes DATA as
//   the next bit of the stream, least significant bit of each byte first.
//   Edges before nSTATUS is high are ignored.
// - The stream is checked as it arrives (bitstream_format.h): the sync
//   after 16 bytes, the length after 24, the check word at the end. A
//   refused stream pulls nSTATUS low and CONF_DONE stays low.
// - After the last byte of an intact stream CONF_DONE rises; the next
//   rising DCLK edge (the initialisation clock) starts the user logic.
// - At power-on the FPGA holds the configuration the boot stage loaded
//   (design revision kPowerOnRevision), unless a test asks for a cold
//   board (`PowerOnUnconfigured`): then nSTATUS is high and the FPGA waits
//   for a stream from power-on, as it does with nCONFIG high.
//
// Fault switches: `FailStatus` keeps nSTATUS low (no FPGA answers the
// start pulse); `FailDone` keeps CONF_DONE low after an intact stream.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "sim/board.h"
#include "sim/clock.h"

namespace sim {

class GpioController;

class FpgaConfigPort final : public DeviceModel {
 public:
  static constexpr uint32_t kPinData = 10;
  static constexpr uint32_t kPinConfig = 11;
  static constexpr uint32_t kPinClock = 13;
  static constexpr uint32_t kPinStatus = 14;
  static constexpr uint32_t kPinDone = 15;
  static constexpr Nanos kMinResetLow = 2 * kNsPerUs;
  static constexpr Nanos kStatusDelay = 20 * kNsPerUs;
  static constexpr uint16_t kPowerOnRevision = 1;

  enum class State : uint8_t {
    UserMode,   // configured, the user logic runs
    Reset,      // nCONFIG held low
    Starting,   // nCONFIG released, nSTATUS not yet high
    Receiving,  // taking the stream
    Done,       // CONF_DONE high, waiting for the initialisation clock
    Refused,    // nSTATUS low after a bad stream, until the next reset
  };

  FpgaConfigPort(Board& board, GpioController& gpio);
  FpgaConfigPort(const FpgaConfigPort&) = delete;
  FpgaConfigPort& operator=(const FpgaConfigPort&) = delete;

  State GetState() const { return m_state; }
  bool InUserMode() const { return m_state == State::UserMode; }
  // The design revision of the configuration that runs (or ran last).
  uint16_t DesignRevision() const { return m_revision; }
  // Called when the user logic starts (true) or stops (false).
  void AddModeObserver(std::function<void(bool bUserMode)> fn) { m_modeObservers.push_back(std::move(fn)); }

  // ---- observation, for tests ----
  // The bytes clocked in since nCONFIG last rose (at most kDeviceBytes + 16).
  const std::vector<uint8_t>& Received() const { return m_received; }
  // Rising DCLK edges taken since nCONFIG last rose, initialisation clock
  // included.
  uint32_t ClocksTaken() const { return m_clocks; }
  // Configurations completed since power-on.
  uint32_t Configurations() const { return m_configurations; }

  // ---- switches ----
  void PowerOnUnconfigured();
  void FailStatus(bool bFail) { m_bFailStatus = bFail; }
  void FailDone(bool bFail) { m_bFailDone = bFail; }

 private:
  void OnConfigLine(bool bLevel);
  void OnClock(bool bLevel);
  void TakeByte(uint8_t byte);
  void Refuse();
  void SetMode(State state);
  void DriveLines(bool bStatus, bool bDone);

  Board& m_board;
  GpioController& m_gpio;
  State m_state = State::UserMode;
  uint16_t m_revision = kPowerOnRevision;
  Nanos m_resetSince = 0;
  SimClock::EventId m_statusEvent = 0;
  uint32_t m_bitCount = 0;
  uint8_t m_shift = 0;
  std::vector<uint8_t> m_received;
  uint32_t m_checkSum = 0;
  uint32_t m_clocks = 0;
  uint32_t m_configurations = 0;
  bool m_bFailStatus = false;
  bool m_bFailDone = false;
  std::vector<std::function<void(bool)>> m_modeObservers;
};

}  // namespace sim

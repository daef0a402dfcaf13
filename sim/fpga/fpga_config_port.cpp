#include "sim/fpga/fpga_config_port.h"

#include <cstring>

#include "sim/fpga/bitstream_format.h"
#include "sim/soc/gpio.h"

namespace sim {

namespace {
// What is kept of a stream for the tests: the device's length and a little
// more, to show bytes sent past its end.
constexpr size_t kKeptBytes = fpga::kDeviceBytes + 16;

uint32_t U32LE(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
}  // namespace

FpgaConfigPort::FpgaConfigPort(Board& board, GpioController& gpio) : m_board(board), m_gpio(gpio) {
  m_gpio.AddPinObserver(kPinConfig, [this](bool bLevel) { OnConfigLine(bLevel); });
  m_gpio.AddPinObserver(kPinClock, [this](bool bLevel) { OnClock(bLevel); });
  DriveLines(true, true);
}

void FpgaConfigPort::PowerOnUnconfigured() {
  // A cold FPGA with nCONFIG high waits for a stream from power-on.
  m_received.clear();
  m_bitCount = 0;
  m_shift = 0;
  m_checkSum = 0;
  m_clocks = 0;
  DriveLines(true, false);
  SetMode(State::Receiving);
}

void FpgaConfigPort::DriveLines(bool bStatus, bool bDone) {
  m_gpio.DriveInput(kPinStatus, bStatus);
  m_gpio.DriveInput(kPinDone, bDone);
}

void FpgaConfigPort::SetMode(State state) {
  const bool bWasUser = m_state == State::UserMode;
  m_state = state;
  const bool bUser = m_state == State::UserMode;
  if (bWasUser != bUser) {
    for (auto& fn : m_modeObservers) fn(bUser);
  }
}

void FpgaConfigPort::OnConfigLine(bool bLevel) {
  SimClock& clock = m_board.Clock();
  if (!bLevel) {
    if (m_statusEvent != 0) clock.Cancel(m_statusEvent);
    m_statusEvent = 0;
    m_resetSince = clock.Now();
    DriveLines(false, false);
    SetMode(State::Reset);
    return;
  }
  if (m_state != State::Reset) return;
  m_received.clear();
  m_bitCount = 0;
  m_shift = 0;
  m_checkSum = 0;
  m_clocks = 0;
  if (clock.Now() - m_resetSince < kMinResetLow) {
    // Too short a pulse: the FPGA does not leave reset cleanly.
    SetMode(State::Refused);
    return;
  }
  SetMode(State::Starting);
  if (m_bFailStatus) return;
  m_statusEvent = clock.ScheduleIn(kStatusDelay, [this] {
    m_statusEvent = 0;
    if (m_state != State::Starting) return;
    m_state = State::Receiving;
    m_gpio.DriveInput(kPinStatus, true);
  });
}

void FpgaConfigPort::OnClock(bool bLevel) {
  if (!bLevel) return;
  if (m_state == State::Done) {
    ++m_clocks;
    ++m_configurations;
    SetMode(State::UserMode);
    return;
  }
  if (m_state != State::Receiving) return;
  ++m_clocks;
  if (m_gpio.PinLevel(kPinData)) m_shift |= static_cast<uint8_t>(1u << m_bitCount);
  if (++m_bitCount < 8) return;
  const uint8_t byte = m_shift;
  m_bitCount = 0;
  m_shift = 0;
  TakeByte(byte);
}

void FpgaConfigPort::TakeByte(uint8_t byte) {
  if (m_received.size() < kKeptBytes) m_received.push_back(byte);
  const size_t n = m_received.size();
  if (n == fpga::kSyncBytes && std::memcmp(m_received.data(), fpga::kSyncText, fpga::kSyncBytes) != 0) {
    Refuse();
    return;
  }
  if (n == fpga::kHeaderBytes && U32LE(m_received, fpga::kLengthOffset) != fpga::kDeviceBytes) {
    Refuse();
    return;
  }
  // The check word covers the halfwords before it.
  if (n <= fpga::kDeviceBytes - fpga::kCheckWordBytes && n % 2 == 0) {
    m_checkSum += m_received[n - 2] | (m_received[n - 1] << 8);
    m_checkSum = (m_checkSum & 0xFFFFu) + (m_checkSum >> 16);
    return;
  }
  if (n != fpga::kDeviceBytes) return;
  const uint16_t stored = static_cast<uint16_t>(m_received[n - 2] | (m_received[n - 1] << 8));
  if (stored != static_cast<uint16_t>(~m_checkSum)) {
    Refuse();
    return;
  }
  m_revision = static_cast<uint16_t>(m_received[fpga::kRevisionOffset] | (m_received[fpga::kRevisionOffset + 1] << 8));
  if (m_bFailDone) return;  // the stream sits in the device, which never reports done
  m_state = State::Done;
  m_gpio.DriveInput(kPinDone, true);
}

void FpgaConfigPort::Refuse() {
  m_state = State::Refused;
  m_gpio.DriveInput(kPinStatus, false);
}

}  // namespace sim

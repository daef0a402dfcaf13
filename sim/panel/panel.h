// The operator panel of the board: a one-line, 16-character LCD module with
// an HD44780-type controller, six keys and four LEDs, all on GPIO lines
// (the Exit LED on a bit of the FPGA's main block).
//
// Wiring (GPIO pair 3 = banks 6 and 7, board pin 96 + bit):
// - keys on bits 0-5 (Feed, Clear, Menu, +, -, Enter), active low, pulled
//   high by the board while no key is pressed;
// - LCD enable E on bit 6, register select on bit 7, the module's power and
//   backlight on bit 11, the data bus on bits 24-31. Data and register select
//   pass through inverting buffers: the controller sees the ones' complement
//   of the port byte, and an instruction while the RS line is high. E reaches
//   the controller as driven; it rests high and the controller latches a
//   transfer at its falling edge.
// - LEDs Error, Ready, Power on bits 8, 9, 10 and Exit on FPGA register 0x36
//   bit 11, each lit while its bit is low.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "sim/board.h"

namespace sim {

class GpioController;
class FpgaMainBlock;

namespace panel {
constexpr uint32_t kPairPinBase = 96;  // pin of GPIO pair 3 bit 0
constexpr uint32_t kPinLcdE = kPairPinBase + 6;
constexpr uint32_t kPinLcdRs = kPairPinBase + 7;
constexpr uint32_t kPinLedError = kPairPinBase + 8;
constexpr uint32_t kPinLedReady = kPairPinBase + 9;
constexpr uint32_t kPinLedPower = kPairPinBase + 10;
constexpr uint32_t kPinLcdPower = kPairPinBase + 11;
constexpr uint32_t kPinLcdData0 = kPairPinBase + 24;
constexpr uint32_t kFpgaExitLedRegister = 0x36;
constexpr uint16_t kFpgaExitLedBit = 1u << 11;
}  // namespace panel

// The HD44780-type controller in 8-bit mode (write only: R/W is tied low).
// Display memory: 80 bytes as two lines of 40 (0x00-0x27, 0x40-0x67); the
// module shows characters 0-7 from line 1 and 8-15 from line 2. Busy times:
// 1.52 ms after clear and return home, 37 us after the other transfers; a
// transfer while busy is a board fault.
class LcdController final : public DeviceModel {
 public:
  struct Screen {
    Nanos at;
    std::string text;  // the 16 visible characters
  };
  struct PowerChange {
    Nanos at;
    bool bOn;
  };

  LcdController(Board& board, GpioController& gpio);

  // The 16 characters the module shows while lit (display memory at 0x00-
  // 0x07 and 0x40-0x47, after any display shift).
  std::string Visible() const;
  // Complete screens: one entry each time the 16th visible cell (address
  // 0x47) is written, i.e. after every full rewrite of the line.
  const std::vector<Screen>& Screens() const { return m_screens; }
  const std::vector<PowerChange>& PowerChanges() const { return m_powerChanges; }
  bool Powered() const;
  bool DisplayOn() const { return m_bDisplayOn; }
  bool CursorOn() const { return m_bCursorOn; }
  bool BlinkOn() const { return m_bBlinkOn; }
  bool EightBitBus() const { return m_bEightBit; }
  bool TwoLines() const { return m_bTwoLines; }
  bool Increment() const { return m_bIncrement; }
  uint8_t AddressCounter() const { return m_ucAddress; }
  uint8_t Ddram(uint8_t address) const { return m_ddram[address & 0x7Fu]; }
  uint32_t Instructions() const { return m_ulInstructions; }
  uint32_t DataWrites() const { return m_ulDataWrites; }

 private:
  void OnEnable(bool bLevel);
  void Instruction(uint8_t ucByte);
  void Data(uint8_t ucByte);
  void StepAddress(bool bForward);
  void OnPower(bool bLevel);

  Board& m_board;
  GpioController& m_gpio;
  std::array<uint8_t, 128> m_ddram{};
  std::array<uint8_t, 64> m_cgram{};
  uint8_t m_ucAddress = 0;
  bool m_bCgram = false;
  bool m_bIncrement = true;
  bool m_bShiftOnWrite = false;
  int32_t m_lShift = 0;
  bool m_bDisplayOn = false;
  bool m_bCursorOn = false;
  bool m_bBlinkOn = false;
  bool m_bEightBit = true;
  bool m_bTwoLines = false;
  Nanos m_busyUntil = 0;
  uint32_t m_ulInstructions = 0;
  uint32_t m_ulDataWrites = 0;
  std::vector<Screen> m_screens;
  std::vector<PowerChange> m_powerChanges;
  std::string m_lastEcho;
};

enum class PanelKey : uint32_t { Feed = 0, Clear = 1, Menu = 2, Inc = 3, Dec = 4, Enter = 5 };

// The six keys. Tests press, hold and release them now or at a virtual
// time; a pressed key pulls its input low.
class PanelKeys final : public DeviceModel {
 public:
  PanelKeys(Board& board, GpioController& gpio);

  void Press(PanelKey key);
  void Release(PanelKey key);
  void ReleaseAll();
  bool IsPressed(PanelKey key) const;
  // Presses at now + delay and releases `hold` later.
  void Tap(PanelKey key, Nanos hold, Nanos delay = 0);
  // The keys pressed together at now + delay, all released `hold` later.
  void Chord(std::initializer_list<PanelKey> keys, Nanos hold, Nanos delay = 0);
  void PressAt(PanelKey key, Nanos at);
  void ReleaseAt(PanelKey key, Nanos at);

 private:
  Board& m_board;
  GpioController& m_gpio;
  uint32_t m_ulPressed = 0;
};

enum class PanelLed : uint32_t { Ready = 0, Error = 1, Power = 2, Exit = 3 };

// The four LEDs with a time-stamped trace of their changes.
class PanelLeds final : public DeviceModel {
 public:
  struct Change {
    Nanos at;
    PanelLed led;
    bool bOn;
  };

  PanelLeds(Board& board, GpioController& gpio, FpgaMainBlock* pFpga);

  bool IsOn(PanelLed led) const { return m_abOn[static_cast<uint32_t>(led)]; }
  const std::vector<Change>& Trace() const { return m_trace; }
  // The changes of one LED, in order.
  std::vector<Change> TraceOf(PanelLed led) const;
  static const char* Name(PanelLed led);

 private:
  void Set(PanelLed led, bool bOn);

  Board& m_board;
  std::array<bool, 4> m_abOn{};
  std::vector<Change> m_trace;
};

}  // namespace sim

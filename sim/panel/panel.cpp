#include "sim/panel/panel.h"

#include <string>

#include "sim/board_devices.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/soc/gpio.h"

namespace sim {

namespace {
constexpr Nanos kBusyShort = 37 * kNsPerUs;
constexpr Nanos kBusyLong = 1520 * kNsPerUs;
constexpr uint8_t kLastVisibleCell = 0x47;

std::string Printable(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    const auto uc = static_cast<unsigned char>(c);
    if (uc < 0x20 || uc > 0x7E) c = '.';
  }
  return out;
}
}  // namespace

// ---------------------------------------------------------------- LCD --

LcdController::LcdController(Board& board, GpioController& gpio) : m_board(board), m_gpio(gpio) {
  m_ddram.fill(' ');
  gpio.AddPinObserver(panel::kPinLcdE, [this](bool bLevel) { OnEnable(bLevel); });
  gpio.AddPinObserver(panel::kPinLcdPower, [this](bool bLevel) { OnPower(bLevel); });
}

bool LcdController::Powered() const { return m_gpio.PinLevel(panel::kPinLcdPower); }

std::string LcdController::Visible() const {
  std::string text(16, ' ');
  for (uint32_t i = 0; i < 16; ++i) {
    const uint32_t base = i < 8 ? 0x00 : 0x40;
    const int32_t column = (static_cast<int32_t>(i % 8) + m_lShift) % 40;
    text[i] = static_cast<char>(m_ddram[base + static_cast<uint32_t>(column < 0 ? column + 40 : column)]);
  }
  return text;
}

void LcdController::OnPower(bool bLevel) {
  m_powerChanges.push_back({m_board.Clock().Now(), bLevel});
  if (m_board.Config().bEchoConsole) m_board.ConsoleLine(bLevel ? "[lcd] power on" : "[lcd] power off");
}

void LcdController::OnEnable(bool bLevel) {
  if (bLevel) return;  // the controller latches at the falling edge of E
  const Nanos now = m_board.Clock().Now();
  if (now < m_busyUntil) m_board.ReportFault("lcd: transfer while the controller is busy");
  uint8_t ucPort = 0;
  for (uint32_t bit = 0; bit < 8; ++bit) {
    if (m_gpio.PinLevel(panel::kPinLcdData0 + bit)) ucPort = static_cast<uint8_t>(ucPort | (1u << bit));
  }
  const auto ucByte = static_cast<uint8_t>(~ucPort);
  // RS passes an inverter: a high line selects the instruction register.
  if (m_gpio.PinLevel(panel::kPinLcdRs)) {
    Instruction(ucByte);
  } else {
    Data(ucByte);
  }
}

void LcdController::StepAddress(bool bForward) {
  if (m_bCgram) {
    m_ucAddress = static_cast<uint8_t>((m_ucAddress + (bForward ? 1 : 63)) & 0x3Fu);
    return;
  }
  if (!m_bTwoLines) {
    m_ucAddress = static_cast<uint8_t>(bForward ? (m_ucAddress >= 0x4F ? 0 : m_ucAddress + 1)
                                                : (m_ucAddress == 0 ? 0x4F : m_ucAddress - 1));
    return;
  }
  if (bForward) {
    m_ucAddress = m_ucAddress == 0x27 ? 0x40 : m_ucAddress == 0x67 ? 0x00 : static_cast<uint8_t>(m_ucAddress + 1);
  } else {
    m_ucAddress = m_ucAddress == 0x40 ? 0x27 : m_ucAddress == 0x00 ? 0x67 : static_cast<uint8_t>(m_ucAddress - 1);
  }
}

void LcdController::Instruction(uint8_t ucByte) {
  ++m_ulInstructions;
  m_busyUntil = m_board.Clock().Now() + kBusyShort;
  if (ucByte & 0x80) {  // set DDRAM address
    m_bCgram = false;
    m_ucAddress = ucByte & 0x7Fu;
  } else if (ucByte & 0x40) {  // set CGRAM address
    m_bCgram = true;
    m_ucAddress = ucByte & 0x3Fu;
  } else if (ucByte & 0x20) {  // function set
    m_bEightBit = (ucByte & 0x10) != 0;
    m_bTwoLines = (ucByte & 0x08) != 0;
    if (!m_bEightBit) m_board.ReportFault("lcd: 4-bit bus selected on a module wired for 8 bits");
  } else if (ucByte & 0x10) {  // cursor or display shift
    const bool bRight = (ucByte & 0x04) != 0;
    if (ucByte & 0x08) {
      m_lShift += bRight ? -1 : 1;
    } else {
      StepAddress(bRight);
    }
  } else if (ucByte & 0x08) {  // display control
    m_bDisplayOn = (ucByte & 0x04) != 0;
    m_bCursorOn = (ucByte & 0x02) != 0;
    m_bBlinkOn = (ucByte & 0x01) != 0;
  } else if (ucByte & 0x04) {  // entry mode
    m_bIncrement = (ucByte & 0x02) != 0;
    m_bShiftOnWrite = (ucByte & 0x01) != 0;
  } else if (ucByte & 0x02) {  // return home
    m_bCgram = false;
    m_ucAddress = 0;
    m_lShift = 0;
    m_busyUntil = m_board.Clock().Now() + kBusyLong;
  } else if (ucByte & 0x01) {  // clear display
    m_ddram.fill(' ');
    m_bCgram = false;
    m_ucAddress = 0;
    m_lShift = 0;
    m_bIncrement = true;
    m_busyUntil = m_board.Clock().Now() + kBusyLong;
  }
}

void LcdController::Data(uint8_t ucByte) {
  ++m_ulDataWrites;
  const Nanos now = m_board.Clock().Now();
  m_busyUntil = now + kBusyShort;
  if (m_bCgram) {
    m_cgram[m_ucAddress & 0x3Fu] = ucByte;
    StepAddress(m_bIncrement);
    return;
  }
  const uint8_t ucCell = m_ucAddress;
  m_ddram[ucCell & 0x7Fu] = ucByte;
  StepAddress(m_bIncrement);
  if (m_bShiftOnWrite) m_lShift += m_bIncrement ? 1 : -1;
  if (ucCell != kLastVisibleCell) return;
  const std::string text = Visible();
  m_screens.push_back({now, text});
  if (m_board.Config().bEchoConsole && text != m_lastEcho) {
    m_lastEcho = text;
    m_board.ConsoleLine("[lcd] |" + Printable(text) + "|");
  }
}

// --------------------------------------------------------------- keys --

PanelKeys::PanelKeys(Board& board, GpioController& gpio) : m_board(board), m_gpio(gpio) {}

void PanelKeys::Press(PanelKey key) {
  const auto bit = static_cast<uint32_t>(key);
  m_ulPressed |= 1u << bit;
  m_gpio.DriveInput(panel::kPairPinBase + bit, false);
}

void PanelKeys::Release(PanelKey key) {
  const auto bit = static_cast<uint32_t>(key);
  m_ulPressed &= ~(1u << bit);
  m_gpio.ReleaseInput(panel::kPairPinBase + bit);
}

void PanelKeys::ReleaseAll() {
  for (uint32_t bit = 0; bit < 6; ++bit) Release(static_cast<PanelKey>(bit));
}

bool PanelKeys::IsPressed(PanelKey key) const { return (m_ulPressed >> static_cast<uint32_t>(key)) & 1u; }

void PanelKeys::PressAt(PanelKey key, Nanos at) {
  m_board.Clock().Schedule(at, [this, key] { Press(key); });
}

void PanelKeys::ReleaseAt(PanelKey key, Nanos at) {
  m_board.Clock().Schedule(at, [this, key] { Release(key); });
}

void PanelKeys::Tap(PanelKey key, Nanos hold, Nanos delay) { Chord({key}, hold, delay); }

void PanelKeys::Chord(std::initializer_list<PanelKey> keys, Nanos hold, Nanos delay) {
  const Nanos start = m_board.Clock().Now() + delay;
  for (PanelKey key : keys) {
    if (delay == 0) {
      Press(key);
    } else {
      PressAt(key, start);
    }
    ReleaseAt(key, start + hold);
  }
}

// --------------------------------------------------------------- LEDs --

PanelLeds::PanelLeds(Board& board, GpioController& gpio, FpgaMainBlock* pFpga) : m_board(board) {
  const struct {
    uint32_t pin;
    PanelLed led;
  } kPins[] = {{panel::kPinLedReady, PanelLed::Ready},
               {panel::kPinLedError, PanelLed::Error},
               {panel::kPinLedPower, PanelLed::Power}};
  for (const auto& p : kPins) {
    gpio.AddPinObserver(p.pin, [this, led = p.led](bool bLevel) { Set(led, !bLevel); });
  }
  if (pFpga != nullptr) {
    pFpga->AddWriteObserver(panel::kFpgaExitLedRegister, panel::kFpgaExitLedRegister, [this](uint32_t, uint16_t value) {
      Set(PanelLed::Exit, (value & panel::kFpgaExitLedBit) == 0);
    });
  }
}

const char* PanelLeds::Name(PanelLed led) {
  switch (led) {
    case PanelLed::Ready: return "Ready";
    case PanelLed::Error: return "Error";
    case PanelLed::Power: return "Power";
    case PanelLed::Exit: return "Exit";
  }
  return "?";
}

std::vector<PanelLeds::Change> PanelLeds::TraceOf(PanelLed led) const {
  std::vector<Change> out;
  for (const Change& c : m_trace) {
    if (c.led == led) out.push_back(c);
  }
  return out;
}

void PanelLeds::Set(PanelLed led, bool bOn) {
  bool& bState = m_abOn[static_cast<uint32_t>(led)];
  if (bState == bOn) return;
  bState = bOn;
  m_trace.push_back({m_board.Clock().Now(), led, bOn});
  if (m_board.Config().bEchoConsole) {
    m_board.ConsoleLine(std::string("[led] ") + Name(led) + (bOn ? " on" : " off"));
  }
}

// ------------------------------------------------------- installation --

void InstallPanelDevices(Board& board, const BoardInputs&) {
  GpioController* pGpio = board.FindDevice<GpioController>();
  if (pGpio == nullptr) return;
  board.AddDevice<LcdController>(board, *pGpio);
  board.AddDevice<PanelKeys>(board, *pGpio);
  board.AddDevice<PanelLeds>(board, *pGpio, board.FindDevice<FpgaMainBlock>());
}

}  // namespace sim

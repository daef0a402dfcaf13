#include "sim/memory/microwire_eeprom.h"

#include <cstring>

namespace sim {

namespace {

// Opcodes after the start bit.
constexpr uint32_t kOpExtended = 0;  // EWEN, EWDS, ERAL, WRAL by the two address bits that follow
constexpr uint32_t kOpWrite = 1;
constexpr uint32_t kOpRead = 2;
constexpr uint32_t kOpErase = 3;

}  // namespace

MicrowireEeprom::MicrowireEeprom(SimClock& clock, std::string filePath) : m_clock(clock) {
  m_bytes.fill(0xFF);
  if (!filePath.empty()) m_file.Open(filePath, m_bytes.data(), kBytes);
}

MicrowireEeprom::~MicrowireEeprom() {
  if (m_bEndScheduled) m_clock.Cancel(m_endEvent);
}

uint16_t MicrowireEeprom::PeekWord(uint32_t word) const {
  word %= kWords;
  return static_cast<uint16_t>(m_bytes[2 * word] | (m_bytes[2 * word + 1] << 8));
}

void MicrowireEeprom::LoadImage(const void* pData, uint32_t bytes) {
  if (bytes > kBytes) bytes = kBytes;
  std::memcpy(m_bytes.data(), pData, bytes);
  StoreFile(0, bytes);
}

// ---- pins ------------------------------------------------------------------

void MicrowireEeprom::SetLines(bool bCs, bool bSk, bool bDi) {
  if (m_pPower->PoweredOff()) return;
  if (bCs != m_bCs) {
    m_bCs = bCs;
    if (bCs) {
      OnCsRise();
    } else {
      OnCsFall();
    }
  }
  const bool bRise = bSk && !m_bSk;
  m_bSk = bSk;
  if (bRise && m_bCs) OnClockRise(bDi);
}

MicrowireEeprom::Pin MicrowireEeprom::DataOutPin() const {
  if (m_bAbsent || !m_bCs) return Pin::Floating;
  if (m_bStatusShown) return m_bProgramming ? Pin::Low : Pin::High;
  if (m_bDoDriven) return m_bDoLevel ? Pin::High : Pin::Low;
  return Pin::Floating;
}

bool MicrowireEeprom::DataOut() const {
  switch (DataOutPin()) {
    case Pin::Low: return false;
    case Pin::High: return true;
    case Pin::Floating: break;
  }
  return m_bFloatingHigh;
}

void MicrowireEeprom::OnCsRise() {
  m_phase = Phase::Idle;
  m_bDoDriven = false;
}

void MicrowireEeprom::OnCsFall() {
  const bool bProgrammingInstr = m_instr == Instr::Write || m_instr == Instr::Erase || m_instr == Instr::Eral ||
                                 m_instr == Instr::Wral;
  if (m_phase == Phase::Complete && bProgrammingInstr && m_bWriteEnabled && !m_bProgramming) StartProgramming();
  m_phase = Phase::Idle;
  m_instr = Instr::None;
  m_bDoDriven = false;
}

void MicrowireEeprom::OnClockRise(bool bDi) {
  if (m_bProgramming) return;  // the part takes no instruction while it programs
  const uint32_t bit = bDi ? 1u : 0u;
  switch (m_phase) {
    case Phase::Idle:
      if (bDi) {
        m_bStatusShown = false;
        m_phase = Phase::Opcode;
        m_bitsLeft = 2;
        m_shift = 0;
      }
      return;
    case Phase::Opcode:
      m_shift = (m_shift << 1) | bit;
      if (--m_bitsLeft == 0) {
        m_opcode = m_shift;
        m_phase = Phase::Address;
        m_bitsLeft = 8;
        m_shift = 0;
      }
      return;
    case Phase::Address:
      m_shift = (m_shift << 1) | bit;
      if (--m_bitsLeft == 0) {
        m_address = m_shift & 0xFFu;
        if (m_bUpperHalf) m_address |= 0x80u;
        DecodeAfterAddress();
      }
      return;
    case Phase::Data:
      m_shift = (m_shift << 1) | bit;
      if (--m_bitsLeft == 0) {
        m_data = static_cast<uint16_t>(m_shift);
        m_phase = Phase::Complete;
      }
      return;
    case Phase::Reading:
      m_bDoDriven = true;
      m_bDoLevel = ((m_readWord >> m_readBit) & 1u) != 0;
      if (--m_readBit < 0) {
        // Sequential read: the next word follows without a dummy bit.
        m_address = (m_address + 1) % kWords;
        m_readWord = PeekWord(m_address);
        m_readBit = 15;
      }
      return;
    case Phase::Complete:
      return;
  }
}

void MicrowireEeprom::DecodeAfterAddress() {
  m_shift = 0;
  switch (m_opcode) {
    case kOpRead:
      m_instr = Instr::Read;
      m_phase = Phase::Reading;
      m_readWord = PeekWord(m_address);
      m_readBit = 15;
      m_bDoDriven = true;  // the dummy 0
      m_bDoLevel = false;
      return;
    case kOpWrite:
      m_instr = Instr::Write;
      m_phase = Phase::Data;
      m_bitsLeft = 16;
      return;
    case kOpErase:
      m_instr = Instr::Erase;
      m_phase = Phase::Complete;
      return;
    case kOpExtended:
    default:
      break;
  }
  switch (m_address >> 6) {
    case 3:
      m_instr = Instr::Ewen;
      m_bWriteEnabled = true;
      m_phase = Phase::Complete;
      return;
    case 0:
      m_instr = Instr::Ewds;
      m_bWriteEnabled = false;
      m_phase = Phase::Complete;
      return;
    case 2:
      m_instr = Instr::Eral;
      m_phase = Phase::Complete;
      return;
    default:
      m_instr = Instr::Wral;
      m_phase = Phase::Data;
      m_bitsLeft = 16;
      return;
  }
}

// ---- programming -----------------------------------------------------------

void MicrowireEeprom::StartProgramming() {
  if (!m_pPower->CountWrite()) {
    // The power fails while the part programs: a word write had erased the
    // word before it programs it.
    if (m_pPower->Damage() == CutDamage::Partial && (m_instr == Instr::Write || m_instr == Instr::Erase)) {
      Store(m_address, 0xFFFFu);
    }
    m_pPower->Cut();
    return;
  }
  m_bProgramming = true;
  m_bStatusShown = true;
  m_progInstr = m_instr;
  m_progAddress = m_address;
  m_progData = m_data;
  ++m_programCycles;
  if (m_bNeverReady) {
    m_bHeld = true;
    return;
  }
  m_endEvent = m_clock.ScheduleIn(m_programTime, [this] {
    m_bEndScheduled = false;
    EndProgramming();
  });
  m_bEndScheduled = true;
}

void MicrowireEeprom::EndProgramming() {
  uint16_t wrong = 0;
  if (m_failCycles > 0) {
    --m_failCycles;
    wrong = m_failMask;
  }
  switch (m_progInstr) {
    case Instr::Write:
      Store(m_progAddress, static_cast<uint16_t>(m_progData ^ wrong));
      break;
    case Instr::Erase:
      Store(m_progAddress, static_cast<uint16_t>(0xFFFFu ^ wrong));
      break;
    case Instr::Eral:
    case Instr::Wral: {
      const uint16_t value = static_cast<uint16_t>((m_progInstr == Instr::Eral ? 0xFFFFu : m_progData) ^ wrong);
      for (uint32_t w = 0; w < kWords; ++w) {
        m_bytes[2 * w] = static_cast<uint8_t>(value);
        m_bytes[2 * w + 1] = static_cast<uint8_t>(value >> 8);
      }
      StoreFile(0, kBytes);
      break;
    }
    default:
      break;
  }
  m_bProgramming = false;
  if (m_onDataOut) m_onDataOut();
}

void MicrowireEeprom::SetNeverReady(bool bNever) {
  m_bNeverReady = bNever;
  if (!bNever && m_bHeld) {
    m_bHeld = false;
    EndProgramming();
  }
}

void MicrowireEeprom::FailVerify(uint32_t cycles, uint16_t xorMask) {
  m_failCycles = cycles;
  m_failMask = xorMask;
}

void MicrowireEeprom::Store(uint32_t word, uint16_t value) {
  m_bytes[2 * word] = static_cast<uint8_t>(value);
  m_bytes[2 * word + 1] = static_cast<uint8_t>(value >> 8);
  StoreFile(2 * word, 2);
}

void MicrowireEeprom::StoreFile(uint32_t offset, uint32_t bytes) { m_file.Store(m_bytes.data(), offset, bytes); }

}  // namespace sim

#include "sim/memory/nor_flash.h"

#include <cstring>

namespace sim {

namespace {

constexpr uint8_t kCmdReset = 0xF0;
constexpr uint8_t kCmdUnlock1 = 0xAA;
constexpr uint8_t kCmdUnlock2 = 0x55;
constexpr uint8_t kCmdProgram = 0xA0;
constexpr uint8_t kCmdEraseSetup = 0x80;
constexpr uint8_t kCmdSectorErase = 0x30;
constexpr uint8_t kCmdChipErase = 0x10;
constexpr uint32_t kUnlockAddr1 = 0x555;  // word addresses, bits A10-A0
constexpr uint32_t kUnlockAddr2 = 0x2AA;

constexpr uint16_t kDq7 = 0x80;
constexpr uint16_t kDq6 = 0x40;
constexpr uint16_t kDq5 = 0x20;
constexpr uint16_t kDq3 = 0x08;
constexpr uint16_t kDq2 = 0x04;

}  // namespace

NorFlash::NorFlash(SimClock& clock, std::string filePath) : m_clock(clock) {
  if (!filePath.empty()) m_array = m_file.Map(filePath, kBytes, 0xFF);
  if (m_array == nullptr) {
    // No file, or one that cannot be used: the part starts erased, in memory.
    m_ownArray = std::make_unique<HostPages>(kBytes);
    m_array = m_ownArray->data();
    std::memset(m_array, 0xFF, kBytes);
  }
}

NorFlash::~NorFlash() {
  if (m_bEndScheduled) m_clock.Cancel(m_endEvent);
}

uint32_t NorFlash::SectorStart(uint32_t offset) {
  offset &= kBytes - 1;
  return offset >= kBootSectorsOffset ? offset & ~(kBootSectorBytes - 1) : offset & ~(kSectorBytes - 1);
}

uint32_t NorFlash::SectorSize(uint32_t offset) {
  return (offset & (kBytes - 1)) >= kBootSectorsOffset ? kBootSectorBytes : kSectorBytes;
}

uint16_t NorFlash::PeekHalf(uint32_t offset) const {
  offset &= (kBytes - 1) & ~1u;
  return static_cast<uint16_t>(m_array[offset] | (m_array[offset + 1] << 8));
}

// ---- bus cycles ----------------------------------------------------------

uint32_t NorFlash::Read(uint32_t offset, uint32_t width) {
  if (PoweredOff()) return 0xFFFFFFFFu;
  switch (width) {
    case 1: {
      const uint16_t half = ReadCycle(offset & ~1u);
      return (offset & 1u) != 0 ? half >> 8 : half & 0xFFu;
    }
    case 4: {
      const uint32_t low = ReadCycle(offset & ~1u);
      const uint32_t high = ReadCycle((offset & ~1u) + 2);
      return low | (high << 16);
    }
    default:
      return ReadCycle(offset & ~1u);
  }
}

void NorFlash::Write(uint32_t offset, uint32_t width, uint32_t value) {
  if (PoweredOff()) return;
  switch (width) {
    case 1: {
      // The byte on its own lane, the other lane high.
      const uint16_t byte = static_cast<uint16_t>(value & 0xFFu);
      WriteCycle(offset & ~1u, (offset & 1u) != 0 ? static_cast<uint16_t>((byte << 8) | 0x00FFu)
                                                 : static_cast<uint16_t>(0xFF00u | byte));
      break;
    }
    case 4:
      WriteCycle(offset & ~1u, static_cast<uint16_t>(value));
      if (!PoweredOff()) WriteCycle((offset & ~1u) + 2, static_cast<uint16_t>(value >> 16));
      break;
    default:
      WriteCycle(offset & ~1u, static_cast<uint16_t>(value));
      break;
  }
}

uint16_t NorFlash::ReadCycle(uint32_t offset) {
  offset &= kBytes - 1;
  if (m_state == State::Working || m_state == State::Exceeded) return StatusWord(offset);
  return PeekHalf(offset);
}

bool NorFlash::InOperationRange(uint32_t offset) const {
  return offset >= m_opFirst && offset - m_opFirst < m_opBytes;
}

uint16_t NorFlash::StatusWord(uint32_t offset) {
  uint16_t status = 0;
  if (m_op == Op::Program) {
    status |= static_cast<uint16_t>(~m_opData & kDq7);
  } else {
    status |= kDq3;
    if (InOperationRange(offset)) {
      if (m_bToggle2) status |= kDq2;
      m_bToggle2 = !m_bToggle2;
    }
  }
  if (m_bToggle) status |= kDq6;
  m_bToggle = !m_bToggle;
  if (m_state == State::Exceeded) status |= kDq5;
  return status;
}

void NorFlash::WriteCycle(uint32_t offset, uint16_t data) {
  offset &= kBytes - 1;
  const uint8_t cmd = static_cast<uint8_t>(data & 0xFFu);
  const uint32_t wordAddr = (offset >> 1) & 0x7FFu;
  switch (m_state) {
    case State::Working:
      // The embedded algorithm ignores the bus until it ends.
      return;
    case State::Exceeded:
      if (cmd == kCmdReset) {
        m_state = State::Read;
        m_op = Op::None;
      }
      return;
    case State::Read:
      if (cmd == kCmdUnlock1 && wordAddr == kUnlockAddr1) m_state = State::Unlock1;
      return;
    case State::Unlock1:
      m_state = (cmd == kCmdUnlock2 && wordAddr == kUnlockAddr2) ? State::Unlock2 : State::Read;
      return;
    case State::Unlock2:
      if (wordAddr == kUnlockAddr1 && cmd == kCmdProgram) {
        m_state = State::ProgramSetup;
      } else if (wordAddr == kUnlockAddr1 && cmd == kCmdEraseSetup) {
        m_state = State::EraseSetup;
      } else {
        m_state = State::Read;
      }
      return;
    case State::ProgramSetup:
      StartProgram(offset, data);
      return;
    case State::EraseSetup:
      m_state = (cmd == kCmdUnlock1 && wordAddr == kUnlockAddr1) ? State::EraseUnlock1 : State::Read;
      return;
    case State::EraseUnlock1:
      m_state = (cmd == kCmdUnlock2 && wordAddr == kUnlockAddr2) ? State::EraseUnlock2 : State::Read;
      return;
    case State::EraseUnlock2:
      if (cmd == kCmdSectorErase) {
        StartErase(SectorStart(offset), SectorSize(offset), Op::SectorErase);
      } else if (cmd == kCmdChipErase && wordAddr == kUnlockAddr1) {
        StartErase(0, kBytes, Op::ChipErase);
      } else {
        m_state = State::Read;
      }
      return;
  }
}

// ---- operations ----------------------------------------------------------

void NorFlash::StartProgram(uint32_t offset, uint16_t data) {
  m_op = Op::Program;
  m_opFirst = offset;
  m_opBytes = 2;
  m_opData = data;
  const auto fail = m_programFail.find(offset);
  const uint16_t stuck = fail != m_programFail.end() ? fail->second : 0;
  m_bOpFails = static_cast<uint16_t>(PeekHalf(offset) & (data | stuck)) != data;
  m_state = State::Working;
  if (!CountOperationOrCut()) return;
  ScheduleEnd(m_bOpFails ? m_timing.wordProgramLimit : m_timing.wordProgram);
}

void NorFlash::StartErase(uint32_t first, uint32_t bytes, Op op) {
  m_op = op;
  m_opFirst = first;
  m_opBytes = bytes;
  m_opData = 0xFFFF;
  m_bOpFails = false;
  for (auto it = m_eraseFail.lower_bound(first); it != m_eraseFail.end() && it->first - first < bytes; ++it) {
    if ((it->second & ~PeekHalf(it->first) & 0xFFFFu) != 0) m_bOpFails = true;
  }
  m_state = State::Working;
  if (!CountOperationOrCut()) return;
  const uint32_t sectors = op == Op::ChipErase ? kSectorCount : 1;
  ScheduleEnd((m_bOpFails ? m_timing.sectorEraseLimit : m_timing.sectorErase) * sectors);
}

bool NorFlash::CountOperationOrCut() {
  ++m_operations;
  if (m_pPower->CountWrite()) return true;
  // The power fails while this operation runs.
  if (m_pPower->Damage() == CutDamage::Partial) {
    if (m_op == Op::Program) {
      SetHalf(m_opFirst, static_cast<uint16_t>(PeekHalf(m_opFirst) & (m_opData | 0xFF00u)));
    } else {
      EraseRange(m_opFirst, m_opBytes / 2);
    }
  }
  m_state = State::Read;
  m_op = Op::None;
  m_pPower->Cut();
  return false;
}

Nanos NorFlash::Scaled(Nanos duration) const {
  return static_cast<Nanos>(static_cast<double>(duration) * m_scale);
}

void NorFlash::ScheduleEnd(Nanos duration) {
  if (m_bStuck) {
    m_bHeldByStuck = true;
    return;
  }
  m_endEvent = m_clock.ScheduleIn(Scaled(duration), [this] {
    m_bEndScheduled = false;
    EndOperation();
  });
  m_bEndScheduled = true;
}

void NorFlash::EndOperation() {
  if (m_op == Op::Program) {
    const auto fail = m_programFail.find(m_opFirst);
    const uint16_t stuck = fail != m_programFail.end() ? fail->second : 0;
    SetHalf(m_opFirst, static_cast<uint16_t>(PeekHalf(m_opFirst) & (m_opData | stuck)));
  } else if (m_op == Op::SectorErase || m_op == Op::ChipErase) {
    EraseRange(m_opFirst, m_opBytes);
  }
  if (m_bOpFails) {
    m_state = State::Exceeded;
  } else {
    m_state = State::Read;
    m_op = Op::None;
  }
}

// Every bit of the range becomes 1, except the bits that fail to erase,
// which keep what they held.
void NorFlash::EraseRange(uint32_t first, uint32_t bytes) {
  std::vector<std::pair<uint32_t, uint16_t>> kept;
  for (auto it = m_eraseFail.lower_bound(first); it != m_eraseFail.end() && it->first - first < bytes; ++it) {
    kept.emplace_back(it->first, static_cast<uint16_t>(PeekHalf(it->first) | static_cast<uint16_t>(~it->second)));
  }
  std::memset(m_array + first, 0xFF, bytes);
  for (const auto& [offset, value] : kept) {
    m_array[offset] = static_cast<uint8_t>(value);
    m_array[offset + 1] = static_cast<uint8_t>(value >> 8);
  }
}

void NorFlash::SetStuckBusy(bool bStuck) {
  m_bStuck = bStuck;
  if (!bStuck && m_bHeldByStuck) {
    m_bHeldByStuck = false;
    ScheduleEnd(0);
  }
}

void NorFlash::SetProgramFailBits(uint32_t offset, uint16_t mask) {
  offset &= (kBytes - 1) & ~1u;
  if (mask == 0) {
    m_programFail.erase(offset);
  } else {
    m_programFail[offset] = mask;
  }
}

void NorFlash::SetEraseFailBits(uint32_t offset, uint16_t mask) {
  offset &= (kBytes - 1) & ~1u;
  if (mask == 0) {
    m_eraseFail.erase(offset);
  } else {
    m_eraseFail[offset] = mask;
  }
}

// ---- the array and its file ----------------------------------------------

void NorFlash::SetHalf(uint32_t offset, uint16_t value) {
  m_array[offset] = static_cast<uint8_t>(value);
  m_array[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void NorFlash::LoadImage(uint32_t offset, const void* pData, uint32_t bytes) {
  if (offset >= kBytes || bytes > kBytes - offset) return;
  std::memcpy(m_array + offset, pData, bytes);
}

}  // namespace sim

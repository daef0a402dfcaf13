#include "sim/fpga/tag_reader_chip.h"

namespace sim {

namespace {

constexpr uint8_t kCommandBit = 0x80;
constexpr uint8_t kReadBit = 0x40;
constexpr uint8_t kContinuousBit = 0x20;
constexpr uint8_t kRegisterMask = 0x1F;

constexpr uint8_t kResetFifo = 0x0F;
constexpr uint8_t kTransmitNoCrc = 0x10;
constexpr uint8_t kTransmitCrc = 0x11;

constexpr uint8_t kInventory = 0x01;
constexpr uint8_t kReadSingle = 0x20;
constexpr uint8_t kWriteSingle = 0x21;
constexpr uint8_t kLockBlock = 0x22;
constexpr uint8_t kSecurityStatus = 0x2C;

constexpr uint8_t kErrorFlag = 0x01;
constexpr uint8_t kErrorBlock = 0x10;
constexpr uint8_t kErrorLocked = 0x11;
constexpr uint8_t kErrorWriteLocked = 0x12;

std::vector<uint8_t> Error(uint8_t code) { return {kErrorFlag, code}; }

uint8_t FifoStatus(size_t answerBytes) {
  if (answerBytes == 0) return 0;
  return static_cast<uint8_t>(0x20u | ((answerBytes - 1) & 0x0Fu) | (answerBytes > 8 ? 0x40u : 0u));
}

}  // namespace

void TagReaderChip::TakeFrame(const std::vector<uint8_t>& bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t address = bytes[i++];
    if ((address & kCommandBit) != 0) {
      Command(address & kRegisterMask);
    } else if ((address & kReadBit) != 0) {
      // A read in a written frame: the chip's answer is not taken.
      continue;
    } else if ((address & kContinuousBit) != 0) {
      uint32_t reg = address & kRegisterMask;
      for (; i < bytes.size(); ++i) {
        WriteRegister(reg, bytes[i]);
        if (reg < kFifo) ++reg;
      }
    } else if (i < bytes.size()) {
      WriteRegister(address & kRegisterMask, bytes[i++]);
    }
  }
  if (m_bTransmit) Transmit();
}

std::vector<uint8_t> TagReaderChip::Answer(uint8_t ucAddress, uint32_t count) {
  std::vector<uint8_t> out;
  uint32_t reg = ucAddress & kRegisterMask;
  for (uint32_t k = 0; k < count; ++k) {
    out.push_back(ReadRegister(reg));
    if ((ucAddress & kContinuousBit) != 0 && reg < kFifo) ++reg;
  }
  return out;
}

void TagReaderChip::Command(uint8_t code) {
  switch (code) {
    case kResetFifo:
      m_fifo.clear();
      m_fifoRead = 0;
      m_regs[kFifoStatus] = 0;
      break;
    case kTransmitNoCrc:
    case kTransmitCrc:
      m_bTransmit = true;
      break;
    default:
      break;
  }
}

void TagReaderChip::WriteRegister(uint32_t reg, uint8_t value) {
  if (reg == kFifo) {
    m_fifo.push_back(value);
  } else if (reg != kIrqStatus && reg != kFifoStatus) {
    m_regs[reg] = value;
  }
}

uint8_t TagReaderChip::ReadRegister(uint32_t reg) {
  if (reg != kFifo) return m_regs[reg];
  return m_fifoRead < m_fifo.size() ? m_fifo[m_fifoRead++] : 0;
}

void TagReaderChip::Transmit() {
  m_bTransmit = false;
  const uint32_t length = ((static_cast<uint32_t>(m_regs[kTxLength1]) << 8) | m_regs[kTxLength2]) >> 4;
  std::vector<uint8_t> request(m_fifo.begin() + static_cast<std::ptrdiff_t>(m_fifoRead), m_fifo.end());
  if (request.size() > length) request.resize(length);
  m_fifo.clear();
  m_fifoRead = 0;
  m_requests.push_back(request);
  const std::vector<uint8_t> answer = m_bTagPresent ? TagAnswer(request) : std::vector<uint8_t>{};
  m_regs[kFifoStatus] = FifoStatus(answer.size());
  if (answer.empty()) return;
  m_fifo.push_back(static_cast<uint8_t>(answer.size()));
  m_fifo.insert(m_fifo.end(), answer.begin(), answer.end());
}

std::vector<uint8_t> TagReaderChip::TagAnswer(const std::vector<uint8_t>& request) {
  if (request.size() < 2) return {};
  const uint8_t command = request[1];
  if (command == kInventory) {
    std::vector<uint8_t> answer = {0x00, m_dsfid};
    answer.insert(answer.end(), m_uid.begin(), m_uid.end());
    return answer;
  }
  if (request.size() < 3) return {};
  const uint32_t block = request[2];
  switch (command) {
    case kReadSingle: {
      if (block >= kBlocks) return Error(kErrorBlock);
      std::vector<uint8_t> answer = {0x00};
      answer.insert(answer.end(), m_blocks[block].begin(), m_blocks[block].end());
      return answer;
    }
    case kWriteSingle:
      if (request.size() < 3 + kBlockBytes) return {};
      if (block >= kBlocks) return Error(kErrorBlock);
      if (m_locked[block]) return Error(kErrorWriteLocked);
      for (uint32_t b = 0; b < kBlockBytes; ++b) m_blocks[block][b] = request[3 + b];
      return {0x00};
    case kLockBlock:
      if (block >= kBlocks) return Error(kErrorBlock);
      if (m_locked[block]) return Error(kErrorLocked);
      m_locked[block] = true;
      return {0x00};
    case kSecurityStatus: {
      if (request.size() < 4) return {};
      const uint32_t count = request[3] + 1u;
      if (block + count > kBlocks) return Error(kErrorBlock);
      std::vector<uint8_t> answer = {0x00};
      for (uint32_t b = block; b < block + count; ++b) answer.push_back(m_locked[b] ? 1 : 0);
      return answer;
    }
    default:
      return {};
  }
}

}  // namespace sim

#include "sim/fpga/tag_bridge.h"

#include <cstdio>
#include <string>

#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"

namespace sim {

namespace {

constexpr uint16_t kModeWrite = 0x0006;
constexpr uint16_t kModeCommand = 0x000E;
constexpr uint16_t kModeRead = 0x000A;
constexpr uint16_t kFlags = TagBridge::kDone | TagBridge::kReplyReady;

bool IsRx(uint32_t offset) { return offset >= TagBridge::kRxWords && offset < TagBridge::kRxWords + TagBridge::kRxBytes; }

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace

TagBridge::TagBridge(Board& board, FpgaConfigPort& config, FpgaMainBlock& main) : m_board(board) {
  main.MapSubBlock(kFirst, kLast, *this);
  config.AddModeObserver([this](bool) { Reset(); });
}

void TagBridge::Reset() {
  if (m_event != 0) m_board.Clock().Cancel(m_event);
  m_event = 0;
  m_regs.fill(0);
}

bool TagBridge::CheckWidth(uint32_t offset, uint32_t width, const char* what) {
  if (width == 2) return true;
  m_board.ReportFault("tag bridge: " + std::to_string(width) + "-byte " + what + " at " + Hex(offset));
  return false;
}

uint32_t TagBridge::Read(uint32_t offset, uint32_t width) {
  if (!CheckWidth(offset, width, "read")) return 0;
  return m_regs[Index(offset)];
}

void TagBridge::Write(uint32_t offset, uint32_t width, uint32_t value) {
  if (!CheckWidth(offset, width, "write")) return;
  const uint16_t half = static_cast<uint16_t>(value);
  if (IsRx(offset)) {
    m_board.ReportFault("tag bridge: write to receive word " + Hex(offset));
  } else if (offset == kStatus) {
    WriteStatus(half);
  } else {
    m_regs[Index(offset)] = half;
  }
}

void TagBridge::WriteStatus(uint16_t value) {
  uint16_t& status = m_regs[Index(kStatus)];
  const bool bStart = (value & kStart) != 0 && (status & kStart) == 0;
  status = static_cast<uint16_t>((value & ~kFlags) | (status & value & kFlags));
  if (bStart) Start();
}

uint8_t TagBridge::TxByte(uint32_t index) const {
  const uint16_t word = m_regs[Index(kTxWords + 2 * (index / 2))];
  return static_cast<uint8_t>((index & 1u) != 0 ? word >> 8 : word);
}

void TagBridge::Start() {
  if (m_event != 0) {
    m_board.ReportFault("tag bridge: start while a transfer runs");
    return;
  }
  const uint16_t modeBits = m_regs[Index(kMode)] & kModeMask;
  Transfer t;
  t.start = m_board.Clock().Now();
  t.length = m_regs[Index(kTxLength)];
  switch (modeBits) {
    case kModeWrite: t.mode = Mode::Write; break;
    case kModeCommand: t.mode = Mode::Command; break;
    case kModeRead: t.mode = Mode::Read; break;
    default:
      m_board.ReportFault("tag bridge: start in mode " + Hex(m_regs[Index(kMode)]));
      return;
  }
  const uint32_t limit = t.mode == Mode::Read ? kRxBytes : kTxBytes;
  if (t.length > limit) {
    m_board.ReportFault("tag bridge: length " + std::to_string(t.length) + " beyond the " + std::to_string(limit) +
                        " bytes of its window");
    return;
  }
  const uint32_t sent = t.mode == Mode::Read ? 1 : t.length;
  for (uint32_t i = 0; i < sent; ++i) t.sent.push_back(TxByte(i));
  uint16_t& status = m_regs[Index(kStatus)];
  status = static_cast<uint16_t>(status & ~kFlags);
  const uint32_t wireBytes = sent + (t.mode == Mode::Read ? t.length : 0);
  m_transfers.push_back(std::move(t));
  m_event = m_board.Clock().ScheduleIn(kSetupTime + kByteTime * wireBytes, [this] { End(); });
}

void TagBridge::End() {
  m_event = 0;
  Transfer& t = m_transfers.back();
  if (t.mode == Mode::Read) {
    t.received = m_bChipPresent ? m_chip.Answer(t.sent[0], t.length) : std::vector<uint8_t>(t.length, 0xFF);
    for (uint32_t w = 0; w < kRxBytes / 2; ++w) {
      const uint32_t lo = 2 * w, hi = 2 * w + 1;
      if (lo >= t.length) break;
      m_regs[Index(kRxWords + 2 * w)] =
          static_cast<uint16_t>(t.received[lo] | (hi < t.length ? t.received[hi] << 8 : 0));
    }
  } else if (m_bChipPresent) {
    m_chip.TakeFrame(t.sent);
  }
  if (m_bChipPresent) {
    uint16_t& status = m_regs[Index(kStatus)];
    status = static_cast<uint16_t>(status | kDone | (t.mode == Mode::Write ? 0 : kReplyReady));
  }
  if (m_observer) m_observer(t);
}

}  // namespace sim

// A stub of the board's ISO 15693 tag-reader chip with one tag in its field,
// as the FPGA's tag bridge (tag_bridge.h) reaches it over its serial port.
//
// The first byte of every frame addresses the chip: bits 0-4 a register,
// bit 5 continuous access (the register number advances with each byte, and
// stays at the FIFO, 31), bit 6 read, bit 7 a direct command (bits 0-4 its
// code). A written frame is a sequence of such address bytes, each followed
// by its data bytes. The chip keeps registers 0-30 as written, except:
//   12  interrupt status: reads clean (0) unless a test sets another value
//   28  FIFO status of the last answer: bits 0-3 the answer's length - 1,
//       bit 5 an answer arrived, bit 6 the answer is longer than 8 bytes
//       (0x69 after an inventory, 0x24 after a block read or a four-block
//       security-status read); 0 after a FIFO reset or without an answer
//   31  the FIFO: reading takes its next byte (0 once empty), writing
//       appends
// Direct commands: 0x0F resets the FIFO; 0x10 and 0x11 (transmit without
// and with CRC) send a request once the frame has ended: as many FIFO bytes
// as registers 29/30 give (bits 4-15 of 29 << 8 | 30). Every other command
// does nothing (0x14, the end-of-frame pulse that a write with the option
// flag needs, included).
//
// The tag answers inventory (0x01), read single block (0x20), write single
// block (0x21), lock block (0x22) and get multiple block security status
// (0x2C; one byte per block, 1 when locked); blocks 0-63 of 4 bytes, an
// error answer (flags 0x01, code 0x10 for a block past 63, 0x11 for a lock
// of a locked block, 0x12 for a write to one). Its answer lands in the FIFO
// after one header byte that holds the answer's length.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class TagReaderChip {
 public:
  static constexpr uint32_t kRegisters = 32;
  static constexpr uint32_t kIrqStatus = 12, kFifoStatus = 28, kTxLength1 = 29, kTxLength2 = 30, kFifo = 31;
  static constexpr uint32_t kBlocks = 64;
  static constexpr uint32_t kBlockBytes = 4;
  static constexpr uint32_t kUidBytes = 8;
  using Block = std::array<uint8_t, kBlockBytes>;
  using Uid = std::array<uint8_t, kUidBytes>;
  // Bytes in the order the tag sends them (least significant first).
  static constexpr Uid kDefaultUid = {0x5A, 0x3C, 0x21, 0x04, 0x61, 0x4B, 0x07, 0xE0};

  // ---- the serial port, driven by the bridge ----
  // A frame the chip takes: register writes and direct commands.
  void TakeFrame(const std::vector<uint8_t>& bytes);
  // A read started by the address byte: count bytes from the register (and
  // the ones after it when continuous).
  std::vector<uint8_t> Answer(uint8_t ucAddress, uint32_t count);

  // ---- switches and observation, for tests ----
  void SetTagPresent(bool bPresent) { m_bTagPresent = bPresent; }
  void SetIrqStatus(uint8_t value) { m_regs[kIrqStatus] = value; }
  void SetUid(const Uid& uid) { m_uid = uid; }
  void SetBlock(uint32_t block, const Block& data) { m_blocks[block % kBlocks] = data; }
  const Block& GetBlock(uint32_t block) const { return m_blocks[block % kBlocks]; }
  bool Locked(uint32_t block) const { return m_locked[block % kBlocks]; }
  uint8_t Register(uint32_t reg) const { return m_regs[reg % kRegisters]; }
  // The ISO 15693 requests the tag was sent, in order.
  const std::vector<std::vector<uint8_t>>& Requests() const { return m_requests; }

 private:
  void Command(uint8_t code);
  void WriteRegister(uint32_t reg, uint8_t value);
  uint8_t ReadRegister(uint32_t reg);
  void Transmit();
  // The tag's answer to a request; empty when it stays silent.
  std::vector<uint8_t> TagAnswer(const std::vector<uint8_t>& request);

  std::array<uint8_t, kRegisters> m_regs{};
  std::vector<uint8_t> m_fifo;
  size_t m_fifoRead = 0;
  bool m_bTransmit = false;
  bool m_bTagPresent = true;
  Uid m_uid = kDefaultUid;
  uint8_t m_dsfid = 0;
  std::array<Block, kBlocks> m_blocks{};
  std::array<bool, kBlocks> m_locked{};
  std::vector<std::vector<uint8_t>> m_requests;
};

}  // namespace sim

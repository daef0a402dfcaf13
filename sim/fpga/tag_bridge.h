// The FPGA's serial bridge to the tag-reader chip, in the main register
// block (offsets 0xA2-0x22F of bank 0; the main block hands these accesses
// on), and the chip behind it (tag_reader_chip.h). 16-bit accesses only:
// another width is a board fault.
//
// Registers (offsets in bank 0):
//   0xA2  status and control: a write that raises bit 0 (start) starts a
//         transfer; bit 1 done and bit 3 reply ready are the bridge's: a
//         write can clear them but never set them, and a start clears both.
//         The other bits read back as written.
//   0xA4  transmit length in bytes
//   0xA6  mode, bits 1-3: 011 a register write (the length's bytes go out),
//         111 a command frame (the same, the chip then answers into its
//         FIFO), 101 a read (the first transmit byte goes out, then the
//         length's bytes come in)
//   0x200-0x20B  the 12 transmit bytes, two per word, the earlier byte in
//         bits 0-7
//   0x210-0x22F  the 32 receive bytes, likewise; read only (a write is a
//         board fault). An odd count leaves the last word's high byte 0.
// Every other word of the range reads back what was last written.
//
// A transfer takes kSetupTime and kByteTime per byte on the wire; then done
// rises, and for a read or a command frame reply ready (the chip's
// interrupt) rises with it. A start while a transfer runs, a start in
// another mode, or a length beyond the transmit or receive bytes is a
// board fault and starts nothing. Without the chip (SetChipPresent(false))
// transfers run their time but done never rises, and a read brings 0xFF
// bytes. Each transfer is recorded: its mode, length and bytes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/board.h"
#include "sim/bus.h"
#include "sim/clock.h"
#include "sim/fpga/tag_reader_chip.h"

namespace sim {

class FpgaConfigPort;
class FpgaMainBlock;

class TagBridge final : public DeviceModel, public BusDevice {
 public:
  static constexpr uint32_t kFirst = 0xA2, kLast = 0x22F;
  static constexpr uint32_t kStatus = 0xA2, kTxLength = 0xA4, kMode = 0xA6, kTxWords = 0x200, kRxWords = 0x210;
  static constexpr uint32_t kTxBytes = 12, kRxBytes = 32;
  static constexpr uint16_t kStart = 0x0001, kDone = 0x0002, kReplyReady = 0x0008;
  static constexpr uint16_t kModeMask = 0x000E;
  static constexpr Nanos kSetupTime = 10 * kNsPerUs;
  static constexpr Nanos kByteTime = 4 * kNsPerUs;

  enum class Mode : uint8_t { Write, Command, Read };
  struct Transfer {
    Nanos start = 0;
    Mode mode = Mode::Write;
    uint32_t length = 0;
    std::vector<uint8_t> sent;      // a read sends its first transmit byte only
    std::vector<uint8_t> received;  // a read's bytes, once it ended
  };

  TagBridge(Board& board, FpgaConfigPort& config, FpgaMainBlock& main);
  TagBridge(const TagBridge&) = delete;
  TagBridge& operator=(const TagBridge&) = delete;

  // ---- switches and observation, for tests ----
  void SetChipPresent(bool bPresent) { m_bChipPresent = bPresent; }
  TagReaderChip& Chip() { return m_chip; }
  const std::vector<Transfer>& Transfers() const { return m_transfers; }
  // Called at the end of each transfer.
  void SetTransferObserver(std::function<void(const Transfer&)> fn) { m_observer = std::move(fn); }
  bool Busy() const { return m_event != 0; }
  uint16_t Register(uint32_t offset) const { return m_regs[Index(offset)]; }

  uint32_t Read(uint32_t offset, uint32_t width) override;
  void Write(uint32_t offset, uint32_t width, uint32_t value) override;
  uint32_t BusWidth() const override { return 2; }
  // The status changes only when a transfer ends.
  bool ReadIsPolled(uint32_t offset) const override { return offset == kStatus; }

 private:
  static constexpr uint32_t Index(uint32_t offset) { return ((offset - kFirst) / 2) % kWords; }
  static constexpr uint32_t kWords = (kLast - kFirst + 1) / 2;

  bool CheckWidth(uint32_t offset, uint32_t width, const char* what);
  void WriteStatus(uint16_t value);
  void Start();
  void End();
  uint8_t TxByte(uint32_t index) const;
  void Reset();

  Board& m_board;
  TagReaderChip m_chip;
  std::array<uint16_t, kWords> m_regs{};
  bool m_bChipPresent = true;
  SimClock::EventId m_event = 0;
  std::vector<Transfer> m_transfers;
  std::function<void(const Transfer&)> m_observer;
};

}  // namespace sim

// The virtual tag bridge as the bus reaches it through the FPGA's main
// block: its flags and transfer time, the receive words, the stub reader
// chip's registers and FIFO behind it, the no-chip switch, and the accesses
// that are board faults.
#include "sim/fpga/tag_bridge.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/soc/gpio.h"
#include "sim/testing/board_fixture.h"

namespace sim {
namespace {

using TB = TagBridge;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t kWriteMode = 0x0006, kCommandMode = 0x000E, kReadMode = 0x000A;

class TagBridgeModel : public ::testing::Test {
 protected:
  uint16_t Reg(uint32_t offset) { return static_cast<uint16_t>(main.Read(offset, 2)); }
  void Reg(uint32_t offset, uint16_t value) { main.Write(offset, 2, value); }
  // Loads the bytes, sets length and mode and raises start, as the driver
  // does (start cleared first).
  void Start(const Bytes& tx, uint16_t mode, uint32_t length) {
    for (size_t i = 0; i < tx.size(); i += 2) {
      Reg(TB::kTxWords + static_cast<uint32_t>(i), static_cast<uint16_t>(tx[i] | (i + 1 < tx.size() ? tx[i + 1] << 8 : 0)));
    }
    Reg(TB::kTxLength, static_cast<uint16_t>(length));
    Reg(TB::kMode, mode);
    Reg(TB::kStatus, static_cast<uint16_t>(Reg(TB::kStatus) & ~0x0103u));
    Reg(TB::kStatus, static_cast<uint16_t>(Reg(TB::kStatus) | TB::kStart));
  }
  void Exchange(const Bytes& tx, uint16_t mode, uint32_t length) {
    Start(tx, mode, length);
    RunBoardFor(board, Ms(1));
  }
  Bytes ReadChip(uint8_t address, uint32_t count) {
    Exchange({address}, kReadMode, count);
    Bytes out;
    for (uint32_t i = 0; i < count; ++i) {
      const uint16_t word = Reg(TB::kRxWords + (i & ~1u));
      out.push_back(static_cast<uint8_t>((i & 1u) != 0 ? word >> 8 : word));
    }
    return out;
  }
  static constexpr Nanos Ms(uint64_t ms) { return ms * kNsPerMs; }

  Board board{BoardConfig{}};
  GpioController& gpio = board.AddDevice<GpioController>(board);
  FpgaConfigPort& port = board.AddDevice<FpgaConfigPort>(board, gpio);
  FpgaMainBlock& main = board.AddDevice<FpgaMainBlock>(board, gpio, port, 3);
  TagBridge& bridge = board.AddDevice<TagBridge>(board, port, main);
};

TEST_F(TagBridgeModel, ATransferTakesItsWireTimeThenRaisesDoneAndForAReplyReplyReady) {
  EXPECT_TRUE(main.ReadIsPolled(TB::kStatus)) << "a wait on the flags may skip to the transfer's end";
  EXPECT_FALSE(main.ReadIsPolled(TB::kRxWords));
  // A register write: two bytes on the wire.
  Start({0x07, 0x2F}, kWriteMode, 2);
  EXPECT_TRUE(bridge.Busy());
  RunBoardFor(board, TB::kSetupTime + 2 * TB::kByteTime - 1);
  EXPECT_EQ(Reg(TB::kStatus) & (TB::kDone | TB::kReplyReady), 0);
  RunBoardFor(board, 1);
  EXPECT_EQ(Reg(TB::kStatus) & (TB::kDone | TB::kReplyReady), TB::kDone);
  EXPECT_EQ(bridge.Chip().Register(7), 0x2F);
  // A write cannot raise the flags; it can clear them; a start clears both.
  Reg(TB::kStatus, 0x010A);
  EXPECT_EQ(Reg(TB::kStatus), 0x0102);
  Reg(TB::kStatus, 0);
  EXPECT_EQ(Reg(TB::kStatus), 0);
  // A read: the address byte out, three bytes in; both flags.
  EXPECT_EQ(ReadChip(0x67, 3), (Bytes{0x2F, 0x00, 0x00}));
  EXPECT_EQ(Reg(TB::kStatus) & (TB::kDone | TB::kReplyReady), TB::kDone | TB::kReplyReady);
  EXPECT_EQ(Reg(TB::kRxWords + 2) >> 8, 0) << "an odd count leaves the last high byte 0";
  ASSERT_EQ(bridge.Transfers().size(), 2u);
  const TB::Transfer& t = bridge.Transfers()[1];
  EXPECT_EQ(t.mode, TB::Mode::Read);
  EXPECT_EQ(t.length, 3u);
  EXPECT_EQ(t.sent, Bytes{0x67});
  EXPECT_EQ(t.received, (Bytes{0x2F, 0x00, 0x00}));
  EXPECT_TRUE(board.Faults().empty());
}

// The stub chip behind it: an inventory frame sends the request from the
// FIFO, and the tag's answer comes back behind one length byte with the
// FIFO status the driver expects; the FIFO reset and the IRQ status.
TEST_F(TagBridgeModel, TheStubChipAnswersTagFramesThroughItsFifo) {
  TagReaderChip& chip = bridge.Chip();
  Exchange({0x8F, 0x91, 0x3D, 0x00, 0x30, 0x26, 0x01, 0x00}, kCommandMode, 8);
  EXPECT_EQ(Reg(TB::kStatus) & TB::kReplyReady, TB::kReplyReady);
  ASSERT_EQ(chip.Requests().size(), 1u);
  EXPECT_EQ(chip.Requests()[0], (Bytes{0x26, 0x01, 0x00}));
  EXPECT_EQ(ReadChip(0x6C, 1), Bytes{0x00}) << "interrupt status clean";
  EXPECT_EQ(ReadChip(0x7C, 1), Bytes{0x69});
  Bytes expected = {10, 0x00, 0x00};
  expected.insert(expected.end(), TagReaderChip::kDefaultUid.begin(), TagReaderChip::kDefaultUid.end());
  expected.push_back(0x00);  // the FIFO is empty
  EXPECT_EQ(ReadChip(0x7F, 12), expected);

  struct Case {
    const char* name;
    Bytes request;
    uint8_t fifoStatus;
    Bytes fifo;
  };
  chip.SetBlock(5, {1, 2, 3, 4});
  const Case cases[] = {
      {"read block 5", {0x02, 0x20, 5}, 0x24, {5, 0x00, 1, 2, 3, 4}},
      {"write block 6", {0x42, 0x21, 6, 9, 8, 7, 6}, 0x20, {1, 0x00}},
      {"lock block 6", {0x40, 0x22, 6}, 0x20, {1, 0x00}},
      {"write the locked block", {0x42, 0x21, 6, 0, 0, 0, 0}, 0x21, {2, 0x01, 0x12}},
      {"lock it again", {0x40, 0x22, 6}, 0x21, {2, 0x01, 0x11}},
      {"security status of blocks 4-7", {0x02, 0x2C, 4, 3}, 0x24, {5, 0x00, 0, 0, 1, 0}},
      {"read past block 63", {0x02, 0x20, 64}, 0x21, {2, 0x01, 0x10}},
      {"a command the tag does not know", {0x02, 0x2B}, 0x00, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes frame = {0x8F, 0x91, 0x3D, 0x00, static_cast<uint8_t>(c.request.size() << 4)};
    frame.insert(frame.end(), c.request.begin(), c.request.end());
    Exchange(frame, kCommandMode, static_cast<uint32_t>(frame.size()));
    EXPECT_EQ(chip.Requests().back(), c.request);
    EXPECT_EQ(ReadChip(0x7C, 1), Bytes{c.fifoStatus});
    Bytes fifo = c.fifo;
    fifo.push_back(0);
    EXPECT_EQ(ReadChip(0x7F, static_cast<uint32_t>(fifo.size())), fifo);
  }
  EXPECT_EQ(chip.GetBlock(6), (TagReaderChip::Block{9, 8, 7, 6}));
  EXPECT_TRUE(chip.Locked(6));

  // A FIFO reset empties it; a test's interrupt status shows in register 12.
  chip.SetBlock(1, {0xAA, 0xBB, 0xCC, 0xDD});
  Exchange({0x8F, 0x91, 0x3D, 0x00, 0x30, 0x02, 0x20, 1}, kCommandMode, 8);
  Exchange({0x8F}, kCommandMode, 1);
  EXPECT_EQ(ReadChip(0x7C, 2), (Bytes{0x00, 0x00}));
  EXPECT_EQ(ReadChip(0x7F, 2), (Bytes{0x00, 0x00}));
  chip.SetIrqStatus(0x40);
  EXPECT_EQ(ReadChip(0x6C, 1), Bytes{0x40});
  // Without a tag in the field nothing answers.
  chip.SetTagPresent(false);
  Exchange({0x8F, 0x91, 0x3D, 0x00, 0x30, 0x26, 0x01, 0x00}, kCommandMode, 8);
  EXPECT_EQ(ReadChip(0x7C, 1), Bytes{0x00});
  EXPECT_TRUE(board.Faults().empty());
}

TEST_F(TagBridgeModel, WithoutTheChipDoneNeverRisesAndReadsBringOnes) {
  bridge.SetChipPresent(false);
  Exchange({0x00, 0x20}, kWriteMode, 2);
  EXPECT_FALSE(bridge.Busy()) << "the transfer itself ended";
  EXPECT_EQ(Reg(TB::kStatus) & (TB::kDone | TB::kReplyReady), 0);
  EXPECT_EQ(bridge.Chip().Register(0), 0);
  EXPECT_EQ(ReadChip(0x60, 2), (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(Reg(TB::kStatus) & (TB::kDone | TB::kReplyReady), 0);
  EXPECT_EQ(bridge.Transfers().size(), 2u);
  EXPECT_TRUE(board.Faults().empty());
}

TEST_F(TagBridgeModel, AccessesAndStartsTheLogicWouldNotTakeAreBoardFaults) {
  struct Case {
    const char* name;
    std::function<void()> act;
    const char* fault;
  };
  const Case cases[] = {
      {"a start while a transfer runs",
       [&] {
         Start({0x00, 0x20}, kWriteMode, 2);
         Start({0x01, 0x02}, kWriteMode, 2);
       },
       "start while a transfer runs"},
      {"a start in idle mode", [&] { Start({0x00}, 0x0002, 1); }, "start in mode 0x2"},
      {"a frame longer than the transmit bytes", [&] { Start({}, kCommandMode, 13); }, "length 13"},
      {"a read longer than the receive bytes", [&] { Start({0x7F}, kReadMode, 33); }, "length 33"},
      {"a write to a receive word", [&] { Reg(TB::kRxWords + 4, 1); }, "receive word 0x214"},
      {"a byte read", [&] { main.Read(TB::kStatus, 1); }, "1-byte read"},
      {"a word write", [&] { main.Write(TB::kTxWords, 4, 0); }, "4-byte write"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t before = board.Faults().size();
    const size_t transfers = bridge.Transfers().size();
    c.act();
    ASSERT_EQ(board.Faults().size(), before + 1);
    EXPECT_NE(board.Faults().back().find(c.fault), std::string::npos) << board.Faults().back();
    RunBoardFor(board, Ms(1));
    EXPECT_LE(bridge.Transfers().size(), transfers + 1) << "the refused start started nothing";
  }
}

}  // namespace
}  // namespace sim

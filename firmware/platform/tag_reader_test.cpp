// The tag-reader driver on the virtual board, against the FPGA's tag bridge
// and its stub reader chip: the set-up's register writes and the bridge
// sequence of one transfer, the time-outs without a chip, the FIFO read's
// whole words, and the tag commands' frames, retries and results.
#include "firmware/platform/tag_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "firmware/platform/board_test_rig.h"
#include "sim/fpga/tag_bridge.h"

namespace {

using boardrig::Access;
using sim::TagBridge;
using sim::TagReaderChip;
using Bytes = std::vector<uint8_t>;
using Mode = TagBridge::Mode;

constexpr PhysAddr kBridgeFirst = 0x640000A2u;
constexpr PhysAddr kBridgeLast = 0x6400022Fu;

// A transfer as the tests compare it: mode, length, bytes sent.
struct Sent {
  Mode mode;
  uint32_t length;
  Bytes bytes;
  bool operator==(const Sent&) const = default;
};

void PrintTo(const Sent& s, std::ostream* os) {
  *os << (s.mode == Mode::Write ? "W" : s.mode == Mode::Command ? "C" : "R") << s.length << ":";
  for (uint8_t b : s.bytes) *os << " " << std::hex << static_cast<int>(b);
}

// The reads the commands make of chip registers 12, 28 and 30 and of the
// FIFO, and the frames for a tag.
Sent ReadIrq() { return {Mode::Read, 2, {0x6C}}; }
Sent ReadFifoStatus() { return {Mode::Read, 2, {0x7C}}; }
Sent ReadReg30() { return {Mode::Read, 2, {0x7E}}; }
Sent ReadFifo(uint32_t n) { return {Mode::Read, n, {0x7F}}; }
Sent Frame(Bytes request) {
  Bytes bytes = {0x8F, 0x91, 0x3D, 0x00, static_cast<uint8_t>(request.size() << 4)};
  bytes.insert(bytes.end(), request.begin(), request.end());
  return {Mode::Command, static_cast<uint32_t>(bytes.size()), bytes};
}
// A command with a reply whose FIFO status matched at once.
std::vector<Sent> ReplySequence(Bytes request, uint32_t first, uint32_t second) {
  return {Frame(std::move(request)), ReadIrq(), ReadFifoStatus(), ReadFifo(first), ReadFifo(second), ReadReg30()};
}

class TagReader : public boardrig::BoardTest {
 protected:
  // Boots a machine whose application runs `body` with the bus trace on;
  // `prepare` sets the bridge's switches first.
  void RunBody(std::function<void()> body, std::function<void(TagBridge&)> prepare = nullptr,
               sim::Nanos limit = boardrig::kRunLimit) {
    BootWith([body = std::move(body)] {
      sim::Board::Current().GetBus().Trace().Start();
      body();
      sim::Board::Current().GetBus().Trace().Stop();
    });
    if (prepare) prepare(Bridge());
    Run(limit);
  }
  TagBridge& Bridge() { return *TheBoard().FindDevice<TagBridge>(); }
  std::vector<Sent> Transfers(size_t from = 0) {
    std::vector<Sent> out;
    const auto& all = Bridge().Transfers();
    for (size_t i = from; i < all.size(); ++i) out.push_back({all[i].mode, all[i].length, all[i].sent});
    return out;
  }
};

sim::Nanos NowNs() { return sim::Board::Current().Clock().Now(); }

TEST_F(TagReader, InitWritesTheFourChipRegistersEachByOneBridgeTransfer) {
  static int32_t s_lResult = -7;
  RunBody([] { s_lResult = InitRFTag(); });
  EXPECT_EQ(s_lResult, 0);
  EXPECT_EQ(Transfers(), (std::vector<Sent>{{Mode::Write, 2, {0x00, 0x20}},
                                            {Mode::Write, 2, {0x01, 0x02}},
                                            {Mode::Write, 2, {0x07, 0x2F}},
                                            {Mode::Write, 2, {0x08, 0x1F}}}));
  TagReaderChip& chip = Bridge().Chip();
  EXPECT_EQ(chip.Register(0), 0x20);
  EXPECT_EQ(chip.Register(8), 0x1F);
  // One register write on the bus: the word, the length, the mode by
  // read-modify-write, then start cleared with done and bit 8, and raised.
  std::vector<Access> firstWrite = Traced(kBridgeFirst, kBridgeLast);
  firstWrite.resize(5);
  EXPECT_EQ(firstWrite, (std::vector<Access>{{true, 0x64000200u, 0x2000},
                                             {true, 0x640000A4u, 2},
                                             {true, 0x640000A6u, 0x0006},
                                             {true, 0x640000A2u, 0x0000},
                                             {true, 0x640000A2u, 0x0001}}));
}

// Without the chip no transfer is ever done: each register write gives up
// after 10 ms of settling and 1000 ms of waiting, a register read reads 255,
// a FIFO read and a command fail at their first wait.
TEST_F(TagReader, WithoutTheChipEveryWaitEndsAfterItsSecond) {
  static int32_t s_lInit = 7, s_lFifo = 7, s_lInventory = 7;
  static uint32_t s_ulRegister = 7;
  static sim::Nanos s_aTimes[5];
  static uint8_t s_aucUid[TAG_UID_BYTES];
  RunBody(
      [] {
        s_aTimes[0] = NowNs();
        s_lInit = InitRFTag();
        s_aTimes[1] = NowNs();
        s_ulRegister = TagReadRegister(TAG_CHIP_IRQ_STATUS);
        s_aTimes[2] = NowNs();
        uint8_t aucFifo[4];
        s_lFifo = TagReadFifo(aucFifo, 3);
        s_aTimes[3] = NowNs();
        std::memset(s_aucUid, 0xEE, sizeof s_aucUid);
        s_lInventory = TagInventory(s_aucUid);
        s_aTimes[4] = NowNs();
      },
      [](TagBridge& bridge) { bridge.SetChipPresent(false); }, testsupport::Ms(10000));
  EXPECT_EQ(s_lInit, -1);
  EXPECT_EQ(s_ulRegister, 255u);
  EXPECT_EQ(s_lFifo, -1);
  EXPECT_EQ(s_lInventory, -1);
  // Each of the two soft-timer waits of a transfer counts whole system
  // ticks, so it may end up to a tick short of its milliseconds.
  const uint32_t kCalls[4] = {4, 1, 1, 1};
  for (uint32_t i = 0; i < 4; ++i) {
    const sim::Nanos spent = s_aTimes[i + 1] - s_aTimes[i];
    EXPECT_GE(spent, kCalls[i] * testsupport::Ms(1010 - 2)) << i;
    EXPECT_LT(spent, kCalls[i] * testsupport::Ms(1010 + 2)) << i;
  }
  EXPECT_EQ(Transfers().size(), 7u) << "four writes, a read, a FIFO read, one frame";
  EXPECT_EQ(std::vector<uint8_t>(s_aucUid, s_aucUid + TAG_UID_BYTES), Bytes(TAG_UID_BYTES, 0xEE));
}

// A FIFO read of 3 bytes moves two whole words and stores four bytes.
TEST_F(TagReader, AnOddFifoReadStoresItsLastWordWhole) {
  static uint8_t s_aucBuffer[6];
  static int32_t s_lResult = 7;
  RunBody([] {
    for (uint32_t b : {0xA1u, 0xA2u, 0xA3u, 0xA4u}) TagWriteRegister(TAG_CHIP_FIFO, b);
    std::memset(s_aucBuffer, 0xEE, sizeof s_aucBuffer);
    sim::Board::Current().GetBus().Trace().Clear();
    s_lResult = TagReadFifo(s_aucBuffer, 3);
  });
  EXPECT_EQ(s_lResult, 0);
  EXPECT_EQ(Bytes(s_aucBuffer, s_aucBuffer + 6), (Bytes{0xA1, 0xA2, 0xA3, 0x00, 0xEE, 0xEE}));
  EXPECT_EQ(Traced(0x64000210u, 0x6400022Fu, sim::BusTrace::Kind::Both),
            (std::vector<Access>{{false, 0x64000210u, 0xA2A1}, {false, 0x64000212u, 0x00A3}}));
  EXPECT_EQ(Transfers(4), (std::vector<Sent>{ReadFifo(3)}));
}

TEST_F(TagReader, InventoryReturnsTheUidOfTheTagInTheField) {
  static int32_t s_lResult = 7;
  static uint8_t s_aucUid[TAG_UID_BYTES + 2];
  static const TagReaderChip::Uid kUid = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x04, 0xE0};
  RunBody([] {
    std::memset(s_aucUid, 0xEE, sizeof s_aucUid);
    s_lResult = TagInventory(s_aucUid);
  }, [](TagBridge& bridge) { bridge.Chip().SetUid(kUid); });
  EXPECT_EQ(s_lResult, 0);
  Bytes expected(kUid.begin(), kUid.end());
  expected.insert(expected.end(), {0xEE, 0xEE});
  EXPECT_EQ(Bytes(s_aucUid, s_aucUid + sizeof s_aucUid), expected);
  EXPECT_EQ(Transfers(), ReplySequence({0x26, 0x01, 0x00}, 3, 9));
  ASSERT_FALSE(Transfers().empty());
  EXPECT_EQ(Transfers()[0].bytes, (Bytes{0x8F, 0x91, 0x3D, 0x00, 0x30, 0x26, 0x01, 0x00}));
}

// Block read, write and lock against the stub tag; the security status of
// the four-block request shows the lock.
TEST_F(TagReader, BlocksAreReadWrittenAndLocked) {
  static int32_t s_alResults[7];
  static uint8_t s_aucRead[TAG_BLOCK_BYTES], s_aucAfterLock[TAG_BLOCK_BYTES], s_aucStatus[TAG_BLOCK_BYTES];
  static uint8_t s_aucGroups[TAG_BLOCK_GROUPS * TAG_BLOCK_BYTES];
  static size_t s_aStart[6];
  RunBody(
      [] {
        const auto mark = [](size_t i) { s_aStart[i] = sim::Board::Current().FindDevice<TagBridge>()->Transfers().size(); };
        const uint8_t aucData[TAG_BLOCK_BYTES] = {0xC1, 0xC2, 0xC3, 0xC4};
        const uint8_t aucOther[TAG_BLOCK_BYTES] = {0, 0, 0, 0};
        mark(0);
        s_alResults[0] = TagReadBlock(5, s_aucRead);
        mark(1);
        s_alResults[1] = TagWriteBlock(9, aucData);
        mark(2);
        s_alResults[2] = TagLockBlock(9);
        mark(3);
        // The tag refuses the write in its answer, which the write does not
        // read: the block stays.
        s_alResults[3] = TagWriteBlock(9, aucOther);
        s_alResults[4] = TagReadBlock(9, s_aucAfterLock);
        mark(4);
        s_alResults[5] = TagReadMultipleBlocks(8, s_aucStatus);
        mark(5);
        s_alResults[6] = TagReadBlockGroups(s_aucGroups);
      },
      [](TagBridge& bridge) { bridge.Chip().SetBlock(5, {0x0A, 0x0B, 0x0C, 0x0D}); },
      testsupport::Ms(8000));
  EXPECT_EQ(std::vector<int32_t>(s_alResults, s_alResults + 7), std::vector<int32_t>(7, 0));
  EXPECT_EQ(Bytes(s_aucRead, s_aucRead + 4), (Bytes{0x0A, 0x0B, 0x0C, 0x0D}));
  EXPECT_EQ(Bytes(s_aucAfterLock, s_aucAfterLock + 4), (Bytes{0xC1, 0xC2, 0xC3, 0xC4}));
  TagReaderChip& chip = Bridge().Chip();
  EXPECT_EQ(chip.GetBlock(9), (TagReaderChip::Block{0xC1, 0xC2, 0xC3, 0xC4}));
  EXPECT_TRUE(chip.Locked(9));
  EXPECT_EQ(Bytes(s_aucStatus, s_aucStatus + 4), (Bytes{0, 1, 0, 0}));
  Bytes groups(TAG_BLOCK_GROUPS * TAG_BLOCK_BYTES, 0);
  groups[9] = 1;
  EXPECT_EQ(Bytes(s_aucGroups, s_aucGroups + sizeof s_aucGroups), groups);

  const std::vector<Sent> all = Transfers();
  const auto slice = [&](size_t i) {
    return std::vector<Sent>(all.begin() + static_cast<std::ptrdiff_t>(s_aStart[i]),
                             all.begin() + static_cast<std::ptrdiff_t>(s_aStart[i + 1]));
  };
  EXPECT_EQ(slice(0), ReplySequence({0x02, 0x20, 5}, 2, 5));
  EXPECT_EQ(slice(1), (std::vector<Sent>{Frame({0x42, 0x21, 9, 0xC1, 0xC2, 0xC3, 0xC4}), ReadIrq(),
                                         {Mode::Command, 3, {0x8F, 0x94, 0x00}}, ReadIrq()}));
  EXPECT_EQ(slice(2), (std::vector<Sent>{Frame({0x40, 0x22, 9}), ReadIrq()}));
  EXPECT_EQ(slice(4), ReplySequence({0x02, 0x2C, 8, 0x03}, 2, 5));
  EXPECT_EQ(all.size() - s_aStart[5], TAG_BLOCK_GROUPS * ReplySequence({}, 0, 0).size());
  std::vector<Bytes> groupRequests;
  for (size_t i = s_aStart[5]; i < all.size(); i += 6) groupRequests.push_back(all[i].bytes);
  EXPECT_EQ(groupRequests.back(), Frame({0x02, 0x2C, 60, 0x03}).bytes);
}

// A reply whose FIFO status is not the expected one is asked for again, ten
// times in all; an interrupt status that never reads clean fails at once.
TEST_F(TagReader, CommandsRetryAWrongAnswerAndGiveUpOnADirtyInterruptStatus) {
  static int32_t s_alResults[4];
  static size_t s_aStart[5];
  RunBody(
      [] {
        TagBridge& bridge = *sim::Board::Current().FindDevice<TagBridge>();
        uint8_t aucOut[TAG_UID_BYTES];
        s_aStart[0] = bridge.Transfers().size();
        // Block 64 is past the tag's last: its error answer leaves another
        // FIFO status.
        s_alResults[0] = TagReadBlock(64, aucOut);
        s_aStart[1] = bridge.Transfers().size();
        bridge.Chip().SetTagPresent(false);
        s_alResults[1] = TagInventory(aucOut);
        s_aStart[2] = bridge.Transfers().size();
        bridge.Chip().SetTagPresent(true);
        bridge.Chip().SetIrqStatus(0x01);
        s_alResults[2] = TagLockBlock(3);
        s_aStart[3] = bridge.Transfers().size();
        s_alResults[3] = TagInventory(aucOut);
        s_aStart[4] = bridge.Transfers().size();
      },
      nullptr, testsupport::Ms(8000));
  EXPECT_EQ(std::vector<int32_t>(s_alResults, s_alResults + 4), std::vector<int32_t>(4, -1));
  const std::vector<Sent> all = Transfers();
  std::vector<Sent> tenAttempts;
  for (int i = 0; i < 10; ++i) {
    for (const Sent& s : {Frame({0x02, 0x20, 64}), ReadIrq(), ReadFifoStatus()}) tenAttempts.push_back(s);
  }
  EXPECT_EQ(std::vector<Sent>(all.begin() + static_cast<std::ptrdiff_t>(s_aStart[0]),
                              all.begin() + static_cast<std::ptrdiff_t>(s_aStart[1])),
            tenAttempts);
  EXPECT_EQ(s_aStart[2] - s_aStart[1], 30u) << "no tag: ten attempts";
  std::vector<Sent> lockThenTenReads = {Frame({0x40, 0x22, 3})};
  for (int i = 0; i < 10; ++i) lockThenTenReads.push_back(ReadIrq());
  EXPECT_EQ(std::vector<Sent>(all.begin() + static_cast<std::ptrdiff_t>(s_aStart[2]),
                              all.begin() + static_cast<std::ptrdiff_t>(s_aStart[3])),
            lockThenTenReads);
  EXPECT_EQ(s_aStart[4] - s_aStart[3], 11u) << "one frame, ten status reads, no retry";
  EXPECT_TRUE(Bridge().Chip().Locked(3)) << "the tag locked the block; the chip's status alone failed the command";
}

// A write waits for the end-of-frame pulse's transfer and the interrupt
// status after it: a chip that reports an error there fails the write.
TEST_F(TagReader, AWriteFailsWhenTheChipReportsAnErrorAfterTheEndOfFrame) {
  static int32_t s_lResult = 7;
  RunBody([] {
    const uint8_t aucData[TAG_BLOCK_BYTES] = {1, 2, 3, 4};
    s_lResult = TagWriteBlock(2, aucData);
  }, [](TagBridge& bridge) {
    bridge.SetTransferObserver([&bridge](const TagBridge::Transfer& t) {
      if (t.sent.size() >= 2 && t.sent[1] == 0x94) bridge.Chip().SetIrqStatus(0x10);
    });
  });
  EXPECT_EQ(s_lResult, -1);
  EXPECT_EQ(Transfers().size(), 4u);
}

}  // namespace

#include "protocol/status_record.h"

#include <gtest/gtest.h>

#include "protocol/test_bytes.h"

namespace protocol {
namespace {

using test::Bytes;
using test::Encoded;
using test::Hex;

class ProtocolStatusRecordTest : public testing::Test {
 protected:
  ProtocolStatusRecordTest() {
    record_.errorClass = 0x06;
    record_.errorDetail = 0x03;
    record_.printerState = 0xE3;
    record_.auxStatus = 0x09;
    for (size_t i = 0; i < STATUS_COUNTER_ITEMS; ++i) {
      record_.counterItems[i] = 0x01000000u * static_cast<uint32_t>(i + 1) + static_cast<uint32_t>(i);
    }
    record_.paperRemain = 0x0163;
    for (size_t i = 0; i < STATUS_JOB_ITEMS; ++i) {
      record_.jobStatus[i] = static_cast<uint16_t>(kJobStatusItemWidth[i] == 1 ? 0x40 + i : 0x1100 + i);
    }
    record_.keyEnable = 1;
    for (size_t i = 0; i < STATUS_TONE_CURVE_ITEMS; ++i) record_.toneCurveFlags[i] = uint8_t(0x80 + i);
    record_.unitAssign[0] = 0x21;
    record_.unitAssign[1] = 0x22;
    record_.unitAssign[2] = 0x23;
    record_.printMode = 1;
  }

  Bytes RecordBytes() const {
    return Encoded([&](uint8_t* o, size_t c) { return EncodeStatusRecord(record_, o, c); });
  }
  Bytes ReplyBytes() const {
    return Encoded([&](uint8_t* o, size_t c) { return EncodeStatusReply(record_, o, c); });
  }

  StatusRecord record_{};
};

TEST_F(ProtocolStatusRecordTest, ItemsSitAtTheirOffsets) {
  const Bytes b = RecordBytes();
  ASSERT_EQ(b.size(), STATUS_RECORD_SIZE);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 4), Hex("06 03 E3 09"));
  EXPECT_EQ(Bytes(b.begin() + 4, b.begin() + 8), Hex("00 00 00 01"));     // item 16
  EXPECT_EQ(Bytes(b.begin() + 60, b.begin() + 64), Hex("0E 00 00 0F"));   // item 30
  EXPECT_EQ(Bytes(b.begin() + 64, b.begin() + 66), Hex("63 01"));         // item 31
  EXPECT_EQ(b[66], 0x40);                                                 // item 32
  EXPECT_EQ(Bytes(b.begin() + 67, b.begin() + 69), Hex("01 11"));         // item 33
  EXPECT_EQ(Bytes(b.begin() + 75, b.begin() + 77), Hex("05 11"));         // item 37
  EXPECT_EQ(b[77], 0x46);                                                 // item 38
  EXPECT_EQ(Bytes(b.begin() + 78, b.begin() + 80), Hex("07 11"));         // item 39
  EXPECT_EQ(Bytes(b.begin() + 82, b.begin() + 84), Hex("09 11"));         // item 41
  EXPECT_EQ(b[84], 1);                                                    // item 51
  EXPECT_EQ(b[85], 0x80);                                                 // item 42
  EXPECT_EQ(b[92], 0x87);                                                 // item 49
  EXPECT_EQ(Bytes(b.begin() + 93, b.end()), Hex("00 00 21 22 23 01"));   // gap, 52-55
}

TEST_F(ProtocolStatusRecordTest, ReplyIsTheRecordFromByteFourThenFiveZeros) {
  const Bytes record = RecordBytes();
  Bytes expected(record.begin() + 4, record.end());
  expected.resize(STATUS_REPLY_SIZE, 0);
  EXPECT_EQ(ReplyBytes(), expected);
}

TEST_F(ProtocolStatusRecordTest, ByteItemsKeepTheLowByte) {
  record_.jobStatus[0] = 0x1234;
  EXPECT_EQ(RecordBytes()[66], 0x34);
}

TEST_F(ProtocolStatusRecordTest, RoundTripsThroughRecordAndReply) {
  const Bytes record = RecordBytes();
  StatusRecord back{};
  ASSERT_EQ(DecodeStatusRecord(record.data(), record.size(), &back), WIRE_OK);
  EXPECT_EQ(Encoded([&](uint8_t* o, size_t c) { return EncodeStatusRecord(back, o, c); }), record);

  // The host reads the first four fields from the reply header.
  const Bytes data = ReplyBytes();
  Bytes reply = Hex("01 00 06 03 00 00 09 E3 64 00");
  reply.insert(reply.end(), data.begin(), data.end());
  ReplyFrame frame{};
  ASSERT_EQ(DecodeReplyFrame(reply.data(), reply.size(), &frame), WIRE_OK);
  StatusRecord fromReply{};
  ASSERT_EQ(StatusFromReply(frame, &fromReply), WIRE_OK);
  EXPECT_EQ(Encoded([&](uint8_t* o, size_t c) { return EncodeStatusRecord(fromReply, o, c); }),
            record);
}

TEST_F(ProtocolStatusRecordTest, WrongLengthsAreReported) {
  const Bytes record = RecordBytes();
  StatusRecord r{};
  EXPECT_EQ(DecodeStatusRecord(record.data(), 98, &r), WIRE_ERR_SHORT_BUFFER);
  EXPECT_EQ(DecodeStatusRecord(record.data(), 0, &r), WIRE_ERR_SHORT_BUFFER);
  const Bytes reply = ReplyBytes();
  EXPECT_EQ(DecodeStatusReply(reply.data(), 95, &r), WIRE_ERR_SHORT_BUFFER);
  Bytes longer = reply;
  longer.push_back(0);
  EXPECT_EQ(DecodeStatusReply(longer.data(), longer.size(), &r), WIRE_ERR_LENGTH_MISMATCH);
  uint8_t out[99];
  EXPECT_EQ(EncodeStatusReply(record_, out, sizeof out), WIRE_ERR_NO_ROOM);
}

TEST(ProtocolStatusRecord, ClearedMirrorAnswersZeros) {
  const Bytes reply = Encoded([](uint8_t* o, size_t c) { return EncodeStatusReply(StatusRecord{}, o, c); });
  EXPECT_EQ(reply, Bytes(STATUS_REPLY_SIZE, 0));
}

}  // namespace
}  // namespace protocol

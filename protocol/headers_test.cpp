#include "protocol/headers.h"

#include <gtest/gtest.h>

#include "protocol/test_bytes.h"

namespace protocol {
namespace {

using test::Bytes;
using test::Encoded;
using test::Hex;

TEST(ProtocolCommandHeader, TravelsAsNumberGroupAndLittleEndianLength) {
  EXPECT_EQ(Encoded([](uint8_t* o, size_t c) {
              return EncodeCommandHeader(MakeCommandHeader(CMD_PRINT, 18), o, c);
            }),
            Hex("01 40 12 00"));
  EXPECT_EQ(Encoded([](uint8_t* o, size_t c) {
              return EncodeCommandPacket(CMD_GET_STATUS, nullptr, 0, o, c);
            }),
            Hex("01 00 00 00"));
  const Bytes wire = Hex("FF C0 34 12");
  CommandHeader h{};
  ASSERT_EQ(DecodeCommandHeader(wire.data(), wire.size(), &h), WIRE_OK);
  EXPECT_EQ(h.Code(), CMD_UNIVERSAL);
  EXPECT_EQ(h.payloadLength, 0x1234);
}

TEST(ProtocolReplyHeader, KindFollowsTheErrorCode) {
  // A refusal by state: errorCode is the state, status bytes from the mirror.
  EXPECT_EQ(Encoded([](uint8_t* o, size_t c) {
              return EncodeReplyHeader(MakeReplyHeader(0x36, 0x02, 0x07, 0x05, 0x36, 0x0104), o,
                                       c);
            }),
            Hex("02 36 02 07 00 00 05 36 04 01"));
  EXPECT_EQ(MakeReplyHeader(0, 0, 0, 0, PRINTER_STATE_READY, 100).replyKind, REPLY_OK);

  const Bytes wire = Hex("01 00 06 03 00 00 09 E5 64 00");
  ReplyHeader h{};
  ASSERT_EQ(DecodeReplyHeader(wire.data(), wire.size(), &h), WIRE_OK);
  EXPECT_EQ(h.replyKind, REPLY_OK);
  EXPECT_EQ(h.errorClass, 6);
  EXPECT_EQ(h.errorDetail, 3);
  EXPECT_EQ(h.auxStatus, 9);
  EXPECT_EQ(h.printerState, 0xE5);
  EXPECT_EQ(h.dataLength, 100);
}

struct PacketCase {
  const char* what;
  Bytes bytes;
  int32_t expected;
};

TEST(ProtocolDecodeCommandPacket, ReportsMalformedPacketsInThePrintersOrder) {
  Bytes tooLong = Hex("01 00 FD 01");  // length field 509: 513 bytes in all
  tooLong.resize(513, 0);
  const Bytes probe(kModelProbePacket.begin(), kModelProbePacket.end());
  const PacketCase cases[] = {
      {"nothing received", {}, WIRE_ERR_SHORT_BUFFER},
      {"header cut short", Hex("01 00 00"), WIRE_ERR_SHORT_BUFFER},
      {"payload shorter than its length field", Hex("07 40 05 00 41 E8 03 00"),
       WIRE_ERR_LENGTH_MISMATCH},
      {"byte beyond the length field", Hex("01 00 00 00 00"), WIRE_ERR_LENGTH_MISMATCH},
      {"the host's model probe", probe, WIRE_ERR_LENGTH_MISMATCH},
      {"longer than the packet buffer", tooLong, WIRE_ERR_TOO_LONG},
      {"code 0x0000", Hex("00 00 00 00"), WIRE_ERR_UNKNOWN_COMMAND},
      {"code 0xFFFF", Hex("FF FF 00 00"), WIRE_ERR_UNKNOWN_COMMAND},
      {"code 0xC007", Hex("07 C0 01 00 00"), WIRE_ERR_UNKNOWN_COMMAND},
      {"wake-up stand-by, named but unserved", Hex("0A 40 00 00"), WIRE_ERR_UNKNOWN_COMMAND},
      {"well-formed status request", Hex("01 00 00 00"), WIRE_OK},
      {"well-formed set parameter", Hex("07 40 05 00 41 E8 03 00 00"), WIRE_OK},
      // The host's job-status request carries no payload; the printer reads it.
      {"job status without job id", Hex("0C 40 00 00"), WIRE_OK},
  };
  for (const PacketCase& c : cases) {
    CommandPacket packet{};
    EXPECT_EQ(DecodeCommandPacket(c.bytes.data(), c.bytes.size(), &packet), c.expected) << c.what;
  }
}

TEST(ProtocolDecodeCommandPacket, UnknownCodeStillGivesTheHeaderForTheReply) {
  const Bytes wire = Hex("0A 40 02 00 11 22");
  CommandPacket packet{};
  ASSERT_EQ(DecodeCommandPacket(wire.data(), wire.size(), &packet), WIRE_ERR_UNKNOWN_COMMAND);
  EXPECT_EQ(packet.header.Code(), CMD_WAKEUP_STANDBY);
  ASSERT_NE(packet.info, nullptr);
  EXPECT_STREQ(packet.info->traceName, "Wake-up Stand-by Command");

  const Bytes good = Hex("05 00 01 00 41");
  ASSERT_EQ(DecodeCommandPacket(good.data(), good.size(), &packet), WIRE_OK);
  EXPECT_EQ(packet.info, FindCommand(CMD_GET_PARAMETER));
  ASSERT_EQ(packet.payloadLength, 1);
  EXPECT_EQ(packet.payload[0], 0x41);
}

TEST(ProtocolEncodeCommandPacket, RefusesWhatNoPacketCanHold) {
  uint8_t payload[509] = {};
  uint8_t out[600];
  EXPECT_EQ(EncodeCommandPacket(CMD_UNIVERSAL, payload, 509, out, sizeof out), WIRE_ERR_TOO_LONG);
  EXPECT_EQ(EncodeCommandPacket(CMD_UNIVERSAL, payload, 508, out, sizeof out), 512);
  EXPECT_EQ(EncodeCommandPacket(CMD_UNIVERSAL, payload, 10, out, 13), WIRE_ERR_NO_ROOM);
  EXPECT_EQ(EncodeCommandPacket(CMD_UNIVERSAL, nullptr, 10, out, sizeof out),
            WIRE_ERR_BAD_ARGUMENT);
}

TEST(ProtocolDecodeReplyFrame, InsistsOnTenPlusDataLengthBytes) {
  const struct {
    const char* what;
    Bytes bytes;
    int32_t expected;
  } cases[] = {
      {"header cut short", Hex("01 00 00 00 00 00 00 00 01"), WIRE_ERR_SHORT_BUFFER},
      {"data shorter than announced", Hex("01 00 00 00 00 00 00 00 02 00 AA"),
       WIRE_ERR_LENGTH_MISMATCH},
      {"data longer than announced", Hex("01 00 00 00 00 00 00 00 01 00 AA BB"),
       WIRE_ERR_LENGTH_MISMATCH},
      {"exact", Hex("01 00 00 00 00 00 00 00 02 00 AA BB"), WIRE_OK},
  };
  for (const auto& c : cases) {
    ReplyFrame frame{};
    EXPECT_EQ(DecodeReplyFrame(c.bytes.data(), c.bytes.size(), &frame), c.expected) << c.what;
  }
  const Bytes ok = Hex("02 01 00 00 00 00 00 00 01 00 07");
  ReplyFrame frame{};
  ASSERT_EQ(DecodeReplyFrame(ok.data(), ok.size(), &frame), WIRE_OK);
  EXPECT_EQ(frame.header.replyKind, REPLY_ERROR);
  EXPECT_EQ(frame.header.errorCode, REPLY_ERR_BAD_PARAMETER);
  ASSERT_EQ(frame.dataLength, 1);
  EXPECT_EQ(frame.data[0], 0x07);
}

TEST(ProtocolCheckReplyData, HoldsEachReplyToItsCommandsLength) {
  uint8_t data[256] = {};
  EXPECT_EQ(CheckReplyData(CMD_GET_STATUS, data, 100), WIRE_OK);
  EXPECT_EQ(CheckReplyData(CMD_GET_STATUS, data, 99), WIRE_ERR_SHORT_BUFFER);
  EXPECT_EQ(CheckReplyData(CMD_GET_STATUS, data, 101), WIRE_ERR_LENGTH_MISMATCH);
  EXPECT_EQ(CheckReplyData(CMD_FLASH_LED, data, 0), WIRE_OK);
  EXPECT_EQ(CheckReplyData(CMD_WAKEUP_STANDBY, data, 0), WIRE_OK);
  EXPECT_EQ(CheckReplyData(0x1234, data, 0), WIRE_ERR_UNKNOWN_COMMAND);

  // Universal: a count byte m, then m bytes.
  const Bytes universal = Hex("03 07 FF 00");
  EXPECT_EQ(CheckReplyData(CMD_UNIVERSAL, universal.data(), 4), WIRE_OK);
  EXPECT_EQ(CheckReplyData(CMD_UNIVERSAL, universal.data(), 3), WIRE_ERR_SHORT_BUFFER);
  EXPECT_EQ(CheckReplyData(CMD_UNIVERSAL, universal.data(), 0), WIRE_ERR_SHORT_BUFFER);
  data[0] = 250;
  EXPECT_EQ(CheckReplyData(CMD_UNIVERSAL, data, 251), WIRE_ERR_LENGTH_MISMATCH);
}

}  // namespace
}  // namespace protocol

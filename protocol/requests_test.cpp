#include "protocol/requests.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/test_bytes.h"

namespace protocol {
namespace {

using test::Bytes;
using test::Concat;
using test::Encoded;
using test::Hex;
using test::Text;

template <typename Request>
Bytes Packet(const Request& r) {
  return Encoded([&](uint8_t* o, size_t c) { return EncodeRequestPacket(r, o, c); });
}

template <typename Request>
Bytes Payload(const Request& r) {
  return Encoded([&](uint8_t* o, size_t c) { return EncodeRequest(r, o, c); });
}

// encode -> decode -> encode gives the same bytes; with every field set to a
// distinct non-zero value this catches a field the decoder drops or misplaces.
template <typename Request>
void ExpectRoundTrip(const Request& r) {
  const Bytes wire = Payload(r);
  Request back{};
  ASSERT_EQ(DecodeRequest(wire.data(), wire.size(), &back), WIRE_OK);
  EXPECT_EQ(Payload(back), wire);
}

PrintRequest SamplePrint() {
  PrintRequest r{};
  r.jobNumber = 0x11;
  r.hostArgument = 0x22;
  r.imageWidth = 0x0102;
  r.imageHeight = 0x0304;
  r.mediaMaxWidth = 0x0506;
  r.mediaMaxHeight = 0x0708;
  r.xOffset = 0x090A;
  r.yOffset = 0x0B0C;
  r.printOptionA = 0x0D;
  r.imageType = IMAGE_TYPE_ONE_BIT;
  r.printOptionB = 0x0F;
  return r;
}

SetupPrintJobRequest SampleSetup() {
  SetupPrintJobRequest r{};
  r.copies = 0x0203;
  r.unitRequest = JOB_IMAGE_COLOUR_L | JOB_IMAGE_COLOUR_R;
  r.finishOptions = 0x15;
  r.cutOffset1 = 0x0010;
  r.cutOffset2 = 0x0020;
  r.cutCount = 3;
  for (int i = 0; i < CUT_POSITIONS_MAX; ++i) r.cutPositions[i] = static_cast<uint16_t>(0x100 + i);
  r.firstUnitSelection = 2;
  r.printMode = PRINT_MODE_MULTI_UP;
  return r;
}

// --- Golden packets ---------------------------------------------------------

TEST(ProtocolRequestPackets, MatchTheBytesTheHostSends) {
  SetParameterRequest setParameter{0x41, 1000};
  EXPECT_EQ(Packet(setParameter), Hex("07 40 05 00 41 E8 03 00 00"));

  UpdateRequest update{};
  update.kind = UPDATE_KIND_MAIN;
  update.dataSize = 1000;
  EXPECT_EQ(Packet(update), Hex("04 C0 0A 00 01 00 00 00 00 00 E8 03 00 00"));

  EXPECT_EQ(Encoded([](uint8_t* o, size_t c) { return EncodeEmptyRequestPacket(CMD_GET_STATUS, o, c); }),
            Hex("01 00 00 00"));
  // kt_setDiagnostic(1, 5, 6) sends b and c as 0.
  EXPECT_EQ(Packet(SelfDiagnosisRequest{DIAG_AUTO_DIAGNOSIS, 0, 0}), Hex("01 C0 03 00 01 00 00"));
  EXPECT_EQ(Packet(CancelPrintJobRequest{7, 2}), Hex("02 40 02 00 07 02"));
  EXPECT_EQ(Packet(ResetRequest{RESET_KIND_PRINTER, 0}), Hex("04 40 02 00 03 00"));
  EXPECT_EQ(Packet(ReadToneCurveRequest{1, 8}), Hex("05 40 02 00 01 08"));
  EXPECT_EQ(Packet(GetFirmwareInfoRequest{FW_COMPONENT_TABLE}), Hex("03 C0 01 00 04"));
  EXPECT_EQ(Packet(GetPrinterIdStatusRequest{5}), Hex("07 00 01 00 05"));
  EXPECT_EQ(Packet(SetCutListRequest{{1, 0x0200, 3, 0xFFFF}}),
            Hex("09 40 08 00 01 00 00 02 03 00 FF FF"));
}

TEST(ProtocolRequestPackets, PrintPutsImageGeometryAtBytes3To17) {
  EXPECT_EQ(Packet(SamplePrint()),
            Hex("01 40 12 00  11 22 00  02 01 04 03 06 05 08 07 0A 09 0C 0B  0D 01 0F"));
}

TEST(ProtocolRequestPackets, SetupIsPaddedToSixtyBytes) {
  Bytes expected = Hex("0B 40 3C 00  03 02 05 15 10 00 20 00 03");
  for (int i = 0; i < CUT_POSITIONS_MAX; ++i) expected = Concat(expected, {uint8_t(i), 0x01});
  expected = Concat(expected, Hex("02 01"));
  expected.resize(4 + 60, 0);
  EXPECT_EQ(Packet(SampleSetup()), expected);
}

TEST(ProtocolRequestPackets, LaminateTextIsCutToTwentyCharacters) {
  SetLaminateStringRequest r{};
  r.itemNumber = 3;
  r.x = 0x0102;
  r.y = 0x0304;
  r.style1 = 1;
  r.style2 = 2;
  const std::string text = "ABCDEFGHIJKLMNOPQRSTUVWXY";  // 25 characters
  r.textLength = static_cast<uint8_t>(text.size());
  std::memcpy(r.text, text.data(), LAMINATE_TEXT_MAX);
  const Bytes expected = Concat(Hex("08 40 1C 00 03 02 01 04 03 01 02 14"), Text(text.substr(0, 20)));
  EXPECT_EQ(Packet(r), expected);

  // A printer that gets a length above 20 keeps 20.
  Bytes payload(expected.begin() + 4, expected.end());
  payload[7] = 25;
  SetLaminateStringRequest back{};
  ASSERT_EQ(DecodeRequest(payload.data(), payload.size(), &back), WIRE_OK);
  EXPECT_EQ(back.textLength, 20);
  EXPECT_EQ(std::string(back.text, 20), text.substr(0, 20));
}

// --- Where host and printer disagree on the length ----------------------------

TEST(ProtocolShortHostRequests, JobStatusTravelsWithoutJobIdAndReadsAsJobZero) {
  const Bytes packet = Packet(GetJobStatusRequest{9});
  EXPECT_EQ(packet, Hex("0C 40 00 00"));
  CommandPacket received{};
  ASSERT_EQ(DecodeCommandPacket(packet.data(), packet.size(), &received), WIRE_OK);
  GetJobStatusRequest r{0xEE};
  ASSERT_EQ(DecodeRequest(received.payload, received.payloadLength, &r), WIRE_OK);
  EXPECT_EQ(r.jobId, 0);  // the job printing next
}

TEST(ProtocolShortHostRequests, HeadEepromByteLandsOnTheUnitWithAddressZero) {
  const Bytes packet = Packet(ReadHeadEepromRequest{2, 0x55});
  EXPECT_EQ(packet, Hex("0A C0 01 00 02"));
  CommandPacket received{};
  ASSERT_EQ(DecodeCommandPacket(packet.data(), packet.size(), &received), WIRE_OK);
  ReadHeadEepromRequest r{};
  ASSERT_EQ(DecodeRequest(received.payload, received.payloadLength, &r), WIRE_OK);
  EXPECT_EQ(r.unit, 2);
  EXPECT_EQ(r.address, 0);
}

// --- Decoding never reads past the payload ------------------------------------

TEST(ProtocolRequestDecoders, ReadMissingBytesAsZeroNotWhatFollowsInMemory) {
  uint8_t buffer[64];
  std::memset(buffer, 0xAA, sizeof buffer);
  const Bytes head = Hex("00 00 00 B0 04");  // width only
  std::memcpy(buffer, head.data(), head.size());
  PrintRequest print{};
  ASSERT_EQ(DecodeRequest(buffer, head.size(), &print), WIRE_OK);
  EXPECT_EQ(print.imageWidth, 1200);
  EXPECT_EQ(print.imageHeight, 0);
  EXPECT_EQ(print.imageType, 0);
  EXPECT_EQ(print.printOptionB, 0);

  UpdateRequest update{};
  ASSERT_EQ(DecodeRequest(buffer, 8, &update), WIRE_OK);  // size cut after two bytes
  EXPECT_EQ(update.dataSize, 0xAAAAu);

  SetupPrintJobRequest setup{};
  ASSERT_EQ(DecodeRequest(nullptr, 0, &setup), WIRE_OK);
  EXPECT_EQ(setup.cutCount, 0);
}

TEST(ProtocolRequestDecoders, UniversalCountMustFitTheForwardedPayload) {
  uint8_t buffer[300];
  std::memset(buffer, 0xAA, sizeof buffer);
  UniversalRequest r{};

  buffer[0] = 250;  // 1 + 250 bytes cannot reach the application
  EXPECT_EQ(DecodeRequest(buffer, 250, &r), WIRE_ERR_BAD_VALUE);
  EXPECT_EQ(r.count, 0);

  buffer[0] = 3;
  buffer[1] = UNIVERSAL_READ_EEPROM;
  buffer[2] = 0x10;
  ASSERT_EQ(DecodeRequest(buffer, 3, &r), WIRE_OK);  // the third data byte is missing
  EXPECT_EQ(r.count, 3);
  EXPECT_EQ(r.data[0], UNIVERSAL_READ_EEPROM);
  EXPECT_EQ(r.data[1], 0x10);
  EXPECT_EQ(r.data[2], 0);

  UniversalRequest big{};
  big.count = 250;
  uint8_t out[512];
  EXPECT_EQ(EncodeRequest(big, out, sizeof out), WIRE_ERR_BAD_VALUE);
  big.count = 249;
  EXPECT_EQ(EncodeRequestPacket(big, out, sizeof out), 4 + 250);
  EXPECT_EQ(GetU16(out + 2), 250);
}

TEST(ProtocolRequestDecoders, EepromMaintenanceDataIsCappedAt248) {
  uint8_t buffer[300] = {};
  buffer[0] = 1;
  buffer[1] = 2;
  SetEepromMaintenanceRequest r{};
  ASSERT_EQ(DecodeRequest(buffer, sizeof buffer, &r), WIRE_OK);
  EXPECT_EQ(r.dataLength, EEPROM_MAINTENANCE_DATA_MAX);
  ASSERT_EQ(DecodeRequest(buffer, 1, &r), WIRE_OK);
  EXPECT_EQ(r.bytes[0], 1);
  EXPECT_EQ(r.bytes[1], 0);
  EXPECT_EQ(r.dataLength, 0);

  r.dataLength = 249;
  uint8_t out[512];
  EXPECT_EQ(EncodeRequest(r, out, sizeof out), WIRE_ERR_BAD_VALUE);
}

TEST(ProtocolRequestEncoders, RefuseATooSmallBuffer) {
  uint8_t out[17];
  EXPECT_EQ(EncodeRequest(SamplePrint(), out, sizeof out), WIRE_ERR_NO_ROOM);
  EXPECT_EQ(EncodeRequest(SamplePrint(), nullptr, 64), WIRE_ERR_BAD_ARGUMENT);
  EXPECT_EQ(EncodeRequestPacket(SampleSetup(), out, sizeof out), WIRE_ERR_NO_ROOM);
  uint8_t almost[4 + 59];  // the printer's 31 bytes fit, the host's 60 do not
  EXPECT_EQ(EncodeRequestPacket(SampleSetup(), almost, sizeof almost), WIRE_ERR_NO_ROOM);
}

// --- Round trips of every layout --------------------------------------------

TEST(ProtocolRequestRoundTrip, EveryLayout) {
  ExpectRoundTrip(SamplePrint());
  ExpectRoundTrip(CancelPrintJobRequest{0x12, 2});
  ExpectRoundTrip(ResetRequest{RESET_KIND_TONE_CURVE, 7});
  ExpectRoundTrip(ReadToneCurveRequest{2, 8});
  ExpectRoundTrip(OperationButtonRequest{1});
  ExpectRoundTrip(GetParameterRequest{0xF1});
  ExpectRoundTrip(SetParameterRequest{0x84, -2});
  ExpectRoundTrip(SetCutListRequest{{0x1234, 0x5678, 0x9ABC, 0xDEF0}});
  ExpectRoundTrip(SampleSetup());
  ExpectRoundTrip(GetJobStatusRequest{0x21});
  ExpectRoundTrip(JobImageControlRequest{1});
  ExpectRoundTrip(MaintenancePermissionRequest{{0x5A, 0xA5}});
  ExpectRoundTrip(SelfDiagnosisRequest{DIAG_FAN, 1, 2});
  ExpectRoundTrip(GetFirmwareInfoRequest{FW_COMPONENT_DSP});
  ExpectRoundTrip(UpdateRequest{UPDATE_KIND_LAMINATE_2, 3, 1, {4, 5, 6}, 8929536});
  ExpectRoundTrip(GetEepromMaintenanceRequest{{0x01, 0x80}});
  ExpectRoundTrip(ReadHeadEepromRequest{1, 0x80});
  ExpectRoundTrip(GetPrinterIdStatusRequest{0x33});

  SetLaminateStringRequest lami{12, 0x0708, 0x090A, 3, 4, 5, {}};
  std::memcpy(lami.text, "HELLO-WORLD-0123456", 19);
  ExpectRoundTrip(lami);
  SetSerialNoRequest serial{};
  std::memcpy(serial.serial, "A1234567", 8);
  ExpectRoundTrip(serial);
  SetEepromMaintenanceRequest eeprom{{7, 8}, 3, {9, 10, 11}};
  ExpectRoundTrip(eeprom);
  UniversalRequest universal{4, {UNIVERSAL_WRITE_EEPROM, 0x20, 0x5A, 0x01}};
  ExpectRoundTrip(universal);
}

TEST(ProtocolRequestRoundTrip, SignedParameterValuesKeepTheirSign) {
  EXPECT_EQ(Payload(SetParameterRequest{0x81, -1}), Hex("81 FF FF FF FF"));
  const Bytes wire = Hex("81 00 00 00 80");
  SetParameterRequest r{};
  ASSERT_EQ(DecodeRequest(wire.data(), wire.size(), &r), WIRE_OK);
  EXPECT_EQ(r.value, INT32_MIN);
}

TEST(ProtocolJobImageFlags, PackIntoAlternateBits) {
  const struct {
    uint8_t colour, oneBit, packed;
  } cases[] = {{0, 0, 0x00}, {1, 0, 0x01}, {2, 0, 0x04}, {3, 0, 0x05},
               {0, 1, 0x02}, {0, 2, 0x08}, {0, 3, 0x0A}, {1, 2, 0x09}, {3, 3, 0x0F}};
  for (const auto& c : cases) {
    EXPECT_EQ(PackJobImageFlags(c.colour, c.oneBit), c.packed);
    EXPECT_EQ(ColourFlagsOf(c.packed), c.colour);
    EXPECT_EQ(OneBitFlagsOf(c.packed), c.oneBit);
  }
  // The colour field names the colour images, the one-bit field the others.
  EXPECT_EQ(PackJobImageFlags(3, 0), JOB_IMAGE_COLOUR_L | JOB_IMAGE_COLOUR_R);
  EXPECT_EQ(PackJobImageFlags(0, 3), JOB_IMAGE_ONE_BIT_L | JOB_IMAGE_ONE_BIT_R);
}

}  // namespace
}  // namespace protocol

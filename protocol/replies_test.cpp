#include "protocol/replies.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/headers.h"
#include "protocol/test_bytes.h"

namespace protocol {
namespace {

using test::Bytes;
using test::Concat;
using test::Encoded;
using test::Hex;
using test::Text;

template <typename Reply>
Bytes Data(const Reply& r) {
  return Encoded([&](uint8_t* o, size_t c) { return EncodeReply(r, o, c); });
}

template <typename Reply>
void ExpectRoundTrip(const Reply& r) {
  const Bytes wire = Data(r);
  Reply back{};
  ASSERT_EQ(DecodeReply(wire.data(), wire.size(), &back), WIRE_OK);
  EXPECT_EQ(Data(back), wire);
}

// A decoder given one byte too few or too many reports it and reads nothing
// beyond what it was given.
template <typename Reply>
void ExpectExactLength() {
  uint8_t buffer[300] = {};
  Reply r{};
  EXPECT_EQ(DecodeReply(buffer, Reply::kSize - 1, &r), WIRE_ERR_SHORT_BUFFER);
  EXPECT_EQ(DecodeReply(buffer, Reply::kSize + 1, &r), WIRE_ERR_LENGTH_MISMATCH);
  EXPECT_EQ(DecodeReply(buffer, Reply::kSize, &r), WIRE_OK);
}

ErrorLogReply SampleErrorLog() {
  ErrorLogReply r{};
  r.count = 2;
  r.entries[0] = {0x05, 0x21, 0x00012345};
  r.entries[1] = {0x06, 0x03, 0x00000010};
  return r;
}

JobStatusReply SampleJobStatus() {
  JobStatusReply r{};
  r.jobId = 4;
  r.copies = 0x0102;
  r.receiveState = 0x05;
  r.cutCount = 2;
  r.cutPositions[0] = 12;
  r.cutPositions[1] = 0x05DC;
  r.cutPositions[9] = 0xBEEF;
  r.firstUnitSelection = 1;
  r.printMode = 1;
  return r;
}

FirmwareInfoRecord SampleFirmwareInfo() {
  FirmwareInfoRecord r{};
  std::memcpy(r.programName, "M7300MN ", 8);
  std::memcpy(r.programType, "MAIN PROGRAM    ", 16);
  std::memcpy(r.createDate, "2024/05/17", 10);
  r.versionMajor = 10;
  r.versionMinor = 2;
  r.imageChecksum = 0xA55A;
  return r;
}

// --- Golden data --------------------------------------------------------------

TEST(ProtocolReplyData, ErrorLogEntriesAreSixBytesNewestFirst) {
  Bytes expected = Hex("02  05 21 45 23 01 00  06 03 10 00 00 00");
  expected.resize(61, 0);
  EXPECT_EQ(Data(SampleErrorLog()), expected);
}

TEST(ProtocolReplyData, JobStatusLayout) {
  Bytes expected = Hex("04 02 01 05 00 00 00 00 02 0C 00 DC 05");
  expected.resize(9 + 18, 0);
  expected = Concat(expected, Hex("EF BE 01 01"));
  expected.resize(60, 0);
  EXPECT_EQ(Data(SampleJobStatus()), expected);
}

TEST(ProtocolReplyData, FirmwareInfoRecordLayout) {
  const Bytes expected = Concat(Text("M7300MN MAIN PROGRAM    2024/05/17"), Hex("0A 02 5A A5"));
  EXPECT_EQ(Data(SampleFirmwareInfo()), expected);
}

TEST(ProtocolReplyData, SmallReplies) {
  EXPECT_EQ(Data(PrintReply{2}), Hex("02"));
  EXPECT_EQ(Data(ReadToneCurveReply{TONE_CURVE_SIZE}), Hex("00 06"));
  EXPECT_EQ(Data(GetParameterReply{-3}), Hex("FD FF FF FF"));
  EXPECT_EQ(Data(PrinterIdStatusReply{3, 1, 2, 3, JOB_PHASE_LAST_COPY}),
            Hex("03 01 00 02 00 03 00 00 02"));
  EXPECT_EQ(Data(CountersReply{1, 2, 0x01020304, 4, 5, 0xFFFFFFFF}),
            Hex("01 00 00 00 02 00 00 00 04 03 02 01 04 00 00 00 05 00 00 00 FF FF FF FF"));
  EXPECT_EQ(Data(ExitTrayStatusReply{EXIT_TRAY_WITH_PRINT}), Hex("02 00 00 00"));
  EXPECT_EQ(Data(SetupPrintJobReply{7, {0x11, 0x22, 0x33}}), Hex("07 11 22 33"));
  EXPECT_EQ(Data(SelfDiagnosisReply{DIAG_ANALOG_SENSOR, 5, 0, 0x7F}), Hex("06 05 00 7F"));
  EXPECT_EQ(Data(ReadHeadEepromReply{0xC3}), Hex("C3"));
}

TEST(ProtocolReplyData, BufferStatusEntriesEndInAZeroByte) {
  BufferStatusReply r{};
  r.entries[0] = {1, 4, 2};
  r.entries[17] = {1, 0xFE, 0xFD};
  const Bytes data = Data(r);
  ASSERT_EQ(data.size(), 72u);
  EXPECT_EQ(Bytes(data.begin(), data.begin() + 4), Hex("01 04 02 00"));
  EXPECT_EQ(Bytes(data.begin() + 68, data.end()), Hex("01 FE FD 00"));
}

TEST(ProtocolReplyData, ErasedSerialNumberIsSentAsP0000000) {
  SerialNoReply erased{};
  std::memset(erased.serial, 0xFF, sizeof erased.serial);
  EXPECT_EQ(Data(erased), Text("P0000000"));
  SerialNoReply set{};
  std::memcpy(set.serial, "A1234567", 8);
  EXPECT_EQ(Data(set), Text("A1234567"));
}

TEST(ProtocolReplyData, UniversalCarriesItsCountFirst) {
  // A handler that answers 3 bytes yields dataLength 4: 03 and the three bytes.
  UniversalReply r{3, {UNIVERSAL_READ_EEPROM, 0, 0x5A}};
  const Bytes data = Data(r);
  EXPECT_EQ(data, Hex("03 F0 00 5A"));
  EXPECT_EQ(CheckReplyData(CMD_UNIVERSAL, data.data(), static_cast<uint16_t>(data.size())),
            WIRE_OK);

  UniversalReply unknown{2, {7, UNIVERSAL_RESULT_UNKNOWN}};
  EXPECT_EQ(Data(unknown), Hex("02 07 FF"));
}

// --- Malformed data -----------------------------------------------------------

TEST(ProtocolReplyDecoders, InsistOnTheExactLength) {
  ExpectExactLength<PrintReply>();
  ExpectExactLength<ReadToneCurveReply>();
  ExpectExactLength<ErrorLogReply>();
  ExpectExactLength<GetParameterReply>();
  ExpectExactLength<SerialNoReply>();
  ExpectExactLength<PrinterIdStatusReply>();
  ExpectExactLength<CountersReply>();
  ExpectExactLength<ExitTrayStatusReply>();
  ExpectExactLength<BufferStatusReply>();
  ExpectExactLength<SetupPrintJobReply>();
  ExpectExactLength<JobStatusReply>();
  ExpectExactLength<SelfDiagnosisReply>();
  ExpectExactLength<DiagnosisResultReply>();
  ExpectExactLength<FirmwareInfoRecord>();
  ExpectExactLength<ReadHeadEepromReply>();
}

TEST(ProtocolReplyDecoders, ErrorLogCountAboveTenIsReported) {
  Bytes wire = Data(SampleErrorLog());
  wire[0] = 11;
  ErrorLogReply r{};
  EXPECT_EQ(DecodeReply(wire.data(), wire.size(), &r), WIRE_ERR_BAD_VALUE);
  EXPECT_EQ(r.count, ERROR_LOG_ENTRIES_MAX);
  EXPECT_EQ(r.entries[0].totalCount, 0x00012345u);

  ErrorLogReply tooMany = SampleErrorLog();
  tooMany.count = 11;
  uint8_t out[64];
  EXPECT_EQ(EncodeReply(tooMany, out, sizeof out), WIRE_ERR_BAD_VALUE);
}

TEST(ProtocolReplyDecoders, UniversalLengthMustMatchItsCount) {
  UniversalReply r{};
  const struct {
    const char* what;
    Bytes bytes;
    int32_t expected;
  } cases[] = {
      {"empty", {}, WIRE_ERR_SHORT_BUFFER},
      {"count 3, two bytes", Hex("03 01 02"), WIRE_ERR_SHORT_BUFFER},
      {"count 1, two bytes", Hex("01 01 02"), WIRE_ERR_LENGTH_MISMATCH},
      {"count 250", Hex("FA"), WIRE_ERR_BAD_VALUE},
      {"count 0", Hex("00"), WIRE_OK},
      {"count 2", Hex("02 81 00"), WIRE_OK},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeReply(c.bytes.data(), c.bytes.size(), &r), c.expected) << c.what;
  }
  UniversalReply tooLong{};
  tooLong.length = 250;
  uint8_t out[300];
  EXPECT_EQ(EncodeReply(tooLong, out, sizeof out), WIRE_ERR_BAD_VALUE);
}

TEST(ProtocolReplyEncoders, RefuseATooSmallBuffer) {
  uint8_t out[60];
  EXPECT_EQ(EncodeReply(SampleErrorLog(), out, sizeof out), WIRE_ERR_NO_ROOM);
  EXPECT_EQ(EncodeReply(SampleJobStatus(), out, 59), WIRE_ERR_NO_ROOM);
  EXPECT_EQ(EncodeReply(PrintReply{1}, nullptr, 8), WIRE_ERR_BAD_ARGUMENT);
}

// --- Round trips --------------------------------------------------------------

TEST(ProtocolReplyRoundTrip, EveryLayout) {
  ExpectRoundTrip(PrintReply{5});
  ExpectRoundTrip(ReadToneCurveReply{TONE_CURVE_SIZE});
  ExpectRoundTrip(SampleErrorLog());
  ExpectRoundTrip(GetParameterReply{INT32_MIN});
  SerialNoReply serial{};
  std::memcpy(serial.serial, "Z9876543", 8);
  ExpectRoundTrip(serial);
  ExpectRoundTrip(PrinterIdStatusReply{9, 1, 2, 3, JOB_PHASE_PRINTING});
  ExpectRoundTrip(CountersReply{6, 5, 4, 3, 2, 1});
  ExpectRoundTrip(ExitTrayStatusReply{EXIT_TRAY_EMPTY});
  BufferStatusReply buffers{};
  for (uint8_t i = 0; i < BUFFER_STATUS_ENTRIES; ++i) buffers.entries[i] = {1, i, uint8_t(i + 1)};
  ExpectRoundTrip(buffers);
  ExpectRoundTrip(SetupPrintJobReply{1, {2, 3, 4}});
  ExpectRoundTrip(SampleJobStatus());
  ExpectRoundTrip(SelfDiagnosisReply{DIAG_SWITCH_SENSOR, 3, 1, 1});
  DiagnosisResultReply diagnosis{};
  for (size_t i = 0; i < DIAGNOSIS_RESULT_SIZE; ++i) diagnosis.results[i] = uint8_t(i * 7 + 1);
  ExpectRoundTrip(diagnosis);
  ExpectRoundTrip(SampleFirmwareInfo());
  ExpectRoundTrip(ReadHeadEepromReply{0x42});
  UniversalReply universal{};
  universal.length = UNIVERSAL_REPLY_DATA_MAX;
  for (size_t i = 0; i < UNIVERSAL_REPLY_DATA_MAX; ++i) universal.data[i] = uint8_t(i + 1);
  ExpectRoundTrip(universal);
}

}  // namespace
}  // namespace protocol

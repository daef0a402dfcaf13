// The cable's messages: what each side may send, and the printer's identity
// record list.
#include "sim/cable/cable_wire.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sim::cable {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(CableWire, AMessageKeepsEveryFieldLittleEndian) {
  const Bytes payload{1, 2, 3};
  const Bytes bytes = Encode(Kind::BulkOut, 0x01020304, 0x11121314, 0x21222324, 0x31323334, payload.data(),
                             payload.size(), kFlagZeroLengthPacket);
  ASSERT_EQ(bytes.size(), kHeaderSize + 3);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8), (Bytes{2, 1, 0, 0, 0x04, 0x03, 0x02, 0x01}));
  EXPECT_EQ(bytes[8], 0x14);
  EXPECT_EQ(bytes[19], 0x31);
  Message m;
  ASSERT_TRUE(Decode(bytes.data(), bytes.size(), &m));
  EXPECT_EQ(m.kind, Kind::BulkOut);
  EXPECT_EQ(m.flags, kFlagZeroLengthPacket);
  EXPECT_EQ(m.tag, 0x01020304u);
  EXPECT_EQ(m.arg0, 0x11121314u);
  EXPECT_EQ(m.arg1, 0x21222324u);
  EXPECT_EQ(m.arg2, 0x31323334u);
  EXPECT_EQ(m.payload, payload);
}

struct MalformedCase {
  const char* name;
  Bytes bytes;
};

Bytes WithPayload(Kind kind, size_t size, uint8_t flags = 0) {
  const Bytes payload(size, 0xEE);
  return Encode(kind, 1, 0, 0, 0, payload.data(), payload.size(), flags);
}

class CableWireMalformed : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(CableWireMalformed, IsRefused) {
  Message m;
  std::string why;
  EXPECT_FALSE(Decode(GetParam().bytes.data(), GetParam().bytes.size(), &m, &why));
  EXPECT_FALSE(why.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CableWireMalformed,
    ::testing::Values(MalformedCase{"ShortHeader", Bytes(kHeaderSize - 1, 0)},
                      MalformedCase{"UnknownKind", WithPayload(static_cast<Kind>(0x42), 0)},
                      MalformedCase{"ReservedBits", [] {
                                      Bytes b = Encode(Kind::Bye, 0);
                                      b[3] = 1;
                                      return b;
                                    }()},
                      MalformedCase{"PieceTooLong", WithPayload(Kind::BulkOut, kMaxPiece + 1)},
                      MalformedCase{"InPieceTooLong", WithPayload(Kind::InData, kMaxPiece + 1)},
                      MalformedCase{"ControlWithoutSetup", WithPayload(Kind::Control, 7)},
                      MalformedCase{"ControlDataTooLong", WithPayload(Kind::Control, 8 + kMaxPiece + 1)},
                      MalformedCase{"BulkInWithData", WithPayload(Kind::BulkIn, 1)},
                      MalformedCase{"ResultWithData", WithPayload(Kind::Result, 4)},
                      MalformedCase{"FlagOnAKindWithout", WithPayload(Kind::BulkIn, 0, kFlagZeroLengthPacket)},
                      MalformedCase{"IdentityTooLong", WithPayload(Kind::Identity, kMaxIdentityPayload + 1)}),
    [](const ::testing::TestParamInfo<MalformedCase>& p) { return std::string(p.param.name); });

TEST(CableWire, TheLongestMessagesOfEachKindPass) {
  Message m;
  for (const Bytes& b : {WithPayload(Kind::BulkOut, kMaxPiece), WithPayload(Kind::InData, kMaxPiece),
                         WithPayload(Kind::Control, 8 + kMaxPiece), WithPayload(Kind::Identity, kMaxIdentityPayload)}) {
    EXPECT_TRUE(Decode(b.data(), b.size(), &m));
    EXPECT_LE(b.size(), kMaxMessage);
  }
}

PrinterIdentity SampleIdentity() {
  PrinterIdentity id;
  id.bHighSpeed = true;
  id.address = 7;
  id.deviceDescriptor = Bytes(18, 1);
  id.configuration = Bytes(32, 2);
  id.qualifier = Bytes(10, 6);
  id.languageId = 0x0409;
  id.strings = {{1, {10, 3, 'M', 0, 'k', 0, 'r', 0, '1', 0}}, {3, {4, 3, 'S', 0}}};
  id.deviceId = {0, 9, 'C', 'L', 'S', ':', 'P', 'R', ';'};
  id.vendorId = 0x1234;
  id.productId = 0xABCD;
  id.serialNumber = "T7300001";
  id.manufacturer = "Maker";
  id.product = "Printer";
  id.deviceIdText = "CLS:PR;";
  id.bulkOutEndpoint = 0x02;
  id.bulkOutMaxPacket = 512;
  id.bulkInEndpoint = 0x81;
  id.bulkInMaxPacket = 512;
  id.port = "0123abcd";
  return id;
}

TEST(CableWire, TheIdentityCrossesWhole) {
  const PrinterIdentity id = SampleIdentity();
  PrinterIdentity back;
  ASSERT_TRUE(DecodeIdentity(EncodeIdentity(id), &back));
  EXPECT_EQ(back.bHighSpeed, id.bHighSpeed);
  EXPECT_EQ(back.address, id.address);
  EXPECT_EQ(back.deviceDescriptor, id.deviceDescriptor);
  EXPECT_EQ(back.configuration, id.configuration);
  EXPECT_EQ(back.qualifier, id.qualifier);
  EXPECT_EQ(back.languageId, id.languageId);
  EXPECT_EQ(back.strings, id.strings);
  EXPECT_EQ(back.deviceId, id.deviceId);
  EXPECT_EQ(back.vendorId, id.vendorId);
  EXPECT_EQ(back.productId, id.productId);
  EXPECT_EQ(back.serialNumber, id.serialNumber);
  EXPECT_EQ(back.manufacturer, id.manufacturer);
  EXPECT_EQ(back.product, id.product);
  EXPECT_EQ(back.deviceIdText, id.deviceIdText);
  EXPECT_EQ(back.bulkOutEndpoint, id.bulkOutEndpoint);
  EXPECT_EQ(back.bulkOutMaxPacket, id.bulkOutMaxPacket);
  EXPECT_EQ(back.bulkInEndpoint, id.bulkInEndpoint);
  EXPECT_EQ(back.bulkInMaxPacket, id.bulkInMaxPacket);
  EXPECT_EQ(back.port, id.port);
}

TEST(CableWire, AnIdentityRecordOfALaterVersionIsSkippedAndACutOneRefused) {
  Bytes payload = EncodeIdentity(SampleIdentity());
  const Bytes later{0xF0, 3, 0, 'x', 'y', 'z'};
  payload.insert(payload.begin(), later.begin(), later.end());
  PrinterIdentity back;
  ASSERT_TRUE(DecodeIdentity(payload, &back));
  EXPECT_EQ(back.serialNumber, "T7300001");

  payload.pop_back();  // the last record is now shorter than its length says
  EXPECT_FALSE(DecodeIdentity(payload, &back));
  // A fixed-size record of the wrong size.
  EXPECT_FALSE(DecodeIdentity(Bytes{static_cast<uint8_t>(IdentityRecord::VendorId), 1, 0, 0x12}, &back));
}

}  // namespace
}  // namespace sim::cable

#include "protocol/identity.h"

#include <gtest/gtest.h>

#include <string>

#include "protocol/test_bytes.h"

namespace protocol {
namespace {

using test::Bytes;
using test::Concat;
using test::Encoded;
using test::Text;

TEST(ProtocolModelNameReply, IdentifiersAsUpperCaseHexThenTheModelText) {
  const Bytes data =
      Encoded([](uint8_t* o, size_t c) { return EncodeReply(MakeModelNameReply(), o, c); });
  EXPECT_EQ(data, Concat(Text("FB077300"), Text("Brental Orvik Company ORVIK M7300 Photo Printer")));

  ModelNameReply r{};
  ASSERT_EQ(DecodeReply(data.data(), data.size(), &r), WIRE_OK);
  EXPECT_EQ(r.vendorId, USB_VENDOR_ID);
  EXPECT_EQ(r.productId, USB_PRODUCT_ID);
  EXPECT_EQ(std::string(r.text, MODEL_NAME_TEXT_LENGTH), MODEL_NAME_TEXT);
}

TEST(ProtocolModelNameReply, DecoderReportsBadHexAndWrongLength) {
  Bytes data = Encoded([](uint8_t* o, size_t c) { return EncodeReply(MakeModelNameReply(), o, c); });
  ModelNameReply r{};
  EXPECT_EQ(DecodeReply(data.data(), 54, &r), WIRE_ERR_SHORT_BUFFER);
  data[5] = 'G';
  EXPECT_EQ(DecodeReply(data.data(), data.size(), &r), WIRE_ERR_BAD_VALUE);
  data[5] = 'c';  // lower case is read too
  ASSERT_EQ(DecodeReply(data.data(), data.size(), &r), WIRE_OK);
  EXPECT_EQ(r.productId, 0x7C00);
}

TEST(ProtocolDeviceIdRecord, CarriesTheSerialAfterSnAndABigEndianLength) {
  const Bytes record =
      Encoded([](uint8_t* o, size_t c) { return EncodeDeviceIdRecord("A1234567", o, c); });
  ASSERT_EQ(record.size(), DEVICE_ID_RECORD_SIZE);
  EXPECT_EQ(record[0], 0x00);
  EXPECT_EQ(record[1], 0x7A);
  const std::string text(record.begin() + 2, record.end());
  EXPECT_EQ(text.substr(0, 26), "MFG:Brental Orvik Company;");
  EXPECT_EQ(text.substr(text.size() - 12), "SN:A1234567;");
  EXPECT_EQ(std::string(record.begin() + DEVICE_ID_SERIAL_OFFSET,
                        record.begin() + DEVICE_ID_SERIAL_OFFSET + 8),
            "A1234567");
  uint8_t small[121];
  EXPECT_EQ(EncodeDeviceIdRecord("A1234567", small, sizeof small), WIRE_ERR_NO_ROOM);
}

}  // namespace
}  // namespace protocol

#include "protocol/media.h"

#include <gtest/gtest.h>

#include "protocol/test_bytes.h"

namespace protocol {
namespace {

using test::Bytes;
using test::Encoded;
using test::Hex;

MediaRecord SampleMedia() {
  MediaRecord m{};
  m.media = {4, 3, 2, 1};
  m.fullWidth = 2464;
  m.fullLength = 3624;
  m.sizeCount = 2;
  m.sizes[0] = {2464, 3624, 0x11, 0x12};
  m.sizes[1] = {2464, 1208, 0x21, 0x22};
  return m;
}

template <typename T>
Bytes Data(const T& r) {
  return Encoded([&](uint8_t* o, size_t c) { return EncodeReply(r, o, c); });
}

Bytes RecordBytes(const MediaRecord& m) {
  return Encoded([&](uint8_t* o, size_t c) { return EncodeMediaRecord(m, o, c); });
}

TEST(ProtocolMediaRecord, Layout) {
  Bytes expected = Hex("04 03 02 01 A0 09 28 0E 02 00  A0 09 28 0E 11 12  A0 09 B8 04 21 22");
  expected.resize(MEDIA_RECORD_SIZE, 0);
  EXPECT_EQ(RecordBytes(SampleMedia()), expected);
}

TEST(ProtocolMediaReplies, ShortReplyCarriesTheFullSizeAtBytes5To8) {
  EXPECT_EQ(Data(MediaInfoReplyFrom(SampleMedia())), Hex("04 03 02 01 00 A0 09 28 0E 00 00 00 00"));
}

TEST(ProtocolMediaReplies, ExtendedReplyCarriesTheSizesButNotTheFullSize) {
  const Bytes record = RecordBytes(SampleMedia());
  Bytes expected = record;
  expected[4] = expected[5] = expected[6] = expected[7] = 0;
  EXPECT_EQ(Data(MediaInfoExReplyFrom(SampleMedia())), expected);
}

TEST(ProtocolMediaReplies, ClearedMirrorAnswersZeros) {
  EXPECT_EQ(Data(MediaInfoReplyFrom(MediaRecord{})), Bytes(MEDIA_INFO_REPLY_SIZE, 0));
  EXPECT_EQ(Data(MediaInfoExReplyFrom(MediaRecord{})), Bytes(MEDIA_INFO_EX_REPLY_SIZE, 0));
}

TEST(ProtocolMediaRoundTrip, RecordAndBothReplies) {
  const Bytes record = RecordBytes(SampleMedia());
  MediaRecord m{};
  ASSERT_EQ(DecodeMediaRecord(record.data(), record.size(), &m), WIRE_OK);
  EXPECT_EQ(RecordBytes(m), record);

  const Bytes info = Data(MediaInfoReplyFrom(m));
  MediaInfoReply infoBack{};
  ASSERT_EQ(DecodeReply(info.data(), info.size(), &infoBack), WIRE_OK);
  EXPECT_EQ(Data(infoBack), info);

  const Bytes ex = Data(MediaInfoExReplyFrom(m));
  MediaInfoExReply exBack{};
  ASSERT_EQ(DecodeReply(ex.data(), ex.size(), &exBack), WIRE_OK);
  EXPECT_EQ(Data(exBack), ex);
  EXPECT_EQ(exBack.sizes[1].length, 1208);
}

TEST(ProtocolMediaDecoders, ReportWrongLengthsAndSizeCounts) {
  Bytes record = RecordBytes(SampleMedia());
  MediaRecord m{};
  EXPECT_EQ(DecodeMediaRecord(record.data(), 57, &m), WIRE_ERR_SHORT_BUFFER);
  record[8] = 9;
  EXPECT_EQ(DecodeMediaRecord(record.data(), record.size(), &m), WIRE_ERR_BAD_VALUE);
  EXPECT_EQ(m.sizeCount, MEDIA_SIZE_ENTRIES);

  MediaInfoExReply ex{};
  EXPECT_EQ(DecodeReply(record.data(), record.size(), &ex), WIRE_ERR_BAD_VALUE);
  MediaInfoReply info{};
  EXPECT_EQ(DecodeReply(record.data(), 14, &info), WIRE_ERR_LENGTH_MISMATCH);

  MediaRecord tooMany = SampleMedia();
  tooMany.sizeCount = 9;
  uint8_t out[64];
  EXPECT_EQ(EncodeMediaRecord(tooMany, out, sizeof out), WIRE_ERR_BAD_VALUE);
}

}  // namespace
}  // namespace protocol

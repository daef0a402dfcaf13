#include "protocol/tone_curve.h"

#include <gtest/gtest.h>

#include <vector>

#include "protocol/codes.h"
#include "protocol/test_bytes.h"

namespace protocol {
namespace {

using test::Bytes;
using test::Hex;

std::vector<uint8_t> Curve(size_t size) {
  std::vector<uint8_t> curve(size);
  for (size_t i = 0; i < size; ++i) curve[i] = static_cast<uint8_t>(i * 13 + 5);
  return curve;
}

TEST(ProtocolToneCurvePieces, CountIsTheSizeInSixteensRoundedUp) {
  EXPECT_EQ(ToneCurvePieceCount(TONE_CURVE_SIZE), 96u);
  EXPECT_EQ(ToneCurvePieceCount(17), 2u);
  EXPECT_EQ(ToneCurvePieceCount(16), 1u);
  EXPECT_EQ(ToneCurvePieceCount(0), 0u);
}

TEST(ProtocolToneCurvePieces, AWholeCurveSurvivesTheTrip) {
  for (size_t size : {size_t{TONE_CURVE_SIZE}, size_t{20}, size_t{1}}) {
    const std::vector<uint8_t> curve = Curve(size);
    const uint32_t count = ToneCurvePieceCount(static_cast<uint32_t>(size));
    std::vector<uint8_t> received;
    for (uint32_t i = 0; i < count; ++i) {
      ToneCurvePiece piece{};
      ASSERT_EQ(MakeToneCurvePiece(curve.data(), static_cast<uint32_t>(size), i, &piece), WIRE_OK);
      uint8_t wire[TONE_CURVE_PIECE_MAX];
      const int32_t n = EncodeToneCurvePiece(piece, wire, sizeof wire);
      ASSERT_GT(n, 2);
      ToneCurvePiece back{};
      ASSERT_EQ(DecodeToneCurvePiece(wire, static_cast<size_t>(n), &back), WIRE_OK);
      EXPECT_EQ(back.piecesAfter, count - 1 - i);
      received.insert(received.end(), back.data, back.data + back.length);
    }
    EXPECT_EQ(received, curve) << size;
  }
}

TEST(ProtocolToneCurvePieces, FirstAndLastPieceBytes) {
  const std::vector<uint8_t> curve = Curve(20);
  ToneCurvePiece piece{};
  uint8_t wire[TONE_CURVE_PIECE_MAX];
  ASSERT_EQ(MakeToneCurvePiece(curve.data(), 20, 1, &piece), WIRE_OK);
  ASSERT_EQ(EncodeToneCurvePiece(piece, wire, sizeof wire), 6);
  EXPECT_EQ(Bytes(wire, wire + 6), Hex("00 04 D5 E2 EF FC"));
  EXPECT_EQ(MakeToneCurvePiece(curve.data(), 20, 2, &piece), WIRE_ERR_BAD_VALUE);

  const std::vector<uint8_t> full = Curve(TONE_CURVE_SIZE);
  ASSERT_EQ(MakeToneCurvePiece(full.data(), TONE_CURVE_SIZE, 0, &piece), WIRE_OK);
  EXPECT_EQ(piece.piecesAfter, 95);
  EXPECT_EQ(piece.length, 16);
}

TEST(ProtocolToneCurvePieces, MalformedTransfersAreReported) {
  const struct {
    const char* what;
    Bytes bytes;
    int32_t expected;
  } cases[] = {
      {"empty", {}, WIRE_ERR_SHORT_BUFFER},
      {"no curve bytes", Hex("05 00"), WIRE_ERR_SHORT_BUFFER},
      {"length byte above the bytes", Hex("05 04 01 02 03"), WIRE_ERR_LENGTH_MISMATCH},
      {"length byte below the bytes", Hex("05 01 01 02"), WIRE_ERR_LENGTH_MISMATCH},
      {"zero length with data", Hex("05 00 01"), WIRE_ERR_LENGTH_MISMATCH},
      {"piece above 16 bytes", Hex("05 11 00 00 00"), WIRE_ERR_BAD_VALUE},
      {"well formed", Hex("05 02 AA BB"), WIRE_OK},
  };
  for (const auto& c : cases) {
    ToneCurvePiece piece{};
    EXPECT_EQ(DecodeToneCurvePiece(c.bytes.data(), c.bytes.size(), &piece), c.expected) << c.what;
  }
  ToneCurvePiece empty{};
  uint8_t wire[TONE_CURVE_PIECE_MAX];
  EXPECT_EQ(EncodeToneCurvePiece(empty, wire, sizeof wire), WIRE_ERR_BAD_VALUE);
}

}  // namespace
}  // namespace protocol

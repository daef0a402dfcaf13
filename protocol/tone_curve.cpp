#include "protocol/tone_curve.h"

#include <algorithm>
#include <cstring>

namespace protocol {

int32_t MakeToneCurvePiece(const uint8_t* curve, uint32_t curveSize, uint32_t index,
                           ToneCurvePiece* piece) {
  if (piece == nullptr || curve == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  *piece = ToneCurvePiece{};
  const uint32_t count = ToneCurvePieceCount(curveSize);
  if (index >= count) return WIRE_ERR_BAD_VALUE;
  const uint32_t offset = index * TONE_CURVE_PIECE_DATA_MAX;
  piece->piecesAfter = static_cast<uint8_t>((count - 1u - index) & 0xFFu);
  piece->length = static_cast<uint8_t>(
      std::min<uint32_t>(TONE_CURVE_PIECE_DATA_MAX, curveSize - offset));
  std::memcpy(piece->data, curve + offset, piece->length);
  return WIRE_OK;
}

int32_t EncodeToneCurvePiece(const ToneCurvePiece& piece, uint8_t* out, size_t capacity) {
  if (out == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  if (piece.length == 0 || piece.length > TONE_CURVE_PIECE_DATA_MAX) return WIRE_ERR_BAD_VALUE;
  const size_t size = 2u + piece.length;
  if (capacity < size) return WIRE_ERR_NO_ROOM;
  out[0] = piece.piecesAfter;
  out[1] = piece.length;
  std::memcpy(out + 2, piece.data, piece.length);
  return static_cast<int32_t>(size);
}

int32_t DecodeToneCurvePiece(const uint8_t* in, size_t received, ToneCurvePiece* piece) {
  if (piece == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  *piece = ToneCurvePiece{};
  if (in == nullptr || received < 3) return WIRE_ERR_SHORT_BUFFER;
  if (in[1] > TONE_CURVE_PIECE_DATA_MAX) return WIRE_ERR_BAD_VALUE;
  if (in[1] != received - 2) return WIRE_ERR_LENGTH_MISMATCH;
  piece->piecesAfter = in[0];
  piece->length = in[1];
  std::memcpy(piece->data, in + 2, piece->length);
  return WIRE_OK;
}

}  // namespace protocol

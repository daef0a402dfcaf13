// Tone-curve pieces: after an accepted CMD_READ_TONE_CURVE (whose 2-byte
// reply carries the curve size) the printer sends the curve in
// ceil(size / 16) further bulk IN transfers, each
//   [pieces still to come after this one][n = 1..16][n curve bytes].
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/wire.h"

namespace protocol {

inline constexpr uint8_t TONE_CURVE_PIECE_DATA_MAX = 16;
inline constexpr size_t TONE_CURVE_PIECE_MAX = 2 + TONE_CURVE_PIECE_DATA_MAX;

struct ToneCurvePiece {
  uint8_t piecesAfter;  // low byte of the count of pieces still to come
  uint8_t length;       // 1-16
  uint8_t data[TONE_CURVE_PIECE_DATA_MAX];
};

constexpr uint32_t ToneCurvePieceCount(uint32_t curveSize) {
  return (curveSize + TONE_CURVE_PIECE_DATA_MAX - 1u) / TONE_CURVE_PIECE_DATA_MAX;
}

// Piece `index` (0-based) of a curve of curveSize bytes.
// WIRE_ERR_BAD_VALUE for an index past the last piece.
int32_t MakeToneCurvePiece(const uint8_t* curve, uint32_t curveSize, uint32_t index,
                           ToneCurvePiece* piece);

// WIRE_ERR_BAD_VALUE for a length of 0 or above 16.
int32_t EncodeToneCurvePiece(const ToneCurvePiece& piece, uint8_t* out, size_t capacity);
// A transfer of `received` bytes: fewer than 3 is a short buffer, a length
// byte other than received - 2 a mismatch, a length above 16 a bad value.
int32_t DecodeToneCurvePiece(const uint8_t* in, size_t received, ToneCurvePiece* piece);

}  // namespace protocol

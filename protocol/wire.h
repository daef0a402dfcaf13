// Byte-level building blocks of the USB command protocol: result values of
// every encoder and decoder, the size limits of packets and replies, and the
// little-endian accessors that every layout is written with.
//
// Layouts are always read and written byte by byte at their offsets; no
// struct is ever laid over wire bytes, so the code is the same on the ARM
// target, on the host and under either signedness of plain char.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace protocol {

// Encoders return the number of bytes written (0 or more) or one of the
// negative values below; decoders return WIRE_OK or a negative value.
enum WireResult : int32_t {
  WIRE_OK = 0,
  WIRE_ERR_SHORT_BUFFER = -1,     // fewer bytes than the layout needs
  WIRE_ERR_LENGTH_MISMATCH = -2,  // a length field does not match the bytes received
  WIRE_ERR_UNKNOWN_COMMAND = -3,  // the command code is not one the printer serves
  WIRE_ERR_NO_ROOM = -4,          // the output buffer cannot hold the encoding
  WIRE_ERR_BAD_VALUE = -5,        // a field holds a value the layout cannot carry
  WIRE_ERR_TOO_LONG = -6,         // a packet longer than the printer's packet buffer
  WIRE_ERR_BAD_ARGUMENT = -7,     // a null pointer where data was needed
};

// Sizes and limits shared by both ends.
inline constexpr size_t COMMAND_HEADER_SIZE = 4;
inline constexpr size_t REPLY_HEADER_SIZE = 10;
// The printer keeps one 512-byte packet buffer: header and payload together.
inline constexpr size_t COMMAND_PACKET_MAX = 512;
// The application receives at most this many payload bytes of a forwarded
// command, and no reply carries more data than this.
inline constexpr size_t FORWARDED_PAYLOAD_MAX = 250;
inline constexpr size_t REPLY_DATA_MAX = 250;
// Raw print and update data go out in bulk transfers of at most this size.
inline constexpr size_t BULK_DATA_PIECE_MAX = 4096;

constexpr void PutU16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value & 0xFFu);
  p[1] = static_cast<uint8_t>(value >> 8);
}

constexpr void PutU32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value & 0xFFu);
  p[1] = static_cast<uint8_t>((value >> 8) & 0xFFu);
  p[2] = static_cast<uint8_t>((value >> 16) & 0xFFu);
  p[3] = static_cast<uint8_t>(value >> 24);
}

constexpr uint16_t GetU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

constexpr uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The device-ID record's length prefix is the one big-endian field.
constexpr void PutU16Be(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value >> 8);
  p[1] = static_cast<uint8_t>(value & 0xFFu);
}

constexpr uint16_t GetU16Be(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// Reads a request payload that may be shorter than the layout the printer
// reads: every byte past the bytes received reads as 0. The printer never
// looks past what arrived, and a missing trailing field is the same as a
// field sent as 0 (a missing job id is job 0, the job printing next).
class PayloadReader {
 public:
  constexpr PayloadReader(const uint8_t* data, size_t length)
      : data_(data), length_(data == nullptr ? 0 : length) {}

  constexpr size_t Length() const { return length_; }

  constexpr uint8_t U8(size_t offset) const {
    return offset < length_ ? data_[offset] : static_cast<uint8_t>(0);
  }
  constexpr uint16_t U16(size_t offset) const {
    return static_cast<uint16_t>(U8(offset) | (U8(offset + 1) << 8));
  }
  constexpr uint32_t U32(size_t offset) const {
    return static_cast<uint32_t>(U16(offset)) |
           (static_cast<uint32_t>(U16(offset + 2)) << 16);
  }

  // Copies n bytes from offset; the part past the bytes received is zeroed.
  void Copy(size_t offset, void* dst, size_t n) const {
    uint8_t* out = static_cast<uint8_t*>(dst);
    for (size_t i = 0; i < n; ++i) out[i] = U8(offset + i);
  }

 private:
  const uint8_t* data_;
  size_t length_;
};

// Checks an exact-length layout: too few bytes is a short buffer, any other
// difference a length mismatch.
constexpr int32_t CheckExactLength(size_t received, size_t needed) {
  if (received < needed) return WIRE_ERR_SHORT_BUFFER;
  if (received != needed) return WIRE_ERR_LENGTH_MISMATCH;
  return WIRE_OK;
}

// Common start of every fixed-size encoder: `size` zeroed bytes at `out`;
// the size, or a negative WIRE_ERR_... value.
inline int32_t PrepareOutput(uint8_t* out, size_t capacity, size_t size) {
  if (out == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  if (capacity < size) return WIRE_ERR_NO_ROOM;
  std::memset(out, 0, size);
  return static_cast<int32_t>(size);
}

// A count byte, then that many bytes (at most `max`).
inline int32_t EncodeCounted(const uint8_t* data, uint8_t count, uint8_t max, uint8_t* out, size_t capacity) {
  if (count > max) return WIRE_ERR_BAD_VALUE;
  const int32_t n = PrepareOutput(out, capacity, 1u + count);
  if (n < 0) return n;
  out[0] = count;
  std::memcpy(out + 1, data, count);
  return n;
}

}  // namespace protocol

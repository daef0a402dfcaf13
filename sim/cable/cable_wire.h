// The messages of the virtual USB cable between a printer-sim process and
// its host-side clients. One AF_UNIX SOCK_SEQPACKET connection per client;
// a message is a transfer or a piece of one, never a single USB packet.
//
// Every message starts with a 20-byte header, all fields little-endian:
//   0  u8   kind
//   1  u8   flags
//   2  u16  reserved, 0
//   4  u32  tag    the client's number for the transfer, echoed in answers
//   8  u32  arg0   (arg0 to arg2: by kind, below)
//  12  u32  arg1
//  16  u32  arg2
//  20  payload
//
// Printer to client:
//   Identity  first message of every connection: arg0 = wire version; the
//             payload is a list of records {u8 type, u16 length, bytes}
//             (IdentityRecord); unknown types are skipped.
//   InData    a piece (at most kMaxPiece bytes) of an IN transfer's data:
//             arg0 = offset of the piece in the transfer's data.
//   Credit    arg0 = bytes of the bulk OUT transfer `tag` the printer has
//             taken off its queue; the client keeps at most kOutWindow bytes
//             beyond that in flight.
//   Result    the end of transfer `tag`: arg0 = Outcome, arg1 = bytes moved
//             (OUT bytes the function acknowledged, or IN bytes received,
//             which the InData pieces before it carried).
//   Bye       the printer leaves the bus (disconnect, reset, end); the
//             connection closes after it.
// Client to printer:
//   BulkOut   a piece of a bulk OUT transfer: arg0 = the transfer's total
//             length, arg1 = offset of the piece, arg2 = time-out in ms;
//             flag kFlagZeroLengthPacket asks for a zero-length packet after
//             a full last packet. Pieces come in order, at most kMaxPiece
//             bytes each; a zero-length transfer is one empty piece.
//   BulkIn    arg0 = most bytes to read, arg2 = time-out in ms.
//   Control   the 8-byte SETUP packet, then for an OUT request its wLength
//             data bytes (at most kMaxPiece); arg2 = time-out in ms.
//   Cancel    ends transfer `tag` (its Result says Cancelled).
//   Bye       the client ends the connection (closing it does the same).
// A time-out of kNoTimeout never expires. Time-outs run on the printer's
// clock, which printer-sim paces to the wall clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim::cable {

constexpr uint32_t kWireVersion = 1;
constexpr size_t kHeaderSize = 20;
// Data bytes in one message: a bulk OUT piece, an IN piece, control data.
constexpr uint32_t kMaxPiece = 4096;
// The identity message may be longer (descriptors, strings, device ID).
constexpr size_t kMaxIdentityPayload = 16384;
constexpr size_t kMaxMessage = kHeaderSize + kMaxIdentityPayload;
// Bulk OUT bytes a client may have sent beyond the printer's last credit.
constexpr uint32_t kOutWindow = 1024 * 1024;
// The printer credits at least every this many bytes.
constexpr uint32_t kCreditStep = 64 * 1024;
constexpr uint32_t kNoTimeout = 0xFFFFFFFFu;

enum class Kind : uint8_t {
  Identity = 1,
  BulkOut = 2,
  BulkIn = 3,
  Control = 4,
  Cancel = 5,
  Bye = 6,
  InData = 7,
  Credit = 8,
  Result = 9,
};

constexpr uint8_t kFlagZeroLengthPacket = 0x01;

// How a transfer ended. The first five are the root hub's outcomes.
enum class Outcome : uint8_t {
  Done = 0,        // completed
  NakTimeout = 1,  // its time-out passed (the function kept NAKing)
  Stall = 2,       // the function stalled the endpoint or refused the request
  Gone = 3,        // the printer left the bus, or the connection broke
  Error = 4,       // protocol error on the bus, or a request not allowed
  Cancelled = 5,   // the client cancelled it
};
const char* ToString(Outcome outcome);

struct Message {
  Kind kind = Kind::Bye;
  uint8_t flags = 0;
  uint32_t tag = 0;
  uint32_t arg0 = 0;
  uint32_t arg1 = 0;
  uint32_t arg2 = 0;
  std::vector<uint8_t> payload;
};

// The bytes of a message.
std::vector<uint8_t> Encode(const Message& message);
std::vector<uint8_t> Encode(Kind kind, uint32_t tag, uint32_t arg0 = 0, uint32_t arg1 = 0, uint32_t arg2 = 0,
                            const uint8_t* payload = nullptr, size_t size = 0, uint8_t flags = 0);
// Parses one received message; false (with a reason) when it is malformed:
// short header, unknown kind, reserved bits set, or a payload longer than
// its kind allows.
bool Decode(const uint8_t* data, size_t size, Message* pMessage, std::string* pWhy = nullptr);

// ---- the printer's identity ----------------------------------------------------------------

enum class IdentityRecord : uint8_t {
  Speed = 1,             // u8: 0 full, 1 high
  Address = 2,           // u8
  DeviceDescriptor = 3,  // 18 bytes
  Configuration = 4,     // the whole configuration set
  Qualifier = 5,
  LanguageId = 6,        // u16
  String = 7,            // u8 index, then the string descriptor as read
  DeviceId = 8,          // as read: 16-bit big-endian length, then the text
  VendorId = 9,          // u16
  ProductId = 10,        // u16
  SerialNumber = 11,     // text
  Manufacturer = 12,     // text
  Product = 13,          // text
  DeviceIdText = 14,     // text
  BulkOut = 15,          // u8 endpoint, u16 max packet
  BulkIn = 16,           // u8 endpoint, u16 max packet
  Port = 17,             // text: the printer's port on the bus
};

// What a client learns of the printer when it connects: what the root hub
// read when it enumerated the printer.
struct PrinterIdentity {
  bool bHighSpeed = false;
  uint8_t address = 0;
  std::vector<uint8_t> deviceDescriptor;
  std::vector<uint8_t> configuration;
  std::vector<uint8_t> qualifier;
  uint16_t languageId = 0;
  std::vector<std::pair<uint8_t, std::vector<uint8_t>>> strings;  // by index, as read
  std::vector<uint8_t> deviceId;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  std::string serialNumber;
  std::string manufacturer;
  std::string product;
  std::string deviceIdText;
  uint8_t bulkOutEndpoint = 0;
  uint16_t bulkOutMaxPacket = 0;
  uint8_t bulkInEndpoint = 0;
  uint16_t bulkInMaxPacket = 0;
  std::string port;
};

std::vector<uint8_t> EncodeIdentity(const PrinterIdentity& identity);
bool DecodeIdentity(const std::vector<uint8_t>& payload, PrinterIdentity* pIdentity);

// Little-endian fields, byte by byte.
inline void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t GetLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace sim::cable

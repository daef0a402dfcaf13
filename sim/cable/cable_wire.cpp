#include "sim/cable/cable_wire.h"

#include <cstring>

namespace sim::cable {

const char* ToString(Outcome outcome) {
  switch (outcome) {
    case Outcome::Done: return "done";
    case Outcome::NakTimeout: return "NAK time-out";
    case Outcome::Stall: return "stall";
    case Outcome::Gone: return "gone";
    case Outcome::Error: return "error";
    case Outcome::Cancelled: return "cancelled";
  }
  return "?";
}

std::vector<uint8_t> Encode(Kind kind, uint32_t tag, uint32_t arg0, uint32_t arg1, uint32_t arg2,
                            const uint8_t* payload, size_t size, uint8_t flags) {
  std::vector<uint8_t> bytes(kHeaderSize + size);
  bytes[0] = static_cast<uint8_t>(kind);
  bytes[1] = flags;
  PutLe16(&bytes[2], 0);
  PutLe32(&bytes[4], tag);
  PutLe32(&bytes[8], arg0);
  PutLe32(&bytes[12], arg1);
  PutLe32(&bytes[16], arg2);
  if (size != 0) std::memcpy(bytes.data() + kHeaderSize, payload, size);
  return bytes;
}

std::vector<uint8_t> Encode(const Message& m) {
  return Encode(m.kind, m.tag, m.arg0, m.arg1, m.arg2, m.payload.data(), m.payload.size(), m.flags);
}

bool Decode(const uint8_t* data, size_t size, Message* pMessage, std::string* pWhy) {
  auto fail = [pWhy](const char* why) {
    if (pWhy != nullptr) *pWhy = why;
    return false;
  };
  if (size < kHeaderSize) return fail("message shorter than its header");
  if (GetLe16(data + 2) != 0) return fail("reserved header bits set");
  const uint8_t kind = data[0];
  const uint8_t flags = data[1];
  const size_t payload = size - kHeaderSize;
  size_t minPayload = 0;
  size_t maxPayload = 0;
  uint8_t allowedFlags = 0;
  switch (static_cast<Kind>(kind)) {
    case Kind::Identity:
      maxPayload = kMaxIdentityPayload;
      break;
    case Kind::BulkOut:
      maxPayload = kMaxPiece;
      allowedFlags = kFlagZeroLengthPacket;
      break;
    case Kind::Control:
      minPayload = 8;
      maxPayload = 8 + kMaxPiece;
      break;
    case Kind::InData:
      maxPayload = kMaxPiece;
      break;
    case Kind::BulkIn:
    case Kind::Cancel:
    case Kind::Bye:
    case Kind::Credit:
    case Kind::Result:
      break;
    default:
      return fail("unknown message kind");
  }
  if ((flags & ~allowedFlags) != 0) return fail("flags not defined for this kind");
  if (payload < minPayload || payload > maxPayload) return fail("payload length not allowed for this kind");
  Message& m = *pMessage;
  m.kind = static_cast<Kind>(kind);
  m.flags = flags;
  m.tag = GetLe32(data + 4);
  m.arg0 = GetLe32(data + 8);
  m.arg1 = GetLe32(data + 12);
  m.arg2 = GetLe32(data + 16);
  m.payload.assign(data + kHeaderSize, data + size);
  return true;
}

// ---- identity ------------------------------------------------------------------------------

namespace {

void PutRecord(std::vector<uint8_t>* out, IdentityRecord type, const uint8_t* data, size_t size) {
  if (size > 0xFFFF) size = 0xFFFF;
  out->push_back(static_cast<uint8_t>(type));
  out->push_back(static_cast<uint8_t>(size));
  out->push_back(static_cast<uint8_t>(size >> 8));
  out->insert(out->end(), data, data + size);
}
void PutRecord(std::vector<uint8_t>* out, IdentityRecord type, const std::vector<uint8_t>& bytes) {
  PutRecord(out, type, bytes.data(), bytes.size());
}
void PutText(std::vector<uint8_t>* out, IdentityRecord type, const std::string& text) {
  PutRecord(out, type, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}
void PutU16(std::vector<uint8_t>* out, IdentityRecord type, uint16_t value) {
  uint8_t b[2];
  PutLe16(b, value);
  PutRecord(out, type, b, 2);
}
void PutEndpoint(std::vector<uint8_t>* out, IdentityRecord type, uint8_t endpoint, uint16_t maxPacket) {
  uint8_t b[3] = {endpoint, 0, 0};
  PutLe16(b + 1, maxPacket);
  PutRecord(out, type, b, 3);
}

}  // namespace

std::vector<uint8_t> EncodeIdentity(const PrinterIdentity& id) {
  std::vector<uint8_t> out;
  const uint8_t speed = id.bHighSpeed ? 1 : 0;
  PutRecord(&out, IdentityRecord::Speed, &speed, 1);
  PutRecord(&out, IdentityRecord::Address, &id.address, 1);
  PutRecord(&out, IdentityRecord::DeviceDescriptor, id.deviceDescriptor);
  PutRecord(&out, IdentityRecord::Configuration, id.configuration);
  if (!id.qualifier.empty()) PutRecord(&out, IdentityRecord::Qualifier, id.qualifier);
  PutU16(&out, IdentityRecord::LanguageId, id.languageId);
  for (const auto& [index, descriptor] : id.strings) {
    std::vector<uint8_t> record{index};
    record.insert(record.end(), descriptor.begin(), descriptor.end());
    PutRecord(&out, IdentityRecord::String, record);
  }
  PutRecord(&out, IdentityRecord::DeviceId, id.deviceId);
  PutU16(&out, IdentityRecord::VendorId, id.vendorId);
  PutU16(&out, IdentityRecord::ProductId, id.productId);
  PutText(&out, IdentityRecord::SerialNumber, id.serialNumber);
  PutText(&out, IdentityRecord::Manufacturer, id.manufacturer);
  PutText(&out, IdentityRecord::Product, id.product);
  PutText(&out, IdentityRecord::DeviceIdText, id.deviceIdText);
  PutEndpoint(&out, IdentityRecord::BulkOut, id.bulkOutEndpoint, id.bulkOutMaxPacket);
  PutEndpoint(&out, IdentityRecord::BulkIn, id.bulkInEndpoint, id.bulkInMaxPacket);
  PutText(&out, IdentityRecord::Port, id.port);
  return out;
}

bool DecodeIdentity(const std::vector<uint8_t>& payload, PrinterIdentity* pIdentity) {
  PrinterIdentity id;
  size_t at = 0;
  while (at < payload.size()) {
    if (payload.size() - at < 3) return false;
    const auto type = static_cast<IdentityRecord>(payload[at]);
    const size_t length = GetLe16(&payload[at + 1]);
    at += 3;
    if (payload.size() - at < length) return false;
    const uint8_t* p = payload.data() + at;
    const std::vector<uint8_t> bytes(p, p + length);
    const std::string text(p, p + length);
    at += length;
    switch (type) {
      case IdentityRecord::Speed:
        if (length != 1) return false;
        id.bHighSpeed = p[0] != 0;
        break;
      case IdentityRecord::Address:
        if (length != 1) return false;
        id.address = p[0];
        break;
      case IdentityRecord::DeviceDescriptor: id.deviceDescriptor = bytes; break;
      case IdentityRecord::Configuration: id.configuration = bytes; break;
      case IdentityRecord::Qualifier: id.qualifier = bytes; break;
      case IdentityRecord::LanguageId:
        if (length != 2) return false;
        id.languageId = GetLe16(p);
        break;
      case IdentityRecord::String:
        if (length < 1) return false;
        id.strings.emplace_back(p[0], std::vector<uint8_t>(p + 1, p + length));
        break;
      case IdentityRecord::DeviceId: id.deviceId = bytes; break;
      case IdentityRecord::VendorId:
        if (length != 2) return false;
        id.vendorId = GetLe16(p);
        break;
      case IdentityRecord::ProductId:
        if (length != 2) return false;
        id.productId = GetLe16(p);
        break;
      case IdentityRecord::SerialNumber: id.serialNumber = text; break;
      case IdentityRecord::Manufacturer: id.manufacturer = text; break;
      case IdentityRecord::Product: id.product = text; break;
      case IdentityRecord::DeviceIdText: id.deviceIdText = text; break;
      case IdentityRecord::BulkOut:
      case IdentityRecord::BulkIn:
        if (length != 3) return false;
        if (type == IdentityRecord::BulkOut) {
          id.bulkOutEndpoint = p[0];
          id.bulkOutMaxPacket = GetLe16(p + 1);
        } else {
          id.bulkInEndpoint = p[0];
          id.bulkInMaxPacket = GetLe16(p + 1);
        }
        break;
      case IdentityRecord::Port: id.port = text; break;
      default:
        break;  // a record of a later wire version
    }
  }
  *pIdentity = std::move(id);
  return true;
}

}  // namespace sim::cable

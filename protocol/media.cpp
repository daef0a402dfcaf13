#include "protocol/media.h"

#include <cstring>

namespace protocol {
namespace {

constexpr size_t kSizeEntries = 10;  // offset of the size entries in both 58-byte layouts

void PutMediaBytes(uint8_t* out, const MediaBytes& m) {
  out[0] = m.ribbonKindL;
  out[1] = m.ribbonKindR;
  out[2] = m.unitStateL;
  out[3] = m.unitStateR;
}

MediaBytes GetMediaBytes(const uint8_t* in) {
  return MediaBytes{in[0], in[1], in[2], in[3]};
}

void PutSizes(uint8_t* out, const MediaSizeEntry* sizes) {
  for (size_t i = 0; i < MEDIA_SIZE_ENTRIES; ++i) {
    uint8_t* e = out + kSizeEntries + 6 * i;
    PutU16(e, sizes[i].width);
    PutU16(e + 2, sizes[i].length);
    e[4] = sizes[i].extra1;
    e[5] = sizes[i].extra2;
  }
}

void GetSizes(const uint8_t* in, MediaSizeEntry* sizes) {
  for (size_t i = 0; i < MEDIA_SIZE_ENTRIES; ++i) {
    const uint8_t* e = in + kSizeEntries + 6 * i;
    sizes[i] = MediaSizeEntry{GetU16(e), GetU16(e + 2), e[4], e[5]};
  }
}

template <typename T>
int32_t Begin(const uint8_t* in, size_t length, size_t size, T* r) {
  if (r == nullptr) return WIRE_ERR_BAD_ARGUMENT;
  *r = T{};
  if (in == nullptr) return WIRE_ERR_SHORT_BUFFER;
  return CheckExactLength(length, size);
}

}  // namespace

MediaInfoReply MediaInfoReplyFrom(const MediaRecord& record) {
  return MediaInfoReply{record.media, record.fullWidth, record.fullLength};
}

MediaInfoExReply MediaInfoExReplyFrom(const MediaRecord& record) {
  MediaInfoExReply r{};
  r.media = record.media;
  r.sizeCount = record.sizeCount;
  std::memcpy(r.sizes, record.sizes, sizeof r.sizes);
  return r;
}

int32_t EncodeMediaRecord(const MediaRecord& record, uint8_t* out, size_t capacity) {
  if (record.sizeCount > MEDIA_SIZE_ENTRIES) return WIRE_ERR_BAD_VALUE;
  const int32_t n = PrepareOutput(out, capacity, MEDIA_RECORD_SIZE);
  if (n < 0) return n;
  PutMediaBytes(out, record.media);
  PutU16(out + 4, record.fullWidth);
  PutU16(out + 6, record.fullLength);
  out[8] = record.sizeCount;
  PutSizes(out, record.sizes);
  return n;
}

int32_t DecodeMediaRecord(const uint8_t* in, size_t length, MediaRecord* record) {
  if (const int32_t rc = Begin(in, length, MEDIA_RECORD_SIZE, record); rc != WIRE_OK) return rc;
  record->media = GetMediaBytes(in);
  record->fullWidth = GetU16(in + 4);
  record->fullLength = GetU16(in + 6);
  GetSizes(in, record->sizes);
  if (in[8] > MEDIA_SIZE_ENTRIES) {
    record->sizeCount = MEDIA_SIZE_ENTRIES;
    return WIRE_ERR_BAD_VALUE;
  }
  record->sizeCount = in[8];
  return WIRE_OK;
}

int32_t EncodeReply(const MediaInfoReply& r, uint8_t* out, size_t capacity) {
  const int32_t n = PrepareOutput(out, capacity, MEDIA_INFO_REPLY_SIZE);
  if (n < 0) return n;
  PutMediaBytes(out, r.media);
  PutU16(out + 5, r.fullWidth);
  PutU16(out + 7, r.fullLength);
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, MediaInfoReply* r) {
  if (const int32_t rc = Begin(in, length, MEDIA_INFO_REPLY_SIZE, r); rc != WIRE_OK) return rc;
  r->media = GetMediaBytes(in);
  r->fullWidth = GetU16(in + 5);
  r->fullLength = GetU16(in + 7);
  return WIRE_OK;
}

int32_t EncodeReply(const MediaInfoExReply& r, uint8_t* out, size_t capacity) {
  if (r.sizeCount > MEDIA_SIZE_ENTRIES) return WIRE_ERR_BAD_VALUE;
  const int32_t n = PrepareOutput(out, capacity, MEDIA_INFO_EX_REPLY_SIZE);
  if (n < 0) return n;
  PutMediaBytes(out, r.media);
  out[8] = r.sizeCount;
  PutSizes(out, r.sizes);
  return n;
}

int32_t DecodeReply(const uint8_t* in, size_t length, MediaInfoExReply* r) {
  if (const int32_t rc = Begin(in, length, MEDIA_INFO_EX_REPLY_SIZE, r); rc != WIRE_OK) return rc;
  r->media = GetMediaBytes(in);
  GetSizes(in, r->sizes);
  if (in[8] > MEDIA_SIZE_ENTRIES) {
    r->sizeCount = MEDIA_SIZE_ENTRIES;
    return WIRE_ERR_BAD_VALUE;
  }
  r->sizeCount = in[8];
  return WIRE_OK;
}

}  // namespace protocol

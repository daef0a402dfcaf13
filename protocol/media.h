// The media record and the two media replies. The application sends the
// 58-byte record with every media notification (message 0x1003); the USB
// task keeps it as its media mirror and answers CMD_GET_MEDIA_INFO (13
// bytes) and CMD_GET_MEDIA_INFO_EX (58 bytes) from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/codes.h"
#include "protocol/wire.h"

namespace protocol {

inline constexpr size_t MEDIA_RECORD_SIZE = 58;
inline constexpr size_t MEDIA_INFO_REPLY_SIZE = 13;
inline constexpr size_t MEDIA_INFO_EX_REPLY_SIZE = 58;
inline constexpr uint8_t MEDIA_SIZE_ENTRIES = 8;

// The four media bytes, in this order on the wire.
struct MediaBytes {
  uint8_t ribbonKindL;  // 3 or 4, 0 when the unit's state byte is not 1 or 2
  uint8_t ribbonKindR;
  uint8_t unitStateL;   // the unit's ribbon size code
  uint8_t unitStateR;
};

// One printable size, 6 bytes.
struct MediaSizeEntry {
  uint16_t width;
  uint16_t length;
  uint8_t extra1;
  uint8_t extra2;
};

struct MediaRecord {
  MediaBytes media;     // 0-3
  uint16_t fullWidth;   // 4-5: width of the full print size
  uint16_t fullLength;  // 6-7: length of the full print size
  uint8_t sizeCount;    // 8: printable sizes (0-8); byte 9 is 0
  MediaSizeEntry sizes[MEDIA_SIZE_ENTRIES];  // 10-57
};

// CMD_GET_MEDIA_INFO, 13 bytes: 0-3 the media bytes, 4 = 0, 5-6 and 7-8 the
// full width and length, 9-12 = 0.
struct MediaInfoReply {
  static constexpr uint16_t kCode = CMD_GET_MEDIA_INFO;
  static constexpr size_t kSize = MEDIA_INFO_REPLY_SIZE;
  MediaBytes media;
  uint16_t fullWidth;
  uint16_t fullLength;
};

// CMD_GET_MEDIA_INFO_EX, 58 bytes: 0-3 the media bytes, 4-7 = 0, 8 the size
// count, 9 = 0, 10-57 the size entries.
struct MediaInfoExReply {
  static constexpr uint16_t kCode = CMD_GET_MEDIA_INFO_EX;
  static constexpr size_t kSize = MEDIA_INFO_EX_REPLY_SIZE;
  MediaBytes media;
  uint8_t sizeCount;
  MediaSizeEntry sizes[MEDIA_SIZE_ENTRIES];
};

// The replies the USB task builds from its mirror.
MediaInfoReply MediaInfoReplyFrom(const MediaRecord& record);
MediaInfoExReply MediaInfoExReplyFrom(const MediaRecord& record);

// WIRE_ERR_BAD_VALUE for a size count above 8.
int32_t EncodeMediaRecord(const MediaRecord& record, uint8_t* out, size_t capacity);
// WIRE_ERR_BAD_VALUE for a size count above 8 (the entries are still
// decoded and the count is cut to 8).
int32_t DecodeMediaRecord(const uint8_t* in, size_t length, MediaRecord* record);

int32_t EncodeReply(const MediaInfoReply& r, uint8_t* out, size_t capacity);
int32_t DecodeReply(const uint8_t* in, size_t length, MediaInfoReply* r);
int32_t EncodeReply(const MediaInfoExReply& r, uint8_t* out, size_t capacity);
int32_t DecodeReply(const uint8_t* in, size_t length, MediaInfoExReply* r);

}  // namespace protocol

// Profiles: opening an ICC file, its header, its raw tags.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "engine.h"

namespace colormatch {
namespace {

constexpr size_t kSignatureAt = 36;
constexpr uint32_t kProfileSignature = 0x61637370;  // 'acsp'
// Larger files are not profiles this library would be given.
constexpr long kMaxProfileBytes = 64L * 1024 * 1024;

uint32_t BigEndian32(const uint8_t *bytes) {
  return static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
         static_cast<uint32_t>(bytes[2]) << 8 | static_cast<uint32_t>(bytes[3]);
}

bool ReadWholeFile(const char *path, std::vector<uint8_t> *bytes) {
  std::FILE *file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  bool ok = std::fseek(file, 0, SEEK_END) == 0;
  const long size = ok ? std::ftell(file) : -1;
  ok = ok && size >= 0 && size <= kMaxProfileBytes && std::fseek(file, 0, SEEK_SET) == 0;
  if (ok) {
    bytes->resize(static_cast<size_t>(size));
    ok = size == 0 || std::fread(bytes->data(), 1, bytes->size(), file) == bytes->size();
  }
  std::fclose(file);
  return ok;
}

// A header that says it is a profile, whose size field fits the file.
bool LooksLikeProfile(const std::vector<uint8_t> &bytes) {
  if (bytes.size() < CM_PROFILE_HEADER_SIZE) return false;
  if (BigEndian32(bytes.data() + kSignatureAt) != kProfileSignature) return false;
  const uint32_t declared = BigEndian32(bytes.data());
  return declared >= CM_PROFILE_HEADER_SIZE && declared <= bytes.size();
}

}  // namespace

LiveSet<Profile> &LiveProfiles() {
  // Ends with the library: a module loaded again starts with none.
  static LiveSet<Profile> live;
  return live;
}

}  // namespace colormatch

using namespace colormatch;

extern "C" {

int WINAPI SDKCMOpenProfile(const char *path, CMPROFILE *profile) {
  if (profile == nullptr) return kFailed;
  *profile = nullptr;
  if (path == nullptr) return kFailed;
  auto opened = std::make_unique<Profile>();
  if (!ReadWholeFile(path, &opened->bytes) || !LooksLikeProfile(opened->bytes)) return kFailed;
  const uint32_t declared = BigEndian32(opened->bytes.data());
  opened->bytes.resize(declared);
  opened->handle = cmsOpenProfileFromMem(opened->bytes.data(), declared);
  if (opened->handle == nullptr) return kFailed;
  std::memcpy(opened->header, opened->bytes.data(), CM_PROFILE_HEADER_SIZE);
  *profile = LiveProfiles().Add(std::move(opened));
  return kSucceeded;
}

int WINAPI SDKCMCloseProfile(CMPROFILE profile) { return LiveProfiles().Destroy(profile) ? kSucceeded : kFailed; }

int WINAPI SDKCMGetProfileHeader(CMPROFILE profile, uint8_t header[CM_PROFILE_HEADER_SIZE]) {
  if (header == nullptr) return kFailed;
  return LiveProfiles().With(profile, kFailed, [&](const Profile &open) {
    std::memcpy(header, open.header, CM_PROFILE_HEADER_SIZE);
    return kSucceeded;
  });
}

// The raw bytes of tag `tag` from `offset` on. *size gives the buffer's
// room and receives the bytes copied; a null buffer asks for the bytes
// there are from the offset.
int WINAPI SDKCMGetPartialProfileElement(CMPROFILE profile, DWORD tag, DWORD offset, uint8_t *buffer,
                                         DWORD *size) {
  if (size == nullptr) return kFailed;
  const DWORD room = *size;
  *size = 0;
  return LiveProfiles().With(profile, kFailed, [&](const Profile &open) {
    const auto signature = static_cast<cmsTagSignature>(tag);
    if (!cmsIsTag(open.handle, signature)) return kFailed;
    const cmsUInt32Number total = cmsReadRawTag(open.handle, signature, nullptr, 0);
    if (total == 0 || offset > total) return kFailed;
    if (buffer == nullptr) {
      *size = total - offset;
      return kSucceeded;
    }
    std::vector<uint8_t> raw(total);
    if (cmsReadRawTag(open.handle, signature, raw.data(), total) != total) return kFailed;
    const DWORD count = std::min<DWORD>(room, total - offset);
    std::memcpy(buffer, raw.data() + offset, count);
    *size = count;
    return kSucceeded;
  });
}

}  // extern "C"

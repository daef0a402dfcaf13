// Profile bytes into the colour-matching library: each input is a colour
// profile file, written to a temporary file and opened with
// SDKCMOpenProfile; an opened profile gives its header and the raw bytes of
// its usual tags, whole and from the middle, into buffers of exactly the
// size asked for on the heap, and is closed again. What the library copies
// stays inside the caller's buffer and never exceeds what it said there is.
#include <memory>
#include <string>
#include <vector>

#include "bom7300colormatch.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

constexpr int kSucceeded = 0;

// 'desc', 'cprt', 'wtpt', 'rXYZ', 'rTRC', 'A2B0', 'B2A0', 'kTRC', 'chad'.
constexpr DWORD kTags[] = {0x64657363, 0x63707274, 0x77747074, 0x7258595A, 0x72545243,
                           0x41324230, 0x42324130, 0x6B545243, 0x63686164};

void ReadTag(CMPROFILE profile, DWORD tag) {
  DWORD total = 0;
  if (SDKCMGetPartialProfileElement(profile, tag, 0, nullptr, &total) != kSucceeded || total == 0) return;
  for (const DWORD offset : {DWORD{0}, total / 2}) {
    const DWORD room = total - offset;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[room]);
    DWORD size = room;
    if (SDKCMGetPartialProfileElement(profile, tag, offset, buffer.get(), &size) == kSucceeded) {
      fuzz::Require(size <= room, "a tag's bytes fit the room given");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzz::TempFile file(".icc");
  file.Write(data, size);

  CMPROFILE profile = nullptr;
  if (SDKCMOpenProfile(file.Path(), &profile) != kSucceeded) return 0;
  std::unique_ptr<uint8_t[]> header(new uint8_t[CM_PROFILE_HEADER_SIZE]);
  fuzz::Require(SDKCMGetProfileHeader(profile, header.get()) == kSucceeded, "an opened profile has a header");
  for (const DWORD tag : kTags) ReadTag(profile, tag);
  fuzz::Require(SDKCMCloseProfile(profile) == kSucceeded, "an opened profile closes");
  return 0;
}

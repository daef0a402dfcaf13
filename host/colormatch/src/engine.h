// The colour engine behind BOM7300ColorMatch: open profiles and colour
// worlds on Little CMS, and the registry of the library's live objects.
//
// A handle given out by the library is the address of one of its objects.
// Every entry point looks the handle up among the live objects of its kind
// before it touches it, so null, closed and foreign handles fail cleanly.
// Looking up holds the registry's lock shared for the whole call; closing
// and disposing hold it exclusively, so an object never goes while a call
// uses it.
#pragma once

#include <lcms2.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_set>
#include <vector>

#include "bom7300colormatch.h"

namespace colormatch {

// The failure result of the int entry points.
inline constexpr int kFailed = -1;
inline constexpr int kSucceeded = 0;

inline constexpr int kTableCount = 5;      // tables in the lut record
inline constexpr int kTableEntries = 256;  // entries of each table
inline constexpr int kMaxComponents = 4;
// Grid points per input component of the table SDKCMCreatLUT fills.
inline constexpr int kGridPoints = 17;

// An open profile: the lcms2 profile, its header as the file holds it, and
// the file's bytes (kept so a colour world can rebuild the profile later).
struct Profile {
  Profile() = default;
  ~Profile() {
    if (handle != nullptr) cmsCloseProfile(handle);
  }
  Profile(const Profile &) = delete;
  Profile &operator=(const Profile &) = delete;

  cmsHPROFILE handle = nullptr;
  uint8_t header[CM_PROFILE_HEADER_SIZE] = {};
  std::vector<uint8_t> bytes;
};

// A colour world: the lcms2 transform (8 bits per component, no pixel
// cache) and the tables applied around it. Table 0 maps every input
// component before the transform, tables 1-4 output components 0-3 after
// it; an identity table is not applied at all.
struct World {
  World() = default;
  ~World() {
    if (transform != nullptr) cmsDeleteTransform(transform);
  }
  World(const World &) = delete;
  World &operator=(const World &) = delete;

  cmsHTRANSFORM transform = nullptr;
  uint32_t intent = 0;
  int inComponents = 0;
  int outComponents = 0;
  cmsColorSpaceSignature inSpace{};
  cmsColorSpaceSignature outSpace{};
  uint8_t tables[kTableCount][kTableEntries] = {};
  bool applies[kTableCount] = {};  // the table is not the identity
  bool anyTable = false;
  std::vector<uint8_t> sourceBytes;  // the profiles, for the device link
  std::vector<uint8_t> destinationBytes;
};

// The live objects of one kind.
template <typename Object>
class LiveSet {
 public:
  // The object becomes live; its address is its handle.
  Object *Add(std::unique_ptr<Object> object) {
    std::unique_lock lock(mutex_);
    live_.insert(object.get());
    return object.release();
  }
  // Ends a live object; false when the handle is not one.
  bool Destroy(const void *handle) {
    std::unique_lock lock(mutex_);
    auto found = live_.find(static_cast<Object *>(const_cast<void *>(handle)));
    if (handle == nullptr || found == live_.end()) return false;
    delete *found;
    live_.erase(found);
    return true;
  }
  // Runs `use` on the live object under the shared lock; `failure` when
  // the handle is not live.
  template <typename Result, typename Use>
  Result With(const void *handle, Result failure, Use use) {
    std::shared_lock lock(mutex_);
    auto found = live_.find(static_cast<Object *>(const_cast<void *>(handle)));
    if (handle == nullptr || found == live_.end()) return failure;
    return use(**found);
  }
  // The same for two handles of this kind at once.
  template <typename Result, typename Use>
  Result WithTwo(const void *first, const void *second, Result failure, Use use) {
    std::shared_lock lock(mutex_);
    auto one = live_.find(static_cast<Object *>(const_cast<void *>(first)));
    auto two = live_.find(static_cast<Object *>(const_cast<void *>(second)));
    if (first == nullptr || second == nullptr || one == live_.end() || two == live_.end()) return failure;
    return use(**one, **two);
  }

 private:
  std::shared_mutex mutex_;
  std::unordered_set<Object *> live_;
};

LiveSet<Profile> &LiveProfiles();
LiveSet<World> &LiveWorlds();

// 1, 3 or 4 for the grey, RGB and CMYK spaces; 0 for any other.
int ComponentsOf(cmsColorSpaceSignature space);
// The lcms2 8-bit pixel format of such a space.
cmsUInt32Number PixelFormatOf(cmsColorSpaceSignature space);

// Converts `rows` rows of `width` pixels: source rows `sourceStride` bytes
// apart, destination rows `destinationStride` apart, tables applied. The
// two may be the same memory when the component counts are equal.
void ConvertRows(const World &world, const uint8_t *source, size_t sourceStride, uint8_t *destination,
                 size_t destinationStride, int32_t width, int32_t rows);

}  // namespace colormatch

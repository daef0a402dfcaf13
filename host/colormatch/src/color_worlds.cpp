// Colour worlds: creation from two open profiles and a lut record, the
// component counts, and disposal.
#include <cstring>
#include <memory>

#include "engine.h"

namespace colormatch {
namespace {

constexpr uint32_t kLastIntent = INTENT_ABSOLUTE_COLORIMETRIC;  // ICC numbers 0-3

bool IsIdentity(const uint8_t *table) {
  for (int i = 0; i < kTableEntries; ++i) {
    if (table[i] != i) return false;
  }
  return true;
}

void TakeTables(World *world, const uint8_t *lutRecord) {
  for (int t = 0; t < kTableCount; ++t) {
    uint8_t *table = world->tables[t];
    if (lutRecord != nullptr) {
      std::memcpy(table, lutRecord + t * kTableEntries, kTableEntries);
    } else {
      for (int i = 0; i < kTableEntries; ++i) table[i] = static_cast<uint8_t>(i);
    }
    // Output tables past the world's components are never applied.
    const bool used = t == 0 || t <= world->outComponents;
    world->applies[t] = used && !IsIdentity(table);
    world->anyTable = world->anyTable || world->applies[t];
  }
}

}  // namespace

LiveSet<World> &LiveWorlds() {
  // Ends with the library: a module loaded again starts with none.
  static LiveSet<World> live;
  return live;
}

int ComponentsOf(cmsColorSpaceSignature space) {
  switch (space) {
    case cmsSigGrayData:
      return 1;
    case cmsSigRgbData:
      return 3;
    case cmsSigCmykData:
      return 4;
    default:
      return 0;
  }
}

cmsUInt32Number PixelFormatOf(cmsColorSpaceSignature space) {
  switch (space) {
    case cmsSigGrayData:
      return TYPE_GRAY_8;
    case cmsSigRgbData:
      return TYPE_RGB_8;
    default:
      return TYPE_CMYK_8;
  }
}

}  // namespace colormatch

using namespace colormatch;

extern "C" {

CMCOLORWORLD WINAPI SDKCMCreateColorWorld(DWORD intent, CMPROFILE source, int32_t /*reserved*/,
                                          CMPROFILE destination, const uint8_t *lutRecord) {
  if (intent > kLastIntent) return nullptr;
  auto world = std::make_unique<World>();
  world->intent = intent;
  const bool opened =
      LiveProfiles().WithTwo(source, destination, false, [&](const Profile &from, const Profile &to) {
      world->inSpace = cmsGetColorSpace(from.handle);
      world->outSpace = cmsGetColorSpace(to.handle);
      world->inComponents = ComponentsOf(world->inSpace);
      world->outComponents = ComponentsOf(world->outSpace);
      if (world->inComponents == 0 || world->outComponents == 0) return false;
      world->transform = cmsCreateTransform(from.handle, PixelFormatOf(world->inSpace), to.handle,
                                            PixelFormatOf(world->outSpace), intent, cmsFLAGS_NOCACHE);
      if (world->transform == nullptr) return false;
      world->sourceBytes = from.bytes;
      world->destinationBytes = to.bytes;
      return true;
      });
  if (!opened) return nullptr;
  TakeTables(world.get(), lutRecord);
  return LiveWorlds().Add(std::move(world));
}

int WINAPI SDKCMDisposeColorWorld(CMCOLORWORLD world) { return LiveWorlds().Destroy(world) ? kSucceeded : kFailed; }

int WINAPI SDKCMGetNumsOfInPixComp(CMCOLORWORLD world) {
  return LiveWorlds().With(world, 0, [](const World &w) { return w.inComponents; });
}

int WINAPI SDKCMGetNumsOfOutPixComp(CMCOLORWORLD world) {
  return LiveWorlds().With(world, 0, [](const World &w) { return w.outComponents; });
}

}  // extern "C"

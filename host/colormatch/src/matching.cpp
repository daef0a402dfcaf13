// Matching through a colour world: pixel maps, plane maps, the sampled
// grid table and the world as a device-link profile.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine.h"

namespace colormatch {
namespace {

// Bytes of one row of `width` pixels of `components` bytes, or -1 when the
// map cannot hold it.
int64_t RowBytes(int32_t width, int32_t components) { return static_cast<int64_t>(width) * components; }

bool MapFits(int32_t width, int32_t rows, int32_t components, int32_t rowBytes, const void *pixels) {
  return width >= 0 && rows >= 0 && pixels != nullptr && rowBytes >= RowBytes(width, components);
}

void ApplyTable(const uint8_t *table, uint8_t *bytes, size_t count, size_t step) {
  for (size_t i = 0; i < count; i += step) bytes[i] = table[bytes[i]];
}

bool Overlap(const uint8_t *a, size_t aBytes, const uint8_t *b, size_t bBytes) {
  return a < b + bBytes && b < a + aBytes;
}

// The 8-bit level of grid point i of kGridPoints.
uint8_t GridLevel(int i) { return static_cast<uint8_t>((i * 255 + (kGridPoints - 1) / 2) / (kGridPoints - 1)); }

// A transform that carries the world's tables inside lcms2's own pipeline:
// linearisation links before and after the two profiles.
cmsHTRANSFORM TransformWithTables(const World &world) {
  cmsToneCurve *before[kMaxComponents] = {};
  cmsToneCurve *after[kMaxComponents] = {};
  auto curveOf = [](const uint8_t *table) {
    cmsUInt16Number values[kTableEntries];
    for (int i = 0; i < kTableEntries; ++i) values[i] = static_cast<cmsUInt16Number>(table[i] * 257);
    return cmsBuildTabulatedToneCurve16(nullptr, kTableEntries, values);
  };
  for (int c = 0; c < world.inComponents; ++c) before[c] = curveOf(world.tables[0]);
  for (int c = 0; c < world.outComponents; ++c) after[c] = curveOf(world.tables[1 + c]);
  cmsHPROFILE chain[4] = {
      cmsCreateLinearizationDeviceLink(world.inSpace, before),
      cmsOpenProfileFromMem(world.sourceBytes.data(), static_cast<cmsUInt32Number>(world.sourceBytes.size())),
      cmsOpenProfileFromMem(world.destinationBytes.data(),
                            static_cast<cmsUInt32Number>(world.destinationBytes.size())),
      cmsCreateLinearizationDeviceLink(world.outSpace, after),
  };
  cmsHTRANSFORM transform = nullptr;
  if (std::all_of(std::begin(chain), std::end(chain), [](cmsHPROFILE p) { return p != nullptr; })) {
    transform = cmsCreateMultiprofileTransform(chain, 4, PixelFormatOf(world.inSpace),
                                               PixelFormatOf(world.outSpace), world.intent,
                                               cmsFLAGS_NOCACHE | cmsFLAGS_NOOPTIMIZE);
  }
  for (cmsHPROFILE p : chain) {
    if (p != nullptr) cmsCloseProfile(p);
  }
  for (int c = 0; c < kMaxComponents; ++c) {
    if (before[c] != nullptr) cmsFreeToneCurve(before[c]);
    if (after[c] != nullptr) cmsFreeToneCurve(after[c]);
  }
  return transform;
}

}  // namespace

void ConvertRows(const World &world, const uint8_t *source, size_t sourceStride, uint8_t *destination,
                 size_t destinationStride, int32_t width, int32_t rows) {
  if (width <= 0 || rows <= 0) return;
  const size_t inBytes = static_cast<size_t>(width) * static_cast<size_t>(world.inComponents);
  const size_t outBytes = static_cast<size_t>(width) * static_cast<size_t>(world.outComponents);
  // The input as the transform must see it: through table 0, or a copy
  // when the output would overwrite input not yet read.
  std::vector<uint8_t> staged;
  const size_t sourceSpan = sourceStride * static_cast<size_t>(rows - 1) + inBytes;
  const size_t destinationSpan = destinationStride * static_cast<size_t>(rows - 1) + outBytes;
  const bool sameLayout = source == destination && inBytes == outBytes && sourceStride == destinationStride;
  if (world.applies[0] || (!sameLayout && Overlap(source, sourceSpan, destination, destinationSpan))) {
    staged.resize(inBytes * static_cast<size_t>(rows));
    for (int32_t r = 0; r < rows; ++r) {
      std::memcpy(staged.data() + inBytes * static_cast<size_t>(r), source + sourceStride * static_cast<size_t>(r),
                  inBytes);
    }
    if (world.applies[0]) ApplyTable(world.tables[0], staged.data(), staged.size(), 1);
    source = staged.data();
    sourceStride = inBytes;
  }
  cmsDoTransformLineStride(world.transform, source, destination, static_cast<cmsUInt32Number>(width),
                           static_cast<cmsUInt32Number>(rows), static_cast<cmsUInt32Number>(sourceStride),
                           static_cast<cmsUInt32Number>(destinationStride), 0, 0);
  for (int c = 0; c < world.outComponents; ++c) {
    if (!world.applies[1 + c]) continue;
    for (int32_t r = 0; r < rows; ++r) {
      ApplyTable(world.tables[1 + c], destination + destinationStride * static_cast<size_t>(r) + c, outBytes,
                 static_cast<size_t>(world.outComponents));
    }
  }
}

}  // namespace colormatch

using namespace colormatch;

extern "C" {

int WINAPI SDKCMMatchPixelMap(CMCOLORWORLD world, const CMPixelMap *source, CMPixelMap *destination) {
  if (source == nullptr || destination == nullptr) return kFailed;
  return LiveWorlds().With(world, kFailed, [&](const World &w) {
    if (source->components != w.inComponents || destination->components != w.outComponents) return kFailed;
    if (source->width != destination->width || source->rows != destination->rows) return kFailed;
    if (!MapFits(source->width, source->rows, source->components, source->rowBytes, source->pixels) ||
        !MapFits(destination->width, destination->rows, destination->components, destination->rowBytes,
                 destination->pixels)) {
      return kFailed;
    }
    ConvertRows(w, source->pixels, static_cast<size_t>(source->rowBytes), destination->pixels,
                static_cast<size_t>(destination->rowBytes), source->width, source->rows);
    return kSucceeded;
  });
}

// Planar buffers: plane c holds component c, rows rowBytes apart.
int WINAPI SDKCMMatchPlaneMap(CMCOLORWORLD world, const CMPlaneMap *source, CMPlaneMap *destination) {
  if (source == nullptr || destination == nullptr) return kFailed;
  return LiveWorlds().With(world, kFailed, [&](const World &w) {
    if (source->components != w.inComponents || destination->components != w.outComponents) return kFailed;
    if (source->width != destination->width || source->rows != destination->rows) return kFailed;
    for (int c = 0; c < w.inComponents; ++c) {
      if (!MapFits(source->width, source->rows, 1, source->rowBytes, source->planes[c])) return kFailed;
    }
    for (int c = 0; c < w.outComponents; ++c) {
      if (!MapFits(destination->width, destination->rows, 1, destination->rowBytes, destination->planes[c])) {
        return kFailed;
      }
    }
    const auto width = static_cast<size_t>(source->width);
    std::vector<uint8_t> in(width * static_cast<size_t>(w.inComponents));
    std::vector<uint8_t> out(width * static_cast<size_t>(w.outComponents));
    for (int32_t r = 0; r < source->rows; ++r) {
      const size_t inAt = static_cast<size_t>(source->rowBytes) * static_cast<size_t>(r);
      const size_t outAt = static_cast<size_t>(destination->rowBytes) * static_cast<size_t>(r);
      for (size_t x = 0; x < width; ++x) {
        for (int c = 0; c < w.inComponents; ++c) in[x * static_cast<size_t>(w.inComponents) + static_cast<size_t>(c)] = source->planes[c][inAt + x];
      }
      ConvertRows(w, in.data(), in.size(), out.data(), out.size(), source->width, 1);
      for (size_t x = 0; x < width; ++x) {
        for (int c = 0; c < w.outComponents; ++c) destination->planes[c][outAt + x] = out[x * static_cast<size_t>(w.outComponents) + static_cast<size_t>(c)];
      }
    }
    return kSucceeded;
  });
}

// The world sampled on kGridPoints levels per input component, the first
// component varying slowest: kGridPoints^in entries of out bytes each.
int WINAPI SDKCMCreatLUT(CMCOLORWORLD world, uint8_t *table, DWORD size) {
  if (table == nullptr) return kFailed;
  return LiveWorlds().With(world, kFailed, [&](const World &w) {
    size_t entries = 1;
    for (int c = 0; c < w.inComponents; ++c) entries *= kGridPoints;
    if (size < entries * static_cast<size_t>(w.outComponents)) return kFailed;
    std::vector<uint8_t> grid(entries * static_cast<size_t>(w.inComponents));
    for (size_t e = 0; e < entries; ++e) {
      size_t rest = e;
      for (int c = w.inComponents - 1; c >= 0; --c) {
        grid[e * static_cast<size_t>(w.inComponents) + static_cast<size_t>(c)] =
            GridLevel(static_cast<int>(rest % kGridPoints));
        rest /= kGridPoints;
      }
    }
    ConvertRows(w, grid.data(), grid.size(), table, entries * static_cast<size_t>(w.outComponents),
                static_cast<int32_t>(entries), 1);
    return kSucceeded;
  });
}

// The world as an ICC device-link profile in `block`. *size gives the
// block's room and receives the profile's size; a null block asks for the
// size only.
int WINAPI SDKCMConvertColorWorldToIPB(CMCOLORWORLD world, uint8_t *block, DWORD *size) {
  if (size == nullptr) return kFailed;
  const DWORD room = *size;
  *size = 0;
  return LiveWorlds().With(world, kFailed, [&](const World &w) {
    cmsHTRANSFORM withTables = w.anyTable ? TransformWithTables(w) : nullptr;
    if (w.anyTable && withTables == nullptr) return kFailed;
    cmsHPROFILE link = cmsTransform2DeviceLink(w.anyTable ? withTables : w.transform, 4.3, 0);
    int result = kFailed;
    cmsUInt32Number needed = 0;
    if (link != nullptr && cmsSaveProfileToMem(link, nullptr, &needed)) {
      *size = needed;
      if (block == nullptr) {
        result = kSucceeded;
      } else if (room >= needed && cmsSaveProfileToMem(link, block, &needed)) {
        result = kSucceeded;
      }
    }
    if (link != nullptr) cmsCloseProfile(link);
    if (withTables != nullptr) cmsDeleteTransform(withTables);
    return result;
  });
}

}  // extern "C"

#include "firmware/platform/static_constructors.h"

#include <cstddef>

#include "firmware/devices/io_port.h"
#include "firmware/devices/machine_definition.h"

namespace {

using StaticConstructor = void (*)();

// Run from the last entry to the first: the machine definition builds the
// global objects first, then the cached register values of the 32-bit and
// of the 16-bit input-port registries are cleared.
constexpr StaticConstructor kStaticConstructors[] = {
    ClearInputPortCacheWord,
    ClearInputPortCacheLong,
    ConstructGlobalsEntry,
};

}  // namespace

void RunStaticConstructors() {
  for (size_t i = sizeof kStaticConstructors / sizeof kStaticConstructors[0]; i-- > 0;) kStaticConstructors[i]();
}

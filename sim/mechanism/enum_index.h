// The position of an enumerator in its enumeration, for indexing the
// mechanism's tables.
#pragma once

#include <cstdint>

namespace sim {

template <typename E>
constexpr uint32_t Index(E e) {
  return static_cast<uint32_t>(e);
}

}  // namespace sim

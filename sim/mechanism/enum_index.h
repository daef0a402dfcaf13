// The position of an enumerator in its enumeration, for indexing the
// mechanism's tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace sim {

template <typename E>
constexpr uint32_t Index(E e) {
  return static_cast<uint32_t>(e);
}

// The enumerator whose name in `names` (in enumeration order) is pszName.
template <typename E, size_t N>
bool ParseEnumName(const char* const (&names)[N], const char* pszName, E* pValue) {
  for (size_t i = 0; i < N; ++i) {
    if (std::strcmp(pszName, names[i]) == 0) {
      *pValue = static_cast<E>(i);
      return true;
    }
  }
  return false;
}

}  // namespace sim

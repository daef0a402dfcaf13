// Long-lived firmware objects are static globals whose constexpr
// constructor does nothing observable, so every global is constant-
// initialised (zero, as after reset) and the firmware has no dynamic
// initialisers. The machine's construction list then builds each object in
// its fixed order, in place.
#pragma once

#include <new>

namespace hal {

template <class T, class... Args>
T& ConstructGlobal(T& object, Args&&... args) {
  return *::new (static_cast<void*>(&object)) T(static_cast<Args&&>(args)...);
}

}  // namespace hal

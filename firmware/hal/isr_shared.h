// A word shared between a task and an interrupt handler or a device (DMA,
// DSP). On the target every access is a volatile access; on the virtual
// board every access is also a point where time passes, so a task spinning
// on the word lets the writer run.
#pragma once

#include <cstdint>

namespace hal {

// Marks the start and the end of one access to a shared word.
void SharedAccessBegin(const volatile void* pWord, bool bWrite);
void SharedAccessEnd();

template <class T>
class IsrShared {
 public:
  constexpr IsrShared() : m_value() {}
  constexpr explicit IsrShared(T value) : m_value(value) {}
  IsrShared(const IsrShared&) = delete;
  IsrShared& operator=(const IsrShared&) = delete;

  T Load() const {
    SharedAccessBegin(&m_value, false);
    const T value = m_value;
    SharedAccessEnd();
    return value;
  }
  void Store(T value) {
    SharedAccessBegin(&m_value, true);
    m_value = value;
    SharedAccessEnd();
  }
  operator T() const { return Load(); }
  IsrShared& operator=(T value) {
    Store(value);
    return *this;
  }

 private:
  volatile T m_value;
};

}  // namespace hal

// ClockEvent: the work of one scheduled clock event, a callable stored
// inside the event record. Device models schedule small lambdas (a `this`
// and a value or two); those live in the record itself, so scheduling an
// event allocates nothing. A larger callable is kept on the heap instead.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace sim {

class ClockEvent {
 public:
  static constexpr size_t kInlineBytes = 48;

  ClockEvent() = default;
  template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, ClockEvent>>>
  ClockEvent(F&& fn) {  // NOLINT(google-explicit-constructor): a lambda is an event
    using Fn = std::decay_t<F>;
    if constexpr (FitsInline<Fn>()) {
      ::new (static_cast<void*>(m_storage)) Fn(std::forward<F>(fn));
      m_ops = &kInlineOps<Fn>;
    } else {
      ::new (static_cast<void*>(m_storage)) Fn*(new Fn(std::forward<F>(fn)));
      m_ops = &kHeapOps<Fn>;
    }
  }
  ClockEvent(ClockEvent&& other) noexcept { TakeFrom(other); }
  ClockEvent& operator=(ClockEvent&& other) noexcept {
    if (this != &other) {
      Reset();
      TakeFrom(other);
    }
    return *this;
  }
  ClockEvent(const ClockEvent&) = delete;
  ClockEvent& operator=(const ClockEvent&) = delete;
  ~ClockEvent() { Reset(); }

  explicit operator bool() const { return m_ops != nullptr; }
  void operator()() { m_ops->invoke(m_storage); }
  void Reset() {
    if (m_ops != nullptr) m_ops->destroy(m_storage);
    m_ops = nullptr;
  }

 private:
  struct Ops {
    void (*invoke)(void* storage);
    void (*move)(void* from, void* to);  // constructs at `to`, destroys `from`
    void (*destroy)(void* storage);
  };

  template <class Fn>
  static constexpr bool FitsInline() {
    return sizeof(Fn) <= kInlineBytes && alignof(Fn) <= alignof(std::max_align_t) &&
           std::is_nothrow_move_constructible_v<Fn>;
  }

  template <class Fn>
  static constexpr Ops kInlineOps = {
      [](void* s) { (*static_cast<Fn*>(s))(); },
      [](void* from, void* to) {
        ::new (to) Fn(std::move(*static_cast<Fn*>(from)));
        static_cast<Fn*>(from)->~Fn();
      },
      [](void* s) { static_cast<Fn*>(s)->~Fn(); },
  };
  template <class Fn>
  static constexpr Ops kHeapOps = {
      [](void* s) { (**static_cast<Fn**>(s))(); },
      [](void* from, void* to) { ::new (to) Fn*(*static_cast<Fn**>(from)); },
      [](void* s) { delete *static_cast<Fn**>(s); },
  };

  void TakeFrom(ClockEvent& other) noexcept {
    if (other.m_ops == nullptr) return;
    other.m_ops->move(other.m_storage, m_storage);
    m_ops = other.m_ops;
    other.m_ops = nullptr;
  }

  alignas(std::max_align_t) unsigned char m_storage[kInlineBytes];
  const Ops* m_ops = nullptr;
};

}  // namespace sim

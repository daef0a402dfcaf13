// The handle registry, the dispatch of ReadFile/WriteFile/waits/CloseHandle
// to the object behind a handle, and handle kinds registered from outside.
//
// A handle is a slot index and a generation number: a handle that was
// closed never finds the slot's next occupant. Values are multiples of four
// and never 0 or INVALID_HANDLE_VALUE.
#include "runtime.h"

#include <algorithm>

namespace w32 {
namespace {

constexpr unsigned kIndexBits = 20;
constexpr uint32_t kMaxSlots = (1u << kIndexBits) - 1;

struct Slot {
  uint32_t generation = 1;
  std::shared_ptr<Object> object;
};

// Guarded by the runtime lock.
struct HandleTable {
  std::vector<Slot> slots;
  std::deque<uint32_t> free;  // oldest freed first, so a slot rests long before reuse
};

HandleTable &Table() {
  static HandleTable *table = new HandleTable();
  return *table;
}

HANDLE Encode(uint32_t index, uint32_t generation) {
  uint64_t value = (static_cast<uint64_t>(generation) << (kIndexBits + 2)) | (static_cast<uint64_t>(index + 1) << 2);
  return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
}

Slot *FindLocked(HANDLE handle) {
  uint64_t value = reinterpret_cast<uintptr_t>(handle);
  if (value == 0 || (value & 3u) != 0) return nullptr;
  uint64_t field = (value >> 2) & ((1u << kIndexBits) - 1);
  if (field == 0) return nullptr;
  uint64_t generation = value >> (kIndexBits + 2);
  HandleTable &t = Table();
  uint64_t index = field - 1;
  if (index >= t.slots.size()) return nullptr;
  Slot &slot = t.slots[index];
  if (!slot.object || slot.generation != generation) return nullptr;
  return &slot;
}

// An object of a kind registered through W32X_CreateHandle.
class ForeignObject final : public Object {
 public:
  ForeignObject(const W32X_HANDLE_KIND *kind, void *object) : kind_(kind), object_(object) {}
  ~ForeignObject() override {
    if (armed_ && kind_->Close != nullptr) kind_->Close(object_);
  }
  const char *KindName() const override { return kind_->name != nullptr ? kind_->name : "foreign"; }
  BOOL Read(void *buffer, DWORD bytes, DWORD *done) override {
    if (kind_->Read == nullptr) return Object::Read(buffer, bytes, done);
    return kind_->Read(object_, buffer, bytes, done);
  }
  BOOL Write(const void *buffer, DWORD bytes, DWORD *done) override {
    if (kind_->Write == nullptr) return Object::Write(buffer, bytes, done);
    return kind_->Write(object_, buffer, bytes, done);
  }
  void CancelIo() override {
    if (kind_->CancelIo != nullptr) kind_->CancelIo(object_);
  }
  DWORD Wait(DWORD milliseconds) override {
    if (kind_->Wait == nullptr) return Object::Wait(milliseconds);
    return kind_->Wait(object_, milliseconds);
  }
  bool Is(const W32X_HANDLE_KIND *kind) const { return kind_ == kind; }
  void *Payload() const { return object_; }
  // The object was never handed out: it stays its creator's.
  void Disarm() { armed_ = false; }

 private:
  const W32X_HANDLE_KIND *kind_;
  void *object_;
  bool armed_ = true;
};

// Marks the calling thread's ReadFile/WriteFile as pending on an object, so
// that TerminateThread and CloseHandle can cancel it.
class PendingIo {
 public:
  PendingIo(ThreadRecord &me, std::shared_ptr<Object> object) : me_(me) {
    std::lock_guard<std::mutex> lk(Rt().lock);
    admitted_ = !me.terminated;
    if (admitted_) {
      me.pendingIo = std::move(object);
      me.ioCancelled = false;
    }
  }
  ~PendingIo() {
    std::shared_ptr<Object> dropped;
    {
      std::lock_guard<std::mutex> lk(Rt().lock);
      dropped = std::move(me_.pendingIo);
      me_.ioCancelled = false;
    }
  }
  PendingIo(const PendingIo &) = delete;
  PendingIo &operator=(const PendingIo &) = delete;
  bool admitted() const { return admitted_; }

 private:
  ThreadRecord &me_;
  bool admitted_ = false;
};

template <class Op>
BOOL Transfer(HANDLE handle, DWORD *done, LPOVERLAPPED overlapped, const void *buffer, DWORD bytes, Op op) {
  if (done == nullptr || overlapped != nullptr) {
    SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *done = 0;
  if (buffer == nullptr && bytes != 0) {
    SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<Object> object = LookupHandle(handle);
  if (!object) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  ThreadRecord &me = Self();
  PendingIo pending(me, object);
  if (!pending.admitted()) {
    SetError(ERROR_OPERATION_ABORTED);
    return FALSE;
  }
  return op(*object);
}

}  // namespace

BOOL Object::Read(void *, DWORD, DWORD *) {
  SetError(ERROR_INVALID_FUNCTION);
  return FALSE;
}

BOOL Object::Write(const void *, DWORD, DWORD *) {
  SetError(ERROR_INVALID_FUNCTION);
  return FALSE;
}

DWORD Object::Wait(DWORD) {
  SetError(ERROR_INVALID_HANDLE);
  return WAIT_FAILED;
}

HANDLE AddHandle(std::shared_ptr<Object> object) {
  std::lock_guard<std::mutex> lk(Rt().lock);
  HandleTable &t = Table();
  uint32_t index;
  if (!t.free.empty()) {
    index = t.free.front();
    t.free.pop_front();
  } else {
    if (t.slots.size() >= kMaxSlots) return nullptr;
    t.slots.emplace_back();
    index = static_cast<uint32_t>(t.slots.size() - 1);
  }
  Slot &slot = t.slots[index];
  slot.object = std::move(object);
  return Encode(index, slot.generation);
}

std::shared_ptr<Object> LookupHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lk(Rt().lock);
  Slot *slot = FindLocked(handle);
  return slot != nullptr ? slot->object : nullptr;
}

std::shared_ptr<Object> RemoveHandleLocked(HANDLE handle) {
  Slot *slot = FindLocked(handle);
  if (slot == nullptr) return nullptr;
  std::shared_ptr<Object> object = std::move(slot->object);
  slot->object.reset();
  slot->generation = slot->generation == UINT32_MAX >> 2 ? 1 : slot->generation + 1;
  HandleTable &t = Table();
  t.free.push_back(static_cast<uint32_t>(slot - t.slots.data()));
  return object;
}

}  // namespace w32

using namespace w32;

BOOL WINAPI CloseHandle(HANDLE hObject) noexcept {
  return Guard<BOOL>(FALSE, [&] {
    std::shared_ptr<Object> object;
    bool pending = false;
    {
      std::lock_guard<std::mutex> lk(Rt().lock);
      object = RemoveHandleLocked(hObject);
      if (!object) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
      }
      for (ThreadRecord *r : Rt().records) {
        if (r->pendingIo == object) {
          r->ioCancelled = true;
          Wake(*r);
          pending = true;
        }
      }
    }
    if (pending) object->CancelIo();
    object.reset();  // the object ends here, or when its last pending operation returns
    return TRUE;
  });
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped) noexcept {
  return Guard<BOOL>(FALSE, [&] {
    return Transfer(hFile, lpNumberOfBytesRead, lpOverlapped, lpBuffer, nNumberOfBytesToRead,
                    [&](Object &o) { return o.Read(lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead); });
  });
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped) noexcept {
  return Guard<BOOL>(FALSE, [&] {
    return Transfer(hFile, lpNumberOfBytesWritten, lpOverlapped, lpBuffer, nNumberOfBytesToWrite,
                    [&](Object &o) { return o.Write(lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten); });
  });
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) noexcept {
  return Guard<DWORD>(WAIT_FAILED, [&] {
    std::shared_ptr<Object> object = LookupHandle(hHandle);
    if (!object) {
      SetError(ERROR_INVALID_HANDLE);
      return WAIT_FAILED;
    }
    return object->Wait(dwMilliseconds);
  });
}

HANDLE W32X_CreateHandle(const W32X_HANDLE_KIND *kind, void *object) noexcept {
  if (kind == nullptr) {
    SetError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::shared_ptr<ForeignObject> holder;
  try {
    holder = std::make_shared<ForeignObject>(kind, object);
  } catch (const std::bad_alloc &) {
    SetError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE handle = nullptr;
  try {
    handle = AddHandle(holder);
  } catch (const std::bad_alloc &) {
  }
  if (handle == nullptr) {
    holder->Disarm();
    SetError(ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
  }
  return handle;
}

void *W32X_GetHandleObject(HANDLE handle, const W32X_HANDLE_KIND *kind) noexcept {
  return Guard<void *>(nullptr, [&]() -> void * {
    auto object = LookupAs<ForeignObject>(handle);
    if (!object || !object->Is(kind)) return nullptr;
    return object->Payload();
  });
}

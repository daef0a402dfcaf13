// Global memory blocks. A fixed block's handle is its address; a movable
// block's handle is a separate token whose memory is reached through
// GlobalLock. Every live block is known, so freeing a block twice or
// freeing something else fails with ERROR_INVALID_HANDLE.
#include <cstdlib>
#include <unordered_map>

#include "runtime.h"

namespace w32 {
namespace {

struct Block {
  bool movable;
  void *data;  // null for a movable block of size 0 (a discarded block)
  unsigned locks;
};

// Guarded by the runtime lock.
std::unordered_map<const void *, Block> &Blocks() {
  static auto *blocks = new std::unordered_map<const void *, Block>();
  return *blocks;
}

}  // namespace
}  // namespace w32

using namespace w32;

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) noexcept {
  return Guard<HGLOBAL>(nullptr, [&]() -> HGLOBAL {
    const bool movable = (uFlags & GMEM_MOVEABLE) != 0;
    const bool zero = (uFlags & GMEM_ZEROINIT) != 0;
    void *data = nullptr;
    if (dwBytes != 0 || !movable) {
      size_t size = dwBytes != 0 ? dwBytes : 1;
      data = zero ? std::calloc(1, size) : std::malloc(size);
      if (data == nullptr) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
      }
    }
    void *handle = data;
    if (movable) {
      handle = std::malloc(1);  // a unique token
      if (handle == nullptr) {
        std::free(data);
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
      }
    }
    try {
      std::lock_guard<std::mutex> lk(Rt().lock);
      Blocks().emplace(handle, Block{movable, data, 0});
    } catch (...) {
      if (movable) std::free(handle);
      std::free(data);
      throw;
    }
    return handle;
  });
}

LPVOID WINAPI GlobalLock(HGLOBAL hMem) noexcept {
  std::lock_guard<std::mutex> lk(Rt().lock);
  auto found = Blocks().find(hMem);
  if (found == Blocks().end()) {
    SetError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  Block &b = found->second;
  if (b.data == nullptr) {
    SetError(ERROR_DISCARDED);
    return nullptr;
  }
  if (b.movable) ++b.locks;
  return b.data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL hMem) noexcept {
  std::lock_guard<std::mutex> lk(Rt().lock);
  auto found = Blocks().find(hMem);
  if (found == Blocks().end()) {
    SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  Block &b = found->second;
  if (!b.movable || b.locks == 0) {
    SetError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  if (--b.locks > 0) return TRUE;
  SetError(NO_ERROR);
  return FALSE;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) noexcept {
  Block block{};
  {
    std::lock_guard<std::mutex> lk(Rt().lock);
    auto found = Blocks().find(hMem);
    if (found == Blocks().end()) {
      SetError(ERROR_INVALID_HANDLE);
      return hMem;
    }
    block = found->second;
    Blocks().erase(found);
  }
  std::free(block.data);
  if (block.movable) std::free(hMem);
  return nullptr;
}

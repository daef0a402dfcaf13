#include "sim/host_pages.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>

namespace sim {

HostPages::HostPages(size_t bytes) : m_bytes(bytes) {
  // Reserved rather than committed: SDRAM is one contiguous 128 MB mapping
  // at no cost until used.
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) {
    std::perror("virtual board: host memory");
    std::abort();
  }
  // Only a hint: the mapping works the same without large pages.
  madvise(p, bytes, MADV_HUGEPAGE);
  m_p = static_cast<uint8_t*>(p);
}

HostPages::~HostPages() { munmap(m_p, m_bytes); }

}  // namespace sim

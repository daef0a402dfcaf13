#include "sim/bus.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {
uint8_t* ReserveRam(size_t bytes) {
  // Reserved, zero-filled and only backed where touched: SDRAM is one
  // contiguous 128 MB mapping at no cost until used.
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) {
    std::perror("virtual board: RAM");
    std::abort();
  }
  // Large pages where the host offers them: the firmware fills megabytes
  // of SDRAM at start-up (images, work areas), and a fault per 4 KB page
  // costs more than the copy. Only a hint; the mapping works without.
  madvise(p, bytes, MADV_HUGEPAGE);
  return static_cast<uint8_t*>(p);
}
}  // namespace

Bus::Bus() {
  MapRam(kLowRam.first, kLowRam.last, RegionKind::OnChipRam, "low RAM");
  MapRam(kSharedRam.first, kSharedRam.last, RegionKind::OnChipRam, "shared RAM");
  MapRam(kSdram.first, kSdram.last, RegionKind::Sdram, "SDRAM");
}

Bus::~Bus() {
  for (auto& [p, n] : m_mappings) munmap(p, n);
}

void Bus::Insert(Region region) {
  for (const Region& r : m_regions) {
    if (region.first <= r.last && r.first <= region.last) {
      std::fprintf(stderr, "virtual board: %s overlaps %s\n", region.name.c_str(), r.name.c_str());
      std::abort();
    }
  }
  m_regions.push_back(std::move(region));
  std::sort(m_regions.begin(), m_regions.end(), [](const Region& a, const Region& b) { return a.first < b.first; });
  m_lastHit = nullptr;
}

void Bus::MapDevice(PhysAddr first, PhysAddr last, RegionKind kind, BusDevice* device, std::string name) {
  Insert(Region{first, last, kind, nullptr, device, std::move(name)});
}

void Bus::MapRam(PhysAddr first, PhysAddr last, RegionKind kind, std::string name) {
  const size_t bytes = static_cast<size_t>(last - first) + 1;
  uint8_t* host = ReserveRam(bytes);
  m_mappings.emplace_back(host, bytes);
  Insert(Region{first, last, kind, host, nullptr, std::move(name)});
}

const Bus::Region* Bus::FindSlow(PhysAddr addr, uint32_t bytes) const {
  const uint64_t end = static_cast<uint64_t>(addr) + (bytes == 0 ? 1 : bytes) - 1;
  for (const Region& r : m_regions) {
    if (addr >= r.first && end <= r.last) {
      m_lastHit = &r;
      return &r;
    }
  }
  return nullptr;
}

uint8_t* Bus::RamPointer(PhysAddr addr, uint32_t bytes) const {
  const Region* r = Find(addr, bytes);
  if (r == nullptr || r->host == nullptr) return nullptr;
  return r->host + (addr - r->first);
}

bool Bus::HostToPhys(const void* p, PhysAddr* pAddr) const {
  const auto* b = static_cast<const uint8_t*>(p);
  for (const Region& r : m_regions) {
    if (r.host == nullptr) continue;
    if (b >= r.host && b <= r.host + (r.last - r.first)) {
      *pAddr = r.first + static_cast<PhysAddr>(b - r.host);
      return true;
    }
  }
  return false;
}

}  // namespace sim

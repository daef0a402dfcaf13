#include "sim/bus.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace sim {

Bus::Bus() {
  MapRam(kLowRam.first, kLowRam.last, RegionKind::OnChipRam, "low RAM");
  MapRam(kSharedRam.first, kSharedRam.last, RegionKind::OnChipRam, "shared RAM");
  MapRam(kSdram.first, kSdram.last, RegionKind::Sdram, "SDRAM");
}

Bus::~Bus() = default;

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
  m_ram.push_back(std::make_unique<HostPages>(static_cast<size_t>(last - first) + 1));
  Insert(Region{first, last, kind, m_ram.back()->data(), nullptr, std::move(name)});
}

const Bus::Region* Bus::FindSlow(PhysAddr addr, uint32_t bytes) const {
  const uint64_t end = static_cast<uint64_t>(addr) + (bytes == 0 ? 1 : bytes) - 1;
  // The last region that starts at or below addr is the only one that can
  // hold it (ranges never overlap).
  const auto after = std::upper_bound(m_regions.begin(), m_regions.end(), addr,
                                      [](PhysAddr a, const Region& r) { return a < r.first; });
  if (after == m_regions.begin()) return nullptr;
  const Region& r = *(after - 1);
  if (end > r.last) return nullptr;
  m_lastHit = &r;
  return &r;
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

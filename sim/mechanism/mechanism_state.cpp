#include "sim/mechanism/mechanism_state.h"

#include <cmath>
#include <cstring>

#include "sim/board.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/paper_web_mechanism.h"
#include "sim/mechanism/ribbon_mechanism.h"
#include "sim/mechanism/ribbon_transport.h"

namespace sim {

namespace {

constexpr uint8_t kMagic[4] = {'M', 'E', 'C', 'H'};
constexpr size_t kHeaderBytes = 8;
constexpr size_t kRibbonBytes = 4 + 4 * 8;
constexpr size_t kWebReals = 5;
constexpr size_t kBodyBytes = 4 + 4 * Index(Axis::Count) + 4 + 4 + kWebReals * 8 + 2 * kRibbonBytes;
constexpr uint8_t kWebRoll = 1, kWebAttached = 2, kWebInPath = 4;
constexpr size_t kFileBytes = kHeaderBytes + kBodyBytes + 4;
// A generous bound on any length or coordinate of the mechanism.
constexpr double kLimit = 1.0e7;

class Writer {
 public:
  void U8(uint8_t v) { m_bytes.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void Real(double v) {
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    U32(static_cast<uint32_t>(bits));
    U32(static_cast<uint32_t>(bits >> 32));
  }
  std::vector<uint8_t>& Bytes() { return m_bytes; }

 private:
  std::vector<uint8_t> m_bytes;
};

class Reader {
 public:
  explicit Reader(const uint8_t* p) : m_p(p) {}
  uint8_t U8() { return m_p[m_at++]; }
  uint16_t U16() {
    const uint16_t lo = U8();
    return static_cast<uint16_t>(lo | (U8() << 8));
  }
  uint32_t U32() {
    const uint32_t lo = U16();
    return lo | (static_cast<uint32_t>(U16()) << 16);
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  // A real within +-kLimit; false (and 0) for anything else, NaN included.
  bool Real(double* pValue) {
    const uint64_t lo = U32();
    const uint64_t bits = lo | (static_cast<uint64_t>(U32()) << 32);
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    *pValue = std::isfinite(v) && std::fabs(v) <= kLimit ? v : 0.0;
    return std::isfinite(v) && std::fabs(v) <= kLimit;
  }
  size_t At() const { return m_at; }

 private:
  const uint8_t* m_p;
  size_t m_at = 0;
};

bool Fail(std::string* pError, const char* pszWhy) {
  if (pError != nullptr) *pError = pszWhy;
  return false;
}

}  // namespace

uint32_t MechanismStateChecksum(const uint8_t* pData, size_t size) {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < size; ++i) {
    h ^= pData[i];
    h *= 16777619u;
  }
  return h;
}

std::vector<uint8_t> EncodeMechanismState(const MechanismState& state) {
  Writer w;
  for (uint8_t c : kMagic) w.U8(c);
  w.U16(kMechanismStateVersion);
  w.U16(static_cast<uint16_t>(kBodyBytes));
  w.U8(state.variant == EngineVariant::EM2 ? 0 : 1);
  w.U8(static_cast<uint8_t>(Index(Axis::Count)));
  w.U16(0);
  for (int32_t position : state.axes) w.I32(position);
  w.I32(state.carousel);
  const PaperWeb::Placement& web = state.web;
  w.U8(static_cast<uint8_t>((state.bRoll ? kWebRoll : 0u) | (web.bAttached ? kWebAttached : 0u) |
                            (web.bWeb ? kWebInPath : 0u)));
  w.U8(web.path == WebPath::L ? 0 : 1);
  w.U16(0);
  for (double v : {web.front, web.tail, web.slackMm, web.onRollMm, web.edgeDeg}) w.Real(v);
  for (const MechanismState::Ribbon& r : state.ribbons) {
    w.U8(static_cast<uint8_t>(r.type));
    w.U8(0);
    w.U16(0);
    for (double v : {r.supplyMm, r.takeUpMm, r.slackMm, r.headLine}) w.Real(v);
  }
  std::vector<uint8_t>& bytes = w.Bytes();
  w.U32(MechanismStateChecksum(bytes.data(), bytes.size()));
  return std::move(bytes);
}

bool DecodeMechanismState(const uint8_t* pData, size_t size, MechanismState* pState, std::string* pError) {
  if (size != kFileBytes) return Fail(pError, "not the length of a mechanism state");
  if (std::memcmp(pData, kMagic, sizeof kMagic) != 0) return Fail(pError, "not a mechanism state (magic)");
  Reader r(pData + sizeof kMagic);
  if (r.U16() != kMechanismStateVersion) return Fail(pError, "a mechanism state of another version");
  if (r.U16() != kBodyBytes) return Fail(pError, "a mechanism state of another layout");
  Reader sum(pData + kFileBytes - 4);
  if (sum.U32() != MechanismStateChecksum(pData, kFileBytes - 4)) return Fail(pError, "a damaged mechanism state (checksum)");
  MechanismState s;
  const uint8_t variant = r.U8();
  if (variant > 1) return Fail(pError, "an unknown engine variant");
  s.variant = variant == 0 ? EngineVariant::EM2 : EngineVariant::EM3;
  if (r.U8() != Index(Axis::Count) || r.U16() != 0) return Fail(pError, "a mechanism state of another layout");
  for (int32_t& position : s.axes) position = r.I32();
  s.carousel = r.I32();
  const uint8_t flags = r.U8();
  const uint8_t path = r.U8();
  constexpr uint8_t kWebFlags = kWebRoll | kWebAttached | kWebInPath;
  if ((flags & ~kWebFlags) != 0 || path > 1 || r.U16() != 0) return Fail(pError, "bad paper web flags");
  PaperWeb::Placement& web = s.web;
  s.bRoll = (flags & kWebRoll) != 0;
  web.bAttached = (flags & kWebAttached) != 0;
  web.bWeb = (flags & kWebInPath) != 0;
  web.path = path == 0 ? WebPath::L : WebPath::R;
  bool bReals = r.Real(&web.front) & r.Real(&web.tail) & r.Real(&web.slackMm) & r.Real(&web.onRollMm) &
                r.Real(&web.edgeDeg);
  if (!bReals || web.slackMm < 0 || web.onRollMm < 0 || web.edgeDeg < 0 || web.edgeDeg >= 360.0) {
    return Fail(pError, "a paper web no roll can have");
  }
  for (MechanismState::Ribbon& ribbon : s.ribbons) {
    const uint8_t type = r.U8();
    if (type >= Index(RibbonType::Count) || r.U8() != 0 || r.U16() != 0) return Fail(pError, "an unknown ribbon type");
    ribbon.type = static_cast<RibbonType>(type);
    bReals = r.Real(&ribbon.supplyMm) & r.Real(&ribbon.takeUpMm) & r.Real(&ribbon.slackMm) & r.Real(&ribbon.headLine);
    if (!bReals || ribbon.supplyMm < 0 || ribbon.takeUpMm < 0 || ribbon.slackMm < 0) {
      return Fail(pError, "a ribbon no roll can have");
    }
  }
  *pState = s;
  return true;
}

bool CaptureMechanismState(Board& board, MechanismState* pState) {
  DcMechanism* pDc = board.FindDevice<DcMechanism>();
  if (pDc == nullptr) return false;
  MechanismState s;
  s.variant = pDc->Variant();
  for (uint32_t i = 0; i < Index(Axis::Count); ++i) s.axes[i] = pDc->Position(static_cast<Axis>(i));
  s.carousel = pDc->GetCarousel().Position();
  if (PaperWebMechanism* pWeb = board.FindDevice<PaperWebMechanism>()) {
    s.bRoll = pWeb->Web().HasPaper();
    s.web = pWeb->Web().GetPlacement();
  }
  if (RibbonMechanism* pRibbons = board.FindDevice<RibbonMechanism>()) {
    for (PrintUnit unit : {PrintUnit::L, PrintUnit::R}) {
      const RibbonTransport& model = pRibbons->Unit(unit);
      MechanismState::Ribbon& r = s.ribbons[static_cast<uint32_t>(unit)];
      r.type = model.Type();
      r.supplyMm = model.SupplyLength();
      r.takeUpMm = model.TakeUpLength();
      r.slackMm = model.Slack();
      r.headLine = pRibbons->HeadLine(unit);
    }
  }
  *pState = s;
  return true;
}

void ApplyRibbonState(const MechanismState& state, std::array<RibbonLoad, 2>* pLoads) {
  for (uint32_t u = 0; u < 2; ++u) {
    RibbonLoad& load = (*pLoads)[u];
    const MechanismState::Ribbon& r = state.ribbons[u];
    if (load.type != r.type) continue;  // another ribbon went in
    load.supplyMm = r.supplyMm;
    load.takeUpMm = r.takeUpMm;
    load.slackMm = r.slackMm;
  }
}

bool PlaceMechanism(Board& board, const MechanismState& state, bool bKeepRoll, std::string* pError) {
  DcMechanism* pDc = board.FindDevice<DcMechanism>();
  if (pDc == nullptr) return true;
  if (pDc->Variant() != state.variant) return Fail(pError, "the mechanism state of another engine variant");
  for (uint32_t i = 0; i < Index(Axis::Count); ++i) pDc->PlaceAxis(static_cast<Axis>(i), state.axes[i]);
  pDc->GetCarousel().Place(state.carousel);
  PaperWebMechanism* pWeb = board.FindDevice<PaperWebMechanism>();
  if (pWeb != nullptr && bKeepRoll) pWeb->Place(state.bRoll, state.web);
  if (RibbonMechanism* pRibbons = board.FindDevice<RibbonMechanism>()) {
    for (PrintUnit unit : {PrintUnit::L, PrintUnit::R}) {
      const MechanismState::Ribbon& r = state.ribbons[static_cast<uint32_t>(unit)];
      if (pRibbons->Unit(unit).Type() == r.type) pRibbons->PlaceTapeAt(unit, r.headLine);
    }
  }
  return true;
}

}  // namespace sim

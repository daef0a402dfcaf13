#include "sim/fpga/cis_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "sim/fpga/fpga_config_port.h"

namespace sim {

CisWindow::CisWindow(Board& board, FpgaConfigPort& config) : m_board(board), m_config(config) {
  m_outliers.fill(-1);
  SetPolledSpan(kControl, kControl);
  m_config.AddModeObserver([this](bool) { ResetLogic(); });
  board.GetBus().MapDevice(kBase, kLast, RegionKind::Fpga, this, "fpga-cis");
}

bool CisWindow::Configured() const { return m_config.InUserMode(); }

void CisWindow::ResetLogic() {
  if (m_lineEvent != 0) m_board.Clock().Cancel(m_lineEvent);
  m_lineEvent = 0;
  m_regs.fill(0);
  for (auto& line : m_lines) line.fill(0);
  m_gains.fill(0);
  m_last = kBufferCount - 1;
}

void CisWindow::SetSkew(double pixelsPer1000Lines) {
  m_skew = pixelsPer1000Lines;
  m_skewFrom = m_source ? m_source().travel : 0.0;
}

double CisWindow::EdgeOf(const View& view) const {
  if (!view.bPaper) return -1.0;
  return kDefaultPaperEdge + m_lateral + m_skew * (view.travel - m_skewFrom) / 1000.0;
}

double CisWindow::PaperEdgeNow() const { return m_source ? EdgeOf(m_source()) : -1.0; }

void CisWindow::SetOutlier(uint32_t sample, uint8_t value) {
  m_outliers[sample % kNoiseCycle] = value;
  m_reads.fill(0);
}

void CisWindow::ClearOutliers() {
  m_outliers.fill(-1);
  m_reads.fill(0);
}

double CisWindow::Sensitivity(uint32_t pixel) {
  // By phase of the pattern; 1.0 elsewhere.
  constexpr uint32_t kFirstOddPhase = 7;
  constexpr std::array<double, 3> kOdd = {0.90, 1.10, 0.95};
  constexpr uint32_t kFlatFirst = 20, kFlatLast = 319;
  const uint32_t phase = pixel % kPatternPeriod;
  if (pixel >= kFlatFirst && pixel <= kFlatLast) return 1.0;
  return phase >= kFirstOddPhase && phase < kFirstOddPhase + kOdd.size() ? kOdd[phase - kFirstOddPhase] : 1.0;
}

uint8_t CisWindow::PixelValue(uint32_t led, uint32_t offset, double reflectance, double sensitivity) {
  const double dark = std::max(0, kDarkLevel - static_cast<int32_t>(offset));
  const double value = std::round(dark + static_cast<double>(led) * 2.0 * sensitivity * reflectance);
  return static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
}

uint8_t CisWindow::ApplyGain(uint8_t value, uint8_t gain) {
  if (gain == 0) return value;
  return static_cast<uint8_t>(std::min<uint32_t>(255u, static_cast<uint32_t>(value) * gain / 128u));
}

double CisWindow::Reflectance(const View& view, double edge, uint32_t pixel) const {
  if (m_bTarget) return kTarget;
  if (!view.bPaper || static_cast<double>(pixel) < edge) return kBackground;
  for (const PrintRegion& r : m_prints) {
    if (view.travel >= r.from && view.travel < r.to && pixel >= r.imageEdge) return kPrint;
  }
  return kPaper;
}

bool CisWindow::Reaches(uint32_t offset, uint32_t width, bool bWrite) {
  const bool bRegister = offset == kLed || offset == kOffset || offset == kControl;
  const bool bArray = offset >= kBuffer0 && offset < kGainTable + 2 * kWords &&
                      (offset - kBuffer0) % kBufferStride < 2 * kWords;
  if (width == 2 && (bRegister || bArray)) return true;
  char text[100];
  std::snprintf(text, sizeof text, "cis: %u-byte %s at offset 0x%04X (nothing there)", width, bWrite ? "write" : "read",
                offset);
  m_board.ReportFault(text);
  return false;
}

uint32_t CisWindow::Read(uint32_t offset, uint32_t width) {
  if (!Configured()) return width == 4 ? 0xFFFFFFFFu : width == 2 ? kIdleValue : 0xFFu;
  if (!Reaches(offset, width, false)) return 0;
  if (offset == kControl) {
    const uint32_t status = Fault(Fault::StatusStuck) ? 3u : (m_last + 1) % kBufferCount;
    return (m_regs[kControl / 2] & ~kStatusMask) | (status << kStatusShift);
  }
  if (offset < kBuffer0) return m_regs[offset / 2];
  const uint32_t word = (offset % kBufferStride) / 2;
  if (offset < kGainTable) {
    const int32_t outlier = m_outliers[m_reads[word]++ % kNoiseCycle];
    if (outlier >= 0) return static_cast<uint32_t>(outlier) * 0x0101u;
  }
  const uint8_t* pBytes = offset >= kGainTable ? m_gains.data() : m_lines[offset / kBufferStride - 1].data();
  return pBytes[2 * word] | (static_cast<uint32_t>(pBytes[2 * word + 1]) << 8);
}

void CisWindow::Write(uint32_t offset, uint32_t width, uint32_t value) {
  if (!Configured() || !Reaches(offset, width, true)) return;
  if (offset == kControl) {
    WriteControl(static_cast<uint16_t>(value & ~kStatusMask));
  } else if (offset < kBuffer0) {
    m_regs[offset / 2] = static_cast<uint16_t>(value);
  } else if (offset >= kGainTable) {
    const uint32_t word = (offset - kGainTable) / 2;
    m_gains[2 * word] = static_cast<uint8_t>(value);
    m_gains[2 * word + 1] = static_cast<uint8_t>(value >> 8);
  }
  // The line buffers are the sensor's: a write there is lost.
}

void CisWindow::WriteControl(uint16_t value) {
  const bool bWasEnabled = Enabled();
  m_regs[kControl / 2] = value;
  if (Enabled() && !bWasEnabled) ScheduleLine();
  if (!Enabled() && m_lineEvent != 0) {
    m_board.Clock().Cancel(m_lineEvent);
    m_lineEvent = 0;
  }
}

void CisWindow::ScheduleLine() {
  m_lineEvent = m_board.Clock().ScheduleIn(kLinePeriod, [this] {
    m_lineEvent = 0;
    CompleteLine();
    if (Enabled()) ScheduleLine();
  });
}

void CisWindow::CompleteLine() {
  const View view = m_source ? m_source() : View{};
  const double edge = EdgeOf(view);
  const uint32_t next = (m_last + 1) % kBufferCount;
  const uint32_t led = Fault(Fault::LedDead) ? 0u : m_regs[kLed / 2];
  const uint32_t offset = m_regs[kOffset / 2];
  for (uint32_t p = 0; p < kPixels; ++p) {
    const uint8_t raw = Fault(Fault::SensorDark) ? 0 : PixelValue(led, offset, Reflectance(view, edge, p), Sensitivity(p));
    m_lines[next][p] = ApplyGain(raw, m_gains[p]);
  }
  m_last = next;
  ++m_completed;
  const int32_t traced = view.bPaper ? static_cast<int32_t>(std::lround(std::max(edge, 0.0))) : -1;
  if (traced != m_tracedEdge && m_sink) m_sink("CisLine", traced);
  m_tracedEdge = traced;
}

}  // namespace sim

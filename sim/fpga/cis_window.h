// The contact image sensor (CIS) behind the FPGA's window 0x64040000-
// 0x64044FFF, 16-bit accesses only (any other width, or an offset where the
// window has nothing, is a board fault). It answers while the FPGA's user
// logic runs; without a configuration reads give 0xFFFF and writes are
// lost, and starting the logic resets it.
//
// Registers (offsets): 0x0 LED level, 0x2 offset voltage, 0x4 control and
// status: bit 1 enables the sensor; bits 8-9 (read only) name the buffer of
// the last complete line, 1, 2 and 0 for the buffers at 0x1000, 0x2000 and
// 0x3000, never 3. Line buffers at 0x1000, 0x2000 and 0x3000 and the gain
// table at 0x4000: 614 words each, two pixels a word, the even pixel in the
// low byte. While enabled the sensor completes a line every 500 us into the
// buffer after the last one.
//
// Pixel p of a line: clamp(dark(offset) + LED x 2 x sensitivity(p) x
// reflectance(p), 0, 255), dark(offset) = max(0, 111 - offset), the
// sensitivity 1.0 on pixels 20-319, where the edges are searched, and a
// fixed pattern of period 13 over the pixel number outside them (phases 7,
// 8 and 9 read 0.90, 1.10 and 0.95, every other phase 1.0); then, with a
// gain byte g other than 0, x g / 128 clamped to 255 (a gain of 0 passes
// the pixel as it is). Reflectance: 0.1 where there is no paper (the whole
// line with no paper under the sensor), 1.0 on paper from the paper-edge
// pixel on (80, moved by the lateral offset and by the skew per 1000 lines
// of travel since the skew was set), 0.2125 on print from its image-edge
// pixel on while the travel lies in a print region. At the tuned LED 40
// and offset 60 these read 59, 131 and 68: steps of 72 and 63, multiples
// of 9, so the nine middle values of a 13-pixel window sum to a multiple of
// 9 across an edge and a 13-pixel trimmed-mean filter ramps over it in
// equal steps.
//
// A calibration target put under the sensor replaces the scene: reflectance
// 1.0 on every pixel.
//
// The scene (paper under the sensor, travel in lines) comes from a source
// the board's paper web installs. Fault switches: LED dead (no light),
// sensor dark (every pixel 0), status stuck (bits 8-9 read 3). A noisy
// sensor: every line-buffer word counts its reads, and the reads whose
// count modulo 8 is a chosen sample give both pixels an outlier value.
// Observation: each line's pixels, the lines completed, and "CisLine" in
// the mechanism trace (the paper-edge pixel, -1 without paper) whenever a
// line's scene differs from the last line's.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "sim/board.h"
#include "sim/bus.h"
#include "sim/clock.h"

namespace sim {

class FpgaConfigPort;

class CisWindow final : public BusDevice, public DeviceModel {
 public:
  static constexpr PhysAddr kBase = 0x64040000u;
  static constexpr PhysAddr kLast = 0x64044FFFu;
  static constexpr uint16_t kIdleValue = 0xFFFF;
  static constexpr uint32_t kLed = 0x0, kOffset = 0x2, kControl = 0x4;
  static constexpr uint32_t kBuffer0 = 0x1000, kBufferStride = 0x1000, kGainTable = 0x4000;
  static constexpr uint32_t kBufferCount = 3;
  static constexpr uint32_t kPixels = 1228, kWords = kPixels / 2;
  static constexpr uint16_t kEnable = 0x0002;
  static constexpr uint32_t kStatusShift = 8;
  static constexpr uint16_t kStatusMask = 0x0300;
  static constexpr Nanos kLinePeriod = 500 * kNsPerUs;
  static constexpr double kDefaultPaperEdge = 80.0;
  static constexpr double kBackground = 0.1, kPaper = 1.0, kPrint = 0.2125;
  static constexpr int32_t kDarkLevel = 111;
  static constexpr double kTarget = 1.0;
  static constexpr uint32_t kPatternPeriod = 13;
  static constexpr uint32_t kNoiseCycle = 8;

  // What lies under the sensor now.
  struct View {
    bool bPaper = false;
    double travel = 0.0;  // the web's travel in lines
  };
  // Print under the sensor while the travel lies in [from, to).
  struct PrintRegion {
    double from;
    double to;
    uint32_t imageEdge;
  };
  enum class Fault : uint32_t { LedDead, SensorDark, StatusStuck, Count };

  CisWindow(Board& board, FpgaConfigPort& config);
  CisWindow(const CisWindow&) = delete;
  CisWindow& operator=(const CisWindow&) = delete;

  void SetSceneSource(std::function<View()> source) { m_source = std::move(source); }
  void SetTraceSink(std::function<void(std::string_view, int32_t)> sink) { m_sink = std::move(sink); }

  // ---- the scene ----
  void SetLateralOffset(double pixels) { m_lateral = pixels; }
  // Pixels the edge moves per 1000 lines of travel from now on.
  void SetSkew(double pixelsPer1000Lines);
  void AddPrintRegion(const PrintRegion& region) { m_prints.push_back(region); }
  void ClearPrintRegions() { m_prints.clear(); }
  void SetFault(Fault fault, bool bOn) { m_faults[static_cast<uint32_t>(fault)] = bOn; }
  void SetCalibrationTarget(bool bOn) { m_bTarget = bOn; }
  // Reads number `sample` (modulo 8) of every line-buffer word give `value`
  // from now on; the read counts start again at 0.
  void SetOutlier(uint32_t sample, uint8_t value);
  void ClearOutliers();

  // ---- observation ----
  // A pixel of buffer 0-2 (at 0x1000, 0x2000, 0x3000).
  uint8_t Pixel(uint32_t buffer, uint32_t pixel) const { return m_lines[buffer % kBufferCount][pixel % kPixels]; }
  // The buffer of the last complete line (0-2), and the lines completed.
  uint32_t LastBuffer() const { return m_last; }
  uint64_t LinesCompleted() const { return m_completed; }
  bool Enabled() const { return (m_regs[kControl / 2] & kEnable) != 0; }
  // The paper-edge pixel of the scene now (no paper: -1).
  double PaperEdgeNow() const;

  // The pixel law without gain or faults.
  static uint8_t PixelValue(uint32_t led, uint32_t offset, double reflectance, double sensitivity = 1.0);
  static double Sensitivity(uint32_t pixel);
  // The gain table's byte of a pixel.
  uint8_t Gain(uint32_t pixel) const { return m_gains[pixel % kPixels]; }
  static uint8_t ApplyGain(uint8_t value, uint8_t gain);

  // ---- BusDevice ----
  uint32_t Read(uint32_t offset, uint32_t width) override;
  void Write(uint32_t offset, uint32_t width, uint32_t value) override;
  uint32_t BusWidth() const override { return 2; }
  bool ReadIsPolled(uint32_t offset) const override { return offset == kControl; }

 private:
  bool Configured() const;
  void ResetLogic();
  // Whether the access reaches something; a board fault when not.
  bool Reaches(uint32_t offset, uint32_t width, bool bWrite);
  void WriteControl(uint16_t value);
  void ScheduleLine();
  void CompleteLine();
  double EdgeOf(const View& view) const;
  double Reflectance(const View& view, double edge, uint32_t pixel) const;
  bool Fault(Fault fault) const { return m_faults[static_cast<uint32_t>(fault)]; }

  Board& m_board;
  FpgaConfigPort& m_config;
  std::function<View()> m_source;
  std::function<void(std::string_view, int32_t)> m_sink;
  std::array<uint16_t, 3> m_regs{};
  std::array<std::array<uint8_t, kPixels>, kBufferCount> m_lines{};
  std::array<uint8_t, kPixels> m_gains{};
  uint32_t m_last = kBufferCount - 1;
  uint64_t m_completed = 0;
  SimClock::EventId m_lineEvent = 0;
  double m_lateral = 0.0;
  double m_skew = 0.0;
  double m_skewFrom = 0.0;
  std::vector<PrintRegion> m_prints;
  std::array<bool, static_cast<uint32_t>(Fault::Count)> m_faults{};
  int32_t m_tracedEdge = -2;
  bool m_bTarget = false;
  std::array<int32_t, kNoiseCycle> m_outliers{};  // -1: none
  std::array<uint32_t, kWords> m_reads{};
};

}  // namespace sim

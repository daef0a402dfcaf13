// The record of the printed lines: per print unit and plane, every line the
// head drive strobed in a plane, in order. A plane is one print-mode
// session of the DSP (each echo of its mode 3 starts one): a strobed line
// belongs to the plane whose session computed the bank it strobed; lines
// of banks no session computed (counting-mode lines, lines after the DSP
// left print mode) are only counted. Each line keeps its time, its bank,
// its stale and overrun flags, its strobe time, the main stepper's shaft
// position (eighth steps) and the kLineWords words it strobed, and notes
// what made it real on its unit's head: head power, head enable, the drive
// enable and the THV supply (as the head drive's burst record does), and
// the step the THV supply's output follows at the line (0 without one).
//
// The unit of a plane is the head whose power output is on at the plane's
// first line; when neither or both are on, the unit of the plane before
// (unit L at power-on). The record keeps the latest plane of each unit and
// plane code: a new one replaces it.
//
// A plane ends when the DSP leaves print mode or a line of another session
// comes; each ending plane goes to the plane observers (the printed sheets).
//
// Reached through Board::FindDevice<PrintRecorder>() or
// Machine::PrintRecord().
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "sim/board.h"
#include "sim/clock.h"
#include "sim/fpga/head_drive_block.h"

namespace sim {

class HeadSupply;
class StepperDrivers;

class PrintRecorder final : public DeviceModel {
 public:
  static constexpr uint32_t kUnits = 2;      // L, R
  static constexpr uint32_t kPlaneCodes = 5;  // Y, M, C, overcoat, SP

  struct Line {
    Nanos at = 0;
    uint32_t bank = 0;
    bool bStale = false;
    bool bOverrun = false;
    Nanos strobe = 0;
    int64_t shaftEighths = 0;  // the main stepper's
    bool bHeadPower = false;
    bool bHeadEnable = false;
    bool bDriveEnable = false;
    bool bThvSupply = false;
    uint32_t thvStep = 0;
    std::vector<uint16_t> words;
    bool Printed() const { return bHeadPower && bHeadEnable && bDriveEnable && bThvSupply; }
  };
  struct Plane {
    uint32_t unit = 0;
    uint16_t planeCode = 0;
    uint32_t session = 0;  // the DSP's print-mode session
    std::vector<Line> lines;
  };

  explicit PrintRecorder(HeadDriveBlock& heads);
  PrintRecorder(const PrintRecorder&) = delete;
  PrintRecorder& operator=(const PrintRecorder&) = delete;

  // The main stepper's shaft for the lines' positions (0 without one).
  void AttachShaft(const StepperDrivers* pShafts) { m_pShafts = pShafts; }
  // The THV supply for the lines' steps.
  void AttachSupply(const HeadSupply* pSupply) { m_pSupply = pSupply; }

  // The latest plane of a unit (0 L, 1 R) and plane code, or nullptr.
  const Plane* Find(uint32_t unit, uint16_t planeCode) const;
  // Its lines (none when there is no such plane).
  const std::vector<Line>& Lines(uint32_t unit, uint16_t planeCode) const;
  // Every plane recorded so far, the latest last (each unit and plane code
  // at most once).
  std::vector<const Plane*> Planes() const;
  // Hears of each plane as it ends.
  using PlaneObserver = std::function<void(const Plane&)>;
  void AddPlaneObserver(PlaneObserver observer) { m_planeObservers.push_back(std::move(observer)); }
  // Strobed lines that belong to no plane.
  uint32_t LinesOutsidePlanes() const { return m_outside; }
  void Clear();

 private:
  void OnLine(const HeadDriveBlock::StrobedLine& line);
  Plane& PlaneOf(const HeadDriveBlock::StrobedLine& line);
  void EndPlane();

  const StepperDrivers* m_pShafts = nullptr;
  const HeadSupply* m_pSupply = nullptr;
  std::array<std::array<Plane, kPlaneCodes>, kUnits> m_planes{};
  // The plane lines go to now, by session.
  Plane* m_pCurrent = nullptr;
  uint32_t m_lastUnit = 0;
  uint64_t m_order = 0;
  std::array<std::array<uint64_t, kPlaneCodes>, kUnits> m_orderOf{};
  uint32_t m_outside = 0;
  std::vector<PlaneObserver> m_planeObservers;
};

// Installs the recorder on the head drive, the main stepper and the THV
// supply (after them).
void InstallPrintRecorder(Board& board);

}  // namespace sim

// The machine definition: builds every global device, port, sensor, EEPROM
// cell, setting, counter and control object once, in one fixed order, as
// the steps of one constant list.
#pragma once

#include <cstdint>

enum BuildStepKind : uint8_t {
  // One object or a few named together, built by the step's function.
  BUILD_OBJECTS = 0,
  // Rows [first, first + count) of the port table.
  BUILD_PORTS = 1,
  // Cells that no setting or counter sits on: entries [first, first +
  // count) of g_aLooseCells.
  BUILD_LOOSE_CELLS = 2,
  // Setting rows, each right after its cells.
  BUILD_SETTINGS = 3,
  // Setting rows whose main cells are built first as one block.
  BUILD_SETTINGS_CELL_BLOCK = 4,
  // Life-counter rows, each right after its cells.
  BUILD_COUNTERS = 5,
  // The map's CIS backup cells, in the map's order.
  BUILD_CIS_BACKUP_CELLS = 6,
};

struct BuildStep {
  BuildStepKind eKind;
  uint16_t usFirst;
  uint16_t usCount;
  void (*pfnBuild)();
  // The objects of a BUILD_OBJECTS step, for the order checks.
  const char* pszObjects;
};

// A cell built on its own: a main EEPROM address (ucHeadUnit 0xFF) or a
// head EEPROM address of unit 0 or 1.
struct LooseCell {
  uint16_t usAddress;
  uint8_t ucHeadUnit;
};
constexpr uint8_t LOOSE_CELL_MAIN = 0xFF;

extern const BuildStep g_aMachineBuildSteps[];
extern const uint32_t g_ulMachineBuildStepCount;
extern const LooseCell g_aLooseCells[];
extern const uint32_t g_ulLooseCellCount;

// Builds every object when initialise is 1 and priority 0xFFFF; any other
// pair builds nothing.
void ConstructGlobals(uint32_t ulInitialise, uint32_t ulPriority);
// The static-constructor entry: ConstructGlobals(1, 0xFFFF).
void ConstructGlobalsEntry();

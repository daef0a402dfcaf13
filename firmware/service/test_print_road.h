// The common road of the test-print launchers, driven by one table per
// launcher: pickers, a check of the queue and the buffers, an internal job
// of one or two images, each drawn into a large buffer by the pattern
// objects, and the menus closed. What is particular to a launcher goes
// into the hooks its table names.
#pragma once

#include <cstdint>

#include "firmware/control/menu.h"

class CSelfPrint;

struct TestPrintRoad {
  // Page lists of the pickers in the order run (null: none).
  const MenuDesc* const* appPickers[2];
  // The pattern objects of planes Y, M and C.
  CSelfPrint* apObjects[3];
  uint8_t ucImages;        // 2: colour of sides A and B; 1: side B only
  uint8_t ucMenuAbort;     // SetMenuAbort's value once queued
  bool bOneCopy;           // 1 copy, not the picker's count
  bool bAbortAlways;       // the menus close even when no job was made
  bool bUnitsPerImage;     // the images are drawn with their print units
  // Before the pickers; when a picker is left without a choice; once the
  // pickers are confirmed (before the job); at the end, on every path.
  void (*pfnStart)();
  void (*pfnPickerLeft)(uint32_t ulPicker);
  void (*pfnConfirmed)();
  void (*pfnEnd)();
  // Per image: after the buffer is taken; in place of the common drawing
  // (drawer bases, Draw of the three objects, the pattern pointers); after
  // the image is attached.
  void (*pfnImageSetup)(uint32_t ulBuffer);
  void (*pfnDrawImage)(const TestPrintRoad& road, uint32_t ulBuffer, uint32_t ulUnit);
  void (*pfnImageDone)();
};

// Runs the launcher.
void RunTestPrintRoad(const TestPrintRoad& road);
// Steps of one image without the job: the set-up hook, then the drawing
// into the buffer (image-window offset) for the print unit (1 L, 2 R).
void DrawTestPrintImage(const TestPrintRoad& road, uint32_t ulBuffer, uint32_t ulUnit);

// The launchers' tables (pattern previews draw them too).
extern const TestPrintRoad g_DefaultPatternRoad;
extern const TestPrintRoad g_GrayPatternRoad;
extern const TestPrintRoad g_CrossPatternRoad;
extern const TestPrintRoad g_Level8PatternRoad;
extern const TestPrintRoad g_Level8LetterRoad;
extern const TestPrintRoad g_RegiPatternRoad;
extern const TestPrintRoad g_HPatternRoad;
extern const TestPrintRoad g_AmsPatternRoad;
extern const TestPrintRoad g_TargetBPatternRoad;
extern const TestPrintRoad g_DefaultTestPrintRoad;
extern const TestPrintRoad g_StatusSheetRoad;

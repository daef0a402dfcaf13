// The start-up's TABLE step: the image is checked once; only a good image
// gives the head-drive tables, the THV power values and the
// track-correction line buffers.
#include "firmware/control/error_manager.h"
#include "firmware/control/error_table.h"
#include "firmware/control/startup_steps.h"
#include "firmware/hal/kernel.h"
#include "firmware/platform/head_drive.h"
#include "firmware/printengine/print_geometry.h"
#include "firmware/printengine/table_store.h"
#include "firmware/printengine/thv_control.h"

namespace {

constexpr int32_t kResultWrongFormat = -1;

// The head-drive banks and the TABLE items they load from.
struct HeadDriveTable {
  uint32_t ulItem;
  int32_t (CHeadDrive::*pfnLoad)(uint32_t);
};
constexpr HeadDriveTable kHeadDriveTables[] = {
    {0, &CHeadDrive::LoadBank1Table},
    {6, &CHeadDrive::LoadBank2Table},
    {12, &CHeadDrive::LoadBank3Table},
};

}  // namespace

void InitTables() {
  syslog(LOG_EMERG, "[MAIN] Table Initialize ...");
  const int32_t lResult = InitTableData();
  if (lResult != 0) {
    g_ErrorMng.SetError(lResult == kResultWrongFormat ? erridx::kTableFormat : erridx::kTableChecksum);
    return;
  }
  SelectTableBank(0);
  for (const HeadDriveTable& t : kHeadDriveTables) {
    PhysAddr ulAddress = 0;
    // A table the image does not hold leaves the bank as it was.
    if (GetTableAddress(t.ulItem, &ulAddress) == 0) (g_HeadDrive.*t.pfnLoad)(ulAddress);
  }
  LoadThvPowerFromTable();
  syslog(LOG_EMERG, "[MAIN] TrackCorrect LineBuf Loading ...");
  LoadTrackCorrectLineBuffers();
}

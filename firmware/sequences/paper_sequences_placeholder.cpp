// Placeholder of the paper sequences: no paper moves; each action clears
// the events it clears on success, and the engine variants' path
// preparations succeed. The paper loading leaves the paper loaded as the
// media configuration sees it: load mode 2, the print sizes of the stored
// ribbons selected and the media information sent.
#include "firmware/control/event_set.h"
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/media_config.h"
#include "firmware/sequences/action_results_placeholder.h"
#include "firmware/sequences/event_actions.h"

namespace {
bool s_bLogged;
int32_t Done(std::initializer_list<uint32_t> events) {
  LogPlaceholderOnce(s_bLogged, "paper sequences");
  ClearActionEvents(events);
  return 0;
}
}  // namespace

int32_t PaperLoadAction(uint32_t, uint32_t) {
  g_MediaConfig.SetLoadModeChecked(LOAD_MODE_LOADED);
  g_MediaConfig.SelectPrintSizeTable();
  g_MediaConfig.SendMediaInfo();
  return Done({EV_LOAD_PAPER, EV_RESERVED_20});
}
int32_t PaperReloadAction(uint32_t) { return Done({EV_RELOAD_PAPER1, EV_RELOAD_PAPER2, EV_RELOAD_PAPER3}); }
int32_t PaperRollbackAction() { return Done({EV_ROLLBACK_PAPER}); }
int32_t PaperPrecutAction() { return Done({EV_PRECUT}); }
int32_t PaperEndAction() { return Done({EV_PAPER_END}); }
int32_t RibbonSetupSequence(uint32_t) { return Done({EV_CHECK_RIBBON_SIZE}); }

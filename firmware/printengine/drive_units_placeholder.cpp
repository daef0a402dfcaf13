// Placeholder of the donor managers and the feed pinch rollers: one stand-in
// of each, whose pending operation ends at its first step.
#include "firmware/platform/placeholder.h"
#include "firmware/printengine/drive_units.h"

namespace {

class CDonorMngStandIn final : public CDonorMng {};
class CProllFeedStandIn final : public CProllFeed {};

constinit CDonorMngStandIn s_DonorMng;
constinit CProllFeedStandIn s_ProllFeed;

}  // namespace

CDonorMng* g_pDonorMng = &s_DonorMng;
CProllFeed* g_pProllFeed = &s_ProllFeed;

int32_t CDonorMng::BackgroundStep() {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "CDonorMng (ribbon managers)");
  return 0;
}

int32_t CProllFeed::Step(uint32_t* pulDone) {
  static bool s_bLogged;
  LogPlaceholderOnce(s_bLogged, "CProllFeed (feed pinch rollers)");
  *pulDone = 1;
  return 0;
}

// The printer-state selection: the rules as a table of inputs and the state
// they choose, and the selection step of the supervisor (when it changes
// the state, what it clears and draws).
#include "firmware/control/control_test_rig.h"
#include "firmware/control/host_status_table.h"
#include "firmware/control/state_selection.h"
#include "firmware/printengine/job_queue_test_support.h"

namespace controltest {
namespace {

struct SelectCase {
  const char* name;
  EventStateInputs in;
  CEventMng* state;
};

EventStateInputs Ready(int32_t lIndex = -1, uint64_t ullEvents = 0) {
  return EventStateInputs{lIndex, ullEvents, 0, 0, 0, 0, 1};
}

EventStateInputs Keep(int32_t lRibbonStatus, int32_t lKeepA, int32_t lKeepB, uint32_t ulColour,
                      uint32_t ulPrepared = 0) {
  return EventStateInputs{-1, 0, ulPrepared, lRibbonStatus, lKeepA, lKeepB, ulColour};
}

TEST(StateSelection, RulesChooseTheStateInOrder) {
  const SelectCase cases[] = {
      {"idle", Ready(), &g_EventMngReadyA},
      {"status 1 looks at unit A only", Keep(1, 0, 100, 1), &g_EventMngReadyA},
      {"status 3 keeps unit B", Keep(3, 0, 100, 1), &g_EventMngReadyC},
      {"status 3 without colour engine", Keep(3, 0, 100, 0), &g_EventMngReadyA},
      {"status 0 either unit", Keep(0, 1, 0, 1), &g_EventMngReadyC},
      {"status 2 unit A", Keep(2, 5, 0, 1), &g_EventMngReadyC},
      {"other status", Keep(4, 5, 5, 1), &g_EventMngReadyA},
      {"prepared job", Keep(0, 1, 1, 1, 1), &g_EventMngReadyB},
      {"start-up events", Ready(-1, Events({EV_INIT_MECHA})), &g_EventMngPreReady},
      {"ribbon check", Ready(-1, Events({EV_CHECK_RIBBON})), &g_EventMngPreReady},
      {"reload 3", Ready(-1, Events({EV_RELOAD_PAPER3})), &g_EventMngPreReady},
      {"menu key alone", Ready(-1, Events({EV_MENU_KEY, EV_AUTO_DIAG})), &g_EventMngReadyA},
      {"paper end over load", Ready(-1, Events({EV_PAPER_END, EV_LOAD_PAPER})), &g_EventMngPapRemove},
      {"take out paper", Ready(0x1602), &g_EventMngPapRemove},
      {"ready loading", Ready(0x160A), &g_EventMngReadyLoad},
      {"rolled back", Ready(0x1609), &g_EventMngHalfRollBack},
      {"load paper", Ready(0x1608), &g_EventMngNoPaper},
      {"roll-back load paper", Ready(0x160B), &g_EventMngNoPaper},
      {"paper empty", Ready(0x1607), &g_EventMngLoadFail},
      {"incorrect ribbon", Ready(0x1601), &g_EventMngNoRibbon},
      {"ribbon empty", Ready(0x1604), &g_EventMngNoRibbon},
      {"ribbon mismatch", Ready(0x1605), &g_EventMngNoRibbon},
      {"incorrect paper is a jam", Ready(0x1606), &g_EventMngJam},
      {"jam", Ready(0x15A8), &g_EventMngJam},
      {"jam family end", Ready(0x15FF), &g_EventMngJam},
      {"sorter", Ready(0x170B), &g_EventMngCError},
      {"paper cover", Ready(0x0605), &g_EventMngPaperCoverOpen},
      {"front cover", Ready(0x0607), &g_EventMngCoverOpen},
      {"cover without a row", Ready(0x0608), &g_EventMngCoverOpen},
      {"cover range start", Ready(0x0600), &g_EventMngCoverOpen},
      {"mecha", Ready(0x0200), &g_EventMngMError},
      {"sensor", Ready(0x03FF), &g_EventMngHError},
      {"thermistor", Ready(0x0401), &g_EventMngHError},
      {"control", Ready(0x0101), &g_EventMngHError},
      {"index in no range keeps the event choice", Ready(0x0700, Events({EV_LOAD_PAPER})), &g_EventMngPreReady},
      {"index above the ranges", Ready(0x170C), &g_EventMngReadyA},
      {"error over paper end", Ready(0x0201, Events({EV_PAPER_END})), &g_EventMngMError},
  };
  for (const SelectCase& c : cases) EXPECT_EQ(ChooseEventState(c.in), c.state) << c.name;
}

TEST_F(ControlTest, TheStateChangesOnlyWithTheLowestErrorOrOnRequest) {
  InApp([] {
    g_IdleSupervisor.SelectEventState();
    EXPECT_EQ(g_pCurEventMng, &g_EventMngReadyA);
    TakeNotifications();
    g_ErrorMng.SetError(0x0607);
    g_IdleSupervisor.SelectEventState();
    EXPECT_EQ(g_pCurEventMng, &g_EventMngCoverOpen);
    EXPECT_EQ(GetStatusItem(SI_PRINTER_STATE), 0x11u);
    // The job status of both list lookups, the cleared assignment and the
    // status line: the first notice, and one that carries the rest.
    protocol::StatusRecord record{};
    EXPECT_EQ(TakeNotifications(&record), 2u);
    EXPECT_EQ(record.printerState, 0x11u);
    // A less important index and new events change nothing while the
    // lowest stays and nobody asks.
    g_ErrorMng.SetError(0x1503);
    g_pCurEventMng->SetEvent(EV_PAPER_END);
    g_IdleSupervisor.SelectEventState();
    EXPECT_EQ(g_pCurEventMng, &g_EventMngCoverOpen);
    EXPECT_EQ(TakeNotifications(), 0u);
    // The lowest cleared: the jam now.
    g_ErrorMng.ClearError(0x0607);
    g_IdleSupervisor.SelectEventState();
    EXPECT_EQ(g_pCurEventMng, &g_EventMngJam);
    g_ErrorMng.ClearError(0x1503);
    g_IdleSupervisor.SelectEventState();
    EXPECT_EQ(g_pCurEventMng, &g_EventMngPapRemove);
    g_pCurEventMng->ClearEvent(EV_PAPER_END);
    g_IdleSupervisor.SelectEventState();
    EXPECT_EQ(g_pCurEventMng, &g_EventMngPapRemove) << "no request, no change";
    g_IdleSupervisor.RequestStateUpdate();
    g_IdleSupervisor.SelectEventState();
    EXPECT_EQ(g_pCurEventMng, &g_EventMngReadyA);
  }, Ms(5000));
}

TEST_F(ControlTest, AnErrorWithoutActiveJobClearsTheUnitAssignmentWithOneNotificationOfItsOwn) {
  InApp([] {
    g_IdleSupervisor.SelectEventState();
    TakeNotifications();
    for (uint32_t ulId : {52u, 53u, 54u}) SetStatusItem(ulId, 3, 0);
    g_ErrorMng.SetError(0x0201);
    g_IdleSupervisor.SelectEventState();
    for (uint32_t ulId : {52u, 53u, 54u}) EXPECT_EQ(GetStatusItem(ulId), 0u) << ulId;
    // The job status of both list lookups, the assignment's, the status
    // line's: the first notice, and one that carries the rest.
    protocol::StatusRecord record{};
    EXPECT_EQ(TakeNotifications(&record), 2u);
    for (const uint8_t ucAssign : record.unitAssign) EXPECT_EQ(ucAssign, 0u) << "the host sees the cleared assignment";
    // With an active job they stay.
    ASSERT_NE(jobtest::MakeInternalJob(), nullptr);
    for (uint32_t ulId : {52u, 53u, 54u}) SetStatusItem(ulId, 3, 0);
    g_ErrorMng.SetError(0x0101);
    g_IdleSupervisor.SelectEventState();
    for (uint32_t ulId : {52u, 53u, 54u}) EXPECT_EQ(GetStatusItem(ulId), 3u) << ulId;
  }, Ms(5000));
}

}  // namespace
}  // namespace controltest

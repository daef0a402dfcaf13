// The print-job handlers on a printer whose USB task leaves the mailbox to
// the test, for what the host cannot bring about through the cable: an
// image while a system reset is pending is refused before anything is
// allocated or armed.
#include "firmware/hostif/print_job_handlers.h"

#include "firmware/control/event_set.h"
#include "firmware/devices/buf_slot_table.h"
#include "firmware/hostif/usb_command_test_support.h"
#include "firmware/printengine/job_queue_test_support.h"
#include "protocol/codes.h"

namespace hostiftest {
namespace {

TEST_F(UsbCommandTest, AnImageWhileASystemResetIsPendingIsRefusedBeforeAnythingIsTaken) {
  BootQuiet();
  InApp([] {
    jobtest::LoadMedia(RIBBON_SIZE_8X10, RIBBON_SIZE_8X10);
    ASSERT_EQ(jobtest::SetUpHostJob({}), 0);
    jobtest::SetImageBlock(PRINT_WIDTH, 3024);
    g_pCurEventMng->SetEvent(EV_SYSTEM_RESET);
    ExecPrintCommand();
    EXPECT_EQ(jobtest::ImageBlock().ucResult, protocol::REPLY_ERR_NO_RESOURCE);
    UsbCommState* pState = nullptr;
    usb_comm_get_state(&pState);
    EXPECT_EQ(pState->ulDataPhase, DATA_PHASE_NONE);
    uint32_t ulFree = 0;
    g_pCurBufSlots[BUF_POOL_COLOUR]->CountFree(&ulFree);
    EXPECT_EQ(ulFree, g_pCurBufSlots[BUF_POOL_COLOUR]->Count());
    EXPECT_EQ(jobtest::ReceivingJob()->ucReceivedMask, 0u);

    // Without it the same image is accepted and its data phase opened.
    g_pCurEventMng->ClearEvent(EV_SYSTEM_RESET);
    ExecPrintCommand();
    EXPECT_EQ(jobtest::ImageBlock().ucResult, 0u);
    EXPECT_EQ(pState->ulDataPhase, DATA_PHASE_PRINT_IMAGE);
  });
}

}  // namespace
}  // namespace hostiftest

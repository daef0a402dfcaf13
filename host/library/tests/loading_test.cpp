// Loading of the two outside libraries at kt_open: missing modules and
// modules without all their entry points fail with their codes and leave
// no session behind.
#include "device_watcher.h"
#include "library_test_support.h"

namespace hostlib_test {
namespace {

using LoadingTest = LibraryTest;

TEST_F(LoadingTest, EachFailureOfOpenHasItsCode) {
  struct Case {
    const char *what;
    const char *usbCtrl;     // null: the real name
    const char *colorMatch;  // null: the real name
    bool printer;
    uint16_t code;
  };
  const Case cases[] = {
      {"USB-access library missing", "NoSuchUsbCtrl.dll", nullptr, true, RESULT_USBCTRL_LOAD_FAILED},
      {"USB-access entry point missing", "BOM7300UsbCtrlIncomplete.dll", nullptr, true, RESULT_USBCTRL_LOAD_FAILED},
      {"colour library missing", nullptr, "NoSuchColorMatch.dll", true, RESULT_COLORMATCH_LOAD_FAILED},
      {"colour entry point missing", nullptr, "BOM7300ColorMatchIncomplete.dll", true, RESULT_COLORMATCH_LOAD_FAILED},
      {"no printer", nullptr, nullptr, false, RESULT_USB_OPEN_FAILED},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    usbctrl_double::Reset();
    if (c.printer) usbctrl_double::AddPrinter("R0000001");
    hostlib::SetOutsideLibraryFiles(c.usbCtrl, c.colorMatch);
    uint16_t err = 0;
    EXPECT_EQ(kt_open(&err), 0);
    EXPECT_EQ(err, c.code);
    EXPECT_EQ(hostlib::g_apSessions[0].load(), nullptr);
    EXPECT_EQ(hostlib::FindThreadSession(), -1);
    EXPECT_EQ(hostlib::g_pWatcher, nullptr);
    const usbctrl_double::Counters counters = usbctrl_double::GetCounters();
    EXPECT_EQ(counters.opens, counters.closes);
  }
  hostlib::SetOutsideLibraryFiles(nullptr, nullptr);
  usbctrl_double::Reset();
  usbctrl_double::AddPrinter("R0000001");
  Open();
  hostlib::PrinterSession &session = FirstSession();
  EXPECT_EQ(session.Usb().loaded, 1u);
  EXPECT_EQ(session.ColorMatch().loaded, 1u);
  EXPECT_NE(session.ColorMatch().GetProfileHeader, nullptr);
}

}  // namespace
}  // namespace hostlib_test

#include "sim/board_devices.h"
#include "sim/soc/psc.h"
#include "sim/soc/syscfg.h"
#include "sim/usb/usb_controller.h"
#include "sim/usb/usb_root_hub.h"

namespace sim {

// The USB0 controller with its DMA, powered through PSC1 and clocked by the
// PHY in SYSCFG, and the root hub at the other end of the cable (high or
// full speed as the inputs say). Tests reach the hub through the machine's
// host port (sim/usb/usb_host_port.h).
void InstallUsbDevices(Board& board, const BoardInputs& inputs) {
  SystemConfig* syscfg = board.FindDevice<SystemConfig>();
  Psc1* psc1 = board.FindDevice<Psc1>();
  UsbController& controller = board.AddDevice<UsbController>(board, syscfg, psc1);
  if (syscfg != nullptr) syscfg->SetUsb0VbusSource([&controller] { return controller.Vbus(); });
  board.AddDevice<UsbRootHub>(board.Clock(), controller, inputs.bUsbHighSpeed);
}

}  // namespace sim

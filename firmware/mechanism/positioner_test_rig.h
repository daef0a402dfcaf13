// Test rig of the positioners: the printer of the panel rig, with the
// switches of the mechanism and the photo sensors held by the test.
#pragma once

#include <memory>
#include <vector>

#include "firmware/control/error_manager.h"
#include "firmware/control/panel_test_rig.h"
#include "firmware/devices/panel_ports.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/mechanism/mechanism_inputs.h"

namespace paneltest {

// What a switch of the mechanism reads while the test holds it.
enum class Bit { Off, On, Chatter };

struct HeldBit {
  Bit level = Bit::Off;
  bool bToggle = false;
};

class PositionerTest : public PanelTest {
 protected:
  // The test takes the switch at IN<word> bit `bit` over from the mechanism.
  HeldBit& Hold(uint32_t word, uint32_t bit) {
    auto& held = m_held.emplace_back(std::make_unique<HeldBit>());
    HeldBit* pHeld = held.get();
    m_machine->GetBoard().FindDevice<sim::FpgaMainBlock>()->SetInputBit(
        word, static_cast<uint16_t>(1u << bit), [pHeld] {
          if (pHeld->level != Bit::Chatter) return pHeld->level == Bit::On;
          pHeld->bToggle = !pHeld->bToggle;
          return pHeld->bToggle;
        });
    return *pHeld;
  }
  // Paper seen, or not, by a photo sensor (their LEDs are lit by the app
  // job: LightPhotoSensors).
  void SetPaperSeen(sim::PhotoSensor sensor, bool bSeen) {
    m_machine->GetBoard().FindDevice<sim::MechanismInputs>()->SetPaperSeen(sensor, bSeen);
  }
  std::vector<std::unique_ptr<HeldBit>> m_held;
};

// In the application: the photo sensors' LEDs on.
inline void LightPhotoSensors() {
  g_PortPhotoSenLed1.Set();
  g_PortPhotoSenLed2.Set();
}

inline bool ErrorSet(uint32_t ulIndex) {
  uint32_t ulFlag = 0;
  g_ErrorMng.IsErrorSet(ulIndex, &ulFlag);
  return ulFlag != 0;
}

}  // namespace paneltest

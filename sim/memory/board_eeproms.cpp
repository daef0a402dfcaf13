#include "sim/memory/board_eeproms.h"

#include "sim/board_devices.h"
#include "sim/memory/board_power.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/soc/gpio.h"
#include "sim/state_dir.h"
#include "tools/eeprom/eeprom_image.h"

namespace sim {

BoardEeproms::BoardEeproms(Board& board, GpioController& gpio, FpgaMainBlock& fpga, const std::string& stateDir,
                           uint32_t engineVersion)
    : m_gpio(gpio) {
  const char* const names[4] = {StateDir::kMainEepromFile, StateDir::kBackupEepromFile, StateDir::kHeadEepromFileL,
                                StateDir::kHeadEepromFileR};
  std::string paths[4];
  for (size_t i = 0; i < 4; ++i) paths[i] = stateDir.empty() ? std::string() : stateDir + "/" + names[i];
  for (size_t i = 0; i < m_parts.size(); ++i) {
    m_parts[i] = std::make_unique<MicrowireEeprom>(board.Clock(), paths[i]);
    if (!m_parts[i]->FileError().empty()) board.ReportFault("eeprom: " + m_parts[i]->FileError());
    m_parts[i]->UsePowerCutSwitch(BoardPower::Of(board).Switch());
  }
  // Without a state directory the board is a printer as it leaves the
  // factory: its EEPROMs programmed (the serial number still the cell's
  // placeholder, both heads' values measured), nothing to format at the
  // first start.
  if (stateDir.empty()) {
    std::vector<uint8_t> main = eepromimage::BuildMainEepromImage("R0000000");
    if (engineVersion != 0) eepromimage::ProvisionEngineVersion(main, static_cast<int>(engineVersion), nullptr);
    std::vector<uint8_t> head = eepromimage::BuildHeadEepromImage();
    eepromimage::ProvisionHeadValue(head, eepromimage::kNominalHeadValue);
    Get(Part::Main).LoadImage(main.data(), static_cast<uint32_t>(main.size()));
    Get(Part::HeadL).LoadImage(head.data(), static_cast<uint32_t>(head.size()));
    Get(Part::HeadR).LoadImage(head.data(), static_cast<uint32_t>(head.size()));
  }
  for (Part part : {Part::Main, Part::Backup}) Get(part).SetDataOutObserver([this] { UpdateDataOut(); });
  for (uint32_t pin : {kPinCs, kPinSk, kPinDi}) gpio.AddPinObserver(pin, [this](bool) { RouteMain(); });
  static_assert(FpgaMainBlock::kEepromSel < FpgaMainBlock::kOut0);
  fpga.AddWriteObserver(FpgaMainBlock::kEepromSel, FpgaMainBlock::kOut0, [this](uint32_t offset, uint16_t value) {
    if ((offset & 0xFFFFu) == FpgaMainBlock::kEepromSel) {
      m_select = value;
      RouteMain();
    } else if ((offset & 0xFFFFu) == FpgaMainBlock::kOut0) {
      RouteHeads(value);
    }
  });
  fpga.SetInputBit(3, 0x0001, [this] { return Get(Part::HeadL).DataOut(); });
  fpga.SetInputBit(3, 0x0002, [this] { return Get(Part::HeadR).DataOut(); });
  UpdateDataOut();
}

void BoardEeproms::RouteMain() {
  const bool bCs = m_gpio.PinLevel(kPinCs);
  const bool bSk = m_gpio.PinLevel(kPinSk);
  const bool bDi = m_gpio.PinLevel(kPinDi);
  const bool bBackup = (m_select & kSelBackup) != 0;
  const bool bUpper = (m_select & kSelUpperHalf) != 0;
  Main().SetUpperHalf(bUpper);
  Backup().SetUpperHalf(bUpper);
  Main().SetLines(bCs && !bBackup, bSk, bDi);
  Backup().SetLines(bCs && bBackup, bSk, bDi);
  UpdateDataOut();
}

void BoardEeproms::UpdateDataOut() {
  const bool bBackup = (m_select & kSelBackup) != 0;
  m_gpio.DriveInput(kPinDo, (bBackup ? Backup() : Main()).DataOut());
}

void BoardEeproms::RouteHeads(uint16_t out) {
  Get(Part::HeadL).SetLines((out & 0x0004u) != 0, (out & 0x0002u) != 0, (out & 0x0001u) != 0);
  Get(Part::HeadR).SetLines((out & 0x0020u) != 0, (out & 0x0010u) != 0, (out & 0x0008u) != 0);
}

// After the GPIO controller and the FPGA, whose lines the parts hang on.
void InstallEepromDevices(Board& board, const BoardInputs& inputs) {
  GpioController* gpio = board.FindDevice<GpioController>();
  FpgaMainBlock* fpga = board.FindDevice<FpgaMainBlock>();
  if (gpio == nullptr || fpga == nullptr) {
    board.ReportFault("eeprom: the GPIO controller and the FPGA must be installed first");
    return;
  }
  board.AddDevice<BoardEeproms>(board, *gpio, *fpga, inputs.stateDir, inputs.engineVersion);
}

}  // namespace sim

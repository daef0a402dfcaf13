#include "sim/mechanism/mechanism_inputs.h"

#include <cstring>
#include <vector>

#include "sim/board_devices.h"
#include "sim/fpga/fpga_config_port.h"
#include "sim/fpga/fpga_main_block.h"
#include "sim/fpga/head_drive_block.h"
#include "sim/mechanism/dc_mechanism.h"
#include "sim/mechanism/head_supply.h"
#include "sim/mechanism/head_thermal.h"
#include "sim/mechanism/input_faults.h"
#include "sim/mechanism/ribbon_mechanism.h"
#include "sim/memory/board_eeproms.h"
#include "sim/soc/gpio.h"

namespace sim {

namespace {

// Where each cover's switch sits and the level it gives when open.
struct CoverWiring {
  const char* pszName;
  uint32_t word;
  uint16_t mask;
  bool bOpenLevel;
};
constexpr CoverWiring kCovers[] = {
    {"front", 0, 1u << 0, false},  {"side-l", 1, 1u << 2, true},  {"side-r", 1, 1u << 6, true},
    {"paper", 1, 1u << 8, true},   {"guide", 0, 1u << 10, false}, {"upper-l", 1, 1u << 3, true},
    {"upper-r", 1, 1u << 7, true}, {"tray", 2, 1u << 12, true},
};
static_assert(sizeof kCovers / sizeof kCovers[0] == static_cast<uint32_t>(Cover::Count));

// The A/D channels of the photo sensors, in enum order, and whether the
// photo-sensor LEDs light them; the thermistors' channels.
struct PhotoWiring {
  uint32_t channel;
  bool bLitByLeds;
};
constexpr PhotoWiring kPhotoSensors[] = {{22, true}, {23, true}, {24, true}, {21, true}, {25, false}};
static_assert(sizeof kPhotoSensors / sizeof kPhotoSensors[0] == static_cast<uint32_t>(PhotoSensor::Count));
constexpr uint32_t kThermistorChannels[] = {16, 17, 18};

}  // namespace

MechanismInputs::MechanismInputs(FpgaMainBlock& fpga, GpioController& gpio, uint32_t openCovers, bool bRollLoaded)
    : m_fpga(fpga), m_gpio(gpio) {
  m_paperSeen.fill(bRollLoaded);
  for (uint32_t i = 0; i < Index(Cover::Count); ++i) SetCoverOpen(static_cast<Cover>(i), ((openCovers >> i) & 1u) != 0);
  m_fpga.SetAnalogSource([this](uint32_t channel, bool bColorSensorL) { return Analog(channel, bColorSensorL); });
}

void MechanismInputs::SetCoverOpen(Cover cover, bool bOpen) {
  const CoverWiring& w = kCovers[Index(cover)];
  m_coverOpen[Index(cover)] = bOpen;
  const bool bLevel = bOpen ? w.bOpenLevel : !w.bOpenLevel;
  const uint16_t word = m_fpga.InputWord(w.word);
  m_fpga.SetInputWord(w.word, static_cast<uint16_t>(bLevel ? (word | w.mask) : (word & ~w.mask)));
}

void MechanismInputs::SetRollLoaded(bool bLoaded) { m_override.fill(bLoaded ? 1 : 0); }

bool MechanismInputs::ParseCover(const char* pszName, Cover* pCover) {
  for (uint32_t i = 0; i < Index(Cover::Count); ++i) {
    if (std::strcmp(pszName, kCovers[i].pszName) == 0) {
      *pCover = static_cast<Cover>(i);
      return true;
    }
  }
  return false;
}

bool MechanismInputs::PhotoLedsOn() const {
  for (uint32_t pin : kPhotoLedPins) {
    if (!m_gpio.IsOutput(pin) || !m_gpio.PinLevel(pin)) return false;
  }
  return true;
}

uint16_t MechanismInputs::Analog(uint32_t channel, bool) const {
  for (uint32_t i = 0; i < Index(PhotoSensor::Count); ++i) {
    if (channel != kPhotoSensors[i].channel) continue;
    bool bPaper = m_paperSeen[i];
    if (m_override[i] >= 0) {
      bPaper = m_override[i] != 0;
    } else if (m_photoSource) {
      bPaper = m_photoSource(static_cast<PhotoSensor>(i));
    }
    return bPaper && (!kPhotoSensors[i].bLitByLeds || PhotoLedsOn()) ? kPaperSeen : kDark;
  }
  bool bThermistor = false;
  for (uint32_t i = 0; i < Index(Thermistor::Count); ++i) {
    if (channel != kThermistorChannels[i]) continue;
    if (m_thermistor[i] >= 0) return static_cast<uint16_t>(m_thermistor[i]);
    bThermistor = true;
  }
  uint16_t level = 0;
  for (const AnalogSource& source : m_sources) {
    if (source(channel, &level)) return level;
  }
  return bThermistor ? kTemperatureInRange : m_fpga.AnalogValue(channel);
}

namespace {

// The engine variant the main EEPROM selects at this boot (EM3 on a board
// without one).
EngineVariant BootEngineVariant(Board& board) {
  BoardEeproms* pEeproms = board.FindDevice<BoardEeproms>();
  if (pEeproms == nullptr) return EngineVariant::EM3;
  std::vector<uint8_t> image(MicrowireEeprom::kBytes);
  for (uint32_t i = 0; i < MicrowireEeprom::kBytes; ++i) image[i] = pEeproms->Main().PeekByte(i);
  return EngineVariantOf(image);
}

}  // namespace

void InstallMechanismDevices(Board& board, const BoardInputs& inputs) {
  FpgaMainBlock* pFpga = board.FindDevice<FpgaMainBlock>();
  GpioController* pGpio = board.FindDevice<GpioController>();
  FpgaConfigPort* pConfig = board.FindDevice<FpgaConfigPort>();
  if (pFpga == nullptr || pGpio == nullptr || pConfig == nullptr) return;
  MechanismInputs& mechanism = board.AddDevice<MechanismInputs>(*pFpga, *pGpio, inputs.openCovers, inputs.bRollLoaded);
  const EngineVariant variant = BootEngineVariant(board);
  DcMechanism& dc =
      board.AddDevice<DcMechanism>(board, *pFpga, *pConfig, *pGpio, mechanism, inputs.pcbRevision, variant);
  dc.SetRibbonPanel(PrintUnit::L, inputs.ribbonPanels[0]);
  dc.SetRibbonPanel(PrintUnit::R, inputs.ribbonPanels[1]);
  dc.EchoToConsole(inputs.bEchoMechanism);
  RibbonMechanism& ribbons =
      board.AddDevice<RibbonMechanism>(board, *pFpga, *pConfig, *pGpio, dc, inputs.ribbons, inputs.ribbonDriveMode);
  if (variant == EngineVariant::EM2) ribbons.SetLineOffset(RibbonTape::kLineOffsetEm2);
  mechanism.AddAnalogSource([&ribbons](uint32_t channel, uint16_t* pLevel) { return ribbons.Analog(channel, pLevel); });
  board.AddDevice<InputFaults>(*pFpga, dc, &ribbons);
  HeadThermal& thermal = board.AddDevice<HeadThermal>(board.Clock(), inputs.climate);
  mechanism.AddAnalogSource([&thermal](uint32_t channel, uint16_t* pLevel) { return thermal.Analog(channel, pLevel); });
  HeadSupply& supply = board.AddDevice<HeadSupply>(board.Clock());
  supply.Attach(*pFpga);
  mechanism.AddAnalogSource([&supply](uint32_t channel, uint16_t* pLevel) { return supply.Analog(channel, pLevel); });
  if (HeadDriveBlock* pHeads = board.FindDevice<HeadDriveBlock>()) {
    pHeads->SetHeatSink([&thermal](uint32_t head, Nanos onTime) { thermal.AddStrobeTime(head, onTime); });
  }
}

}  // namespace sim

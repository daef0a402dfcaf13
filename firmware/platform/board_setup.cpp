// The board bring-up. Runs once, inside the first static constructor, before
// any device object exists: the PCB revision is read from the FPGA before
// this firmware configures it and before the FPGA's chip-select timing is
// written. Output levels always go out before directions, so a pin that
// becomes an output starts at the level written just before.
#include "firmware/platform/board_setup.h"

#include "firmware/hal/kernel.h"
#include "firmware/platform/fpga_regs.h"
#include "firmware/platform/gpio.h"

namespace {

constexpr uint32_t kPcbRevisionMask = 0x000Fu;

// Asynchronous timing of the FPGA on chip select 4: extended wait, write
// setup 1, strobe 9, hold 0, read setup 1, strobe 17, hold 0, turnaround 2,
// 16-bit bus.
constexpr uint32_t kEmifaCs4Timing = 0x44902889u;

// One setting of the bring-up: the value for revision 0 and for the others.
struct BoardSetting {
  PhysAddr ulAddress;
  uint32_t aulValue[2];
};

constexpr uint32_t kPinMux[SYSCFG0_PINMUX_COUNT][2] = {
    {0x88888888u, 0x88888888u}, {0x88888888u, 0x88888888u}, {0x88888888u, 0x44444448u},
    {0x88888888u, 0x44444414u}, {0x22228888u, 0x22228844u}, {0x11888888u, 0x11888888u},
    {0x18888888u, 0x18888888u}, {0x10111111u, 0x10111111u}, {0x11111111u, 0x11111111u},
    {0x11111111u, 0x11111111u}, {0x11111111u, 0x11111111u}, {0x11111111u, 0x11111111u},
    {0x11111111u, 0x11111111u}, {0x88888880u, 0x88888888u}, {0x00000088u, 0x00000088u},
    {0x00000000u, 0x00000000u}, {0x88888880u, 0x88888880u}, {0x00000088u, 0x00000088u},
    {0x88888800u, 0x88888800u}, {0x18888800u, 0x18888800u},
};

constexpr const char* kPinMuxLog[SYSCFG0_PINMUX_COUNT] = {
    "M_SYSCFG0_REG_PINMUX0  (%08x)",  "M_SYSCFG0_REG_PINMUX1  (%08x)",  "M_SYSCFG0_REG_PINMUX2  (%08x)",
    "M_SYSCFG0_REG_PINMUX3  (%08x)",  "M_SYSCFG0_REG_PINMUX4  (%08x)",  "M_SYSCFG0_REG_PINMUX5  (%08x)",
    "M_SYSCFG0_REG_PINMUX6  (%08x)",  "M_SYSCFG0_REG_PINMUX7  (%08x)",  "M_SYSCFG0_REG_PINMUX8  (%08x)",
    "M_SYSCFG0_REG_PINMUX9  (%08x)",  "M_SYSCFG0_REG_PINMUX10 (%08x)", "M_SYSCFG0_REG_PINMUX11 (%08x)",
    "M_SYSCFG0_REG_PINMUX12 (%08x)", "M_SYSCFG0_REG_PINMUX13 (%08x)", "M_SYSCFG0_REG_PINMUX14 (%08x)",
    "M_SYSCFG0_REG_PINMUX15 (%08x)", "M_SYSCFG0_REG_PINMUX16 (%08x)", "M_SYSCFG0_REG_PINMUX17 (%08x)",
    "M_SYSCFG0_REG_PINMUX18 (%08x)", "M_SYSCFG0_REG_PINMUX19 (%08x)",
};

// The GPIO start levels and directions, in the order they are written.
constexpr BoardSetting kGpio[] = {
    {GpioRegister(0, GPIO_SET_DATA), {0x00005800u, 0x00005800u}},
    {GpioRegister(0, GPIO_CLR_DATA), {0x8030A601u, 0xFFF0A601u}},
    {GpioRegister(0, GPIO_DIR), {0x7FCFC1FEu, 0x000FC1FEu}},
    {GpioRegister(1, GPIO_OUT_DATA), {0x00000000u, 0x00000000u}},
    {GpioRegister(1, GPIO_SET_DATA), {0x0000F4FEu, 0x0000F4FEu}},
    {GpioRegister(1, GPIO_DIR), {0xFFFF0B01u, 0xFFFF0B01u}},
    {GpioRegister(2, GPIO_SET_DATA), {0x00000000u, 0x00000000u}},
    {GpioRegister(2, GPIO_CLR_DATA), {0x00000000u, 0x00000000u}},
    {GpioRegister(2, GPIO_DIR), {0xFFFFFFFFu, 0xFFFFFFFFu}},
    {GpioRegister(3, GPIO_SET_DATA), {0xFE004F00u, 0xFE004F00u}},
    {GpioRegister(3, GPIO_CLR_DATA), {0x01003000u, 0x0100B000u}},
    {GpioRegister(3, GPIO_DIR), {0x00FF803Fu, 0x00FF003Fu}},
    {GpioRegister(4, GPIO_SET_DATA), {0x00000C00u, 0x00000C00u}},
    {GpioRegister(4, GPIO_CLR_DATA), {0x0000F000u, 0x0000F0FEu}},
    {GpioRegister(4, GPIO_DIR), {0xFFFF03FFu, 0xFFFF0301u}},
};

constexpr const char* kDirectionLog[] = {
    "M_REG_GPIO_DIR01  (%08x)", "M_REG_GPIO_DIR23  (%08x)", "M_REG_GPIO_DIR45  (%08x)",
    "M_REG_GPIO_DIR67  (%08x)", "M_REG_GPIO_DIR8   (%08x)",
};

}  // namespace

void UnlockSystemConfig() {
  HwWrite32(SYSCFG0_KICK0, SYSCFG0_KICK0_UNLOCK);
  HwWrite32(SYSCFG0_KICK1, SYSCFG0_KICK1_UNLOCK);
}

void LockSystemConfig() {
  HwWrite32(SYSCFG0_KICK0, 0);
  HwWrite32(SYSCFG0_KICK1, 0);
}

namespace {

// Revision 0 takes column 0, every other revision column 1.
void InitBoardColumn(uint32_t ulColumn) {
  HwWrite32(EMIFA_CE4CFG, kEmifaCs4Timing);

  UnlockSystemConfig();
  for (uint32_t i = 0; i < SYSCFG0_PINMUX_COUNT; ++i) HwWrite32(SYSCFG0_PINMUX0 + 4 * i, kPinMux[i][ulColumn]);
  for (uint32_t i = 0; i < SYSCFG0_PINMUX_COUNT; ++i) {
    syslog(LOG_EMERG, kPinMuxLog[i], HwRead32(SYSCFG0_PINMUX0 + 4 * i));
  }
  LockSystemConfig();

  for (const BoardSetting& s : kGpio) HwWrite32(s.ulAddress, s.aulValue[ulColumn]);
  for (uint32_t k = 0; k < sizeof kDirectionLog / sizeof kDirectionLog[0]; ++k) {
    syslog(LOG_EMERG, kDirectionLog[k], HwRead32(GpioRegister(k, GPIO_DIR)));
  }

  GpioEnableBank0Irq();
}

}  // namespace

int32_t InitBoardByRevision() {
  const uint32_t ulRevision = HwRead16(FPGA_PCB_REV) & kPcbRevisionMask;
  syslog(LOG_EMERG, "Main PCB Rev. = %x", ulRevision);
  InitBoardColumn(ulRevision == 0 ? 0 : 1);
  return 0;
}

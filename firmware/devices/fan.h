// Fans, clutches and similar on/off loads: single bits of the FPGA's
// fan-control register. A switched output (CFanCrutch; the plain ones are
// CFanSwitch) drives its bit to the active or inactive level; a limited fan
// (CFanCnt) also stamps the time it was switched on, and its periodic check
// rests it after 600 s of continuous running, for 60 s.
#pragma once

#include <cstdint>

enum FanState : uint32_t { FAN_OFF = 0, FAN_ON = 1, FAN_RESTING = 2 };

class CFanCrutch {
 public:
  constexpr CFanCrutch() = default;
  // Ends with Off. Polarity 0: the active level is 1, else 0.
  CFanCrutch(uint32_t ulRegister, uint32_t ulMask, uint32_t ulPolarity);

  // The active level, then on. Results: the FPGA write's (0 or -2), or 0
  // where nothing is written.
  virtual int32_t On() {
    const int32_t lResult = WriteLevel(true);
    m_ulState = FAN_ON;
    return lResult;
  }
  // The inactive level, then off.
  int32_t Off();
  int32_t GetState(uint32_t* pulState) const;
  // The maintenance screen of this output (the caller wrote its label):
  // ON/OFF at column 12, Enter switches it, Clear leaves it as it is.
  int32_t TestScreen();

 protected:
  // Outputs are never destroyed, and never through this class.
  ~CFanCrutch() = default;
  int32_t WriteLevel(bool bActive);

  uint32_t m_ulRegister = 0;
  uint32_t m_ulMask = 0;
  uint32_t m_ulPolarity = 0;
  uint32_t m_ulState = FAN_OFF;
  // The switch-on time of a limited fan, or the start of its rest (ms).
  uint32_t m_ulTimeStamp = 0;
};

// A plain switched output: on and off, never resting.
class CFanSwitch final : public CFanCrutch {
 public:
  constexpr CFanSwitch() = default;
  CFanSwitch(uint32_t ulRegister, uint32_t ulMask, uint32_t ulPolarity) : CFanCrutch(ulRegister, ulMask, ulPolarity) {}
};

class CFanCnt final : public CFanCrutch {
 public:
  static constexpr uint32_t kOnLimitSec = 600;
  static constexpr uint32_t kRestSec = 60;

  constexpr CFanCnt() = default;
  CFanCnt(uint32_t ulRegister, uint32_t ulMask, uint32_t ulPolarity) : CFanCrutch(ulRegister, ulMask, ulPolarity) {}

  // Nothing when already on (the first stamp stays); otherwise stamped and
  // on at once, a resting fan included.
  int32_t On() override;
  // Resting from now on: inactive level, state resting.
  int32_t Rest();
  // The on-time supervision of the idle pass, at the time base's now.
  int32_t Check();
  // The same at a given time (ms): on for more than 600 s rests the fan,
  // resting for more than 60 s switches it off.
  int32_t CheckAt(uint32_t ulNowMs);
  uint32_t TimeStamp() const { return m_ulTimeStamp; }

 private:
  int32_t RestAt(uint32_t ulNowMs);
};

// The machine's fans and switched outputs, all on the fan-control register
// with polarity 0, in construction order:
//   FAN(object, class, register, mask, polarity)
// Bit 0x0800 of the same register is the Exit LED's port. The two fans
// without a name of their own are switched off only by the mechanism stop.
#define FAN_OUTPUTS(FAN)                                     \
  FAN(g_FanHeadL, CFanCnt, 0x64000036u, 0x0008u, 0)          \
  FAN(g_FanHeadR, CFanCnt, 0x64000036u, 0x0010u, 0)          \
  FAN(g_FanSideL, CFanCnt, 0x64000036u, 0x0020u, 0)          \
  FAN(g_FanSideR, CFanCnt, 0x64000036u, 0x0040u, 0)          \
  FAN(g_FanStpMtr, CFanCnt, 0x64000036u, 0x0080u, 0)         \
  FAN(g_FanPcb, CFanCnt, 0x64000036u, 0x0100u, 0)            \
  FAN(g_FanSpare9, CFanCnt, 0x64000036u, 0x0200u, 0)         \
  FAN(g_FanSpare10, CFanCnt, 0x64000036u, 0x0400u, 0)        \
  FAN(g_ClutchRibRvsL, CFanSwitch, 0x64000036u, 0x0001u, 0)  \
  FAN(g_ClutchRibRvsR, CFanSwitch, 0x64000036u, 0x0002u, 0)  \
  FAN(g_ClutchLoad, CFanSwitch, 0x64000036u, 0x0004u, 0)

#define FAN_OUTPUT_DECLARE(object, type, ...) extern type object;
FAN_OUTPUTS(FAN_OUTPUT_DECLARE)
#undef FAN_OUTPUT_DECLARE

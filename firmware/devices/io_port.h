// I/O ports: every discrete input and output bit of the printer that is not
// a motor or clutch drive line is a port, a bit field (one or more adjacent
// bits given by a mask) of one hardware register. The Word classes sit on
// 16-bit registers of the FPGA's main block, the Long classes on 32-bit data
// registers of the SoC's GPIO controller; both reach their registers
// directly at their bus addresses. Input ports debounce what they read;
// output ports change their field by read-modify-write. Each port class
// keeps a registry of the registers its ports live in.
//
// Ports are used by the application task only; no interrupt handler writes
// a register that carries an output port.
#pragma once

#include <cstdint>

// The registers of one port class: at most 16, filled from entry 0 without
// gaps, each with the OR of the masks registered on it and the value last
// stored by a refresh.
class CPortRegTable {
 public:
  static constexpr uint32_t kEntries = 16;
  // The index of a port whose registration failed: every registry operation
  // refuses it, so that the port cannot reach another port's register.
  static constexpr uint32_t kNoEntry = 0xFFFFFFFFu;

  constexpr CPortRegTable() = default;

  // Enters the register (or widens its mask) and gives its index: 0, or -1
  // when all 16 entries hold other registers (the index is then untouched).
  int32_t Register(uint32_t ulRegister, uint32_t ulMask, uint32_t* pulIndex);
  // The entry's cached value under the mask, shifted down to bit 0: 0, or -1
  // when the mask has no set bit within the width (out 0) or the index
  // names no entry.
  int32_t ReadCachedBits(uint32_t ulIndex, uint32_t ulMask, uint32_t ulWidth, uint32_t* pulValue) const;
  // Re-reads every register into its cached value (up to five tries of
  // three agreeing reads each): 0, or -1 from the first register that never
  // settled; the entries after it keep their old values.
  int32_t Refresh(uint32_t ulWidth);
  // register |= mask, register &= ~mask, and register = (register & ~mask)
  // | value << (the mask's lowest set bit): 0, or -1 for an index that names
  // no entry (nothing written); WriteField also -1 for a mask with no set bit
  // within the width.
  int32_t SetBits(uint32_t ulIndex, uint32_t ulMask, uint32_t ulWidth);
  int32_t ClearBits(uint32_t ulIndex, uint32_t ulMask, uint32_t ulWidth);
  int32_t WriteField(uint32_t ulIndex, uint32_t ulMask, uint32_t ulValue, uint32_t ulWidth);
  // Clears every cached value; registers and masks stay.
  void ClearCache();

  // What an entry holds (register 0: empty).
  uint32_t RegisterAt(uint32_t ulIndex) const { return ulIndex < kEntries ? m_aEntries[ulIndex].ulRegister : 0; }
  uint32_t MaskAt(uint32_t ulIndex) const { return ulIndex < kEntries ? m_aEntries[ulIndex].ulMask : 0; }
  uint32_t CachedAt(uint32_t ulIndex) const { return ulIndex < kEntries ? m_aEntries[ulIndex].ulCached : 0; }

 private:
  struct Entry {
    uint32_t ulRegister;
    uint32_t ulMask;
    uint32_t ulCached;
  };
  Entry m_aEntries[kEntries] = {};
};

extern CPortRegTable g_PortRegTableInWord;
extern CPortRegTable g_PortRegTableOutWord;
extern CPortRegTable g_PortRegTableInLong;
extern CPortRegTable g_PortRegTableOutLong;

// The static initialisers that clear the cached register values of the
// input-port registries, 32-bit and 16-bit.
void ClearInputPortCacheLong();
void ClearInputPortCacheWord();

// An input port. Read takes one debounced reading: five register reads in a
// row, the first four of which must agree; an unstable reading counts as an
// error only when it outlasts the error time. This class gives the defaults
// (0, nothing done).
class CInputPort {
 public:
  constexpr CInputPort() = default;

  // The registry's cached value of the field.
  virtual int32_t ReadCached(uint32_t* pulValue);
  // 0 stable (out = the field shifted down to bit 0), 1 unstable (out = the
  // first sample, masked, unshifted), -1 unstable for longer than the error
  // time, -2 stable but the mask has no set bit within the register width
  // (out 0).
  virtual int32_t Read(uint32_t* pulValue);
  // Reads until the reading is not unstable: 0, -1 or -2.
  virtual int32_t ReadStable(uint32_t* pulValue);
  // Refreshes every register of the class's registry.
  virtual int32_t RefreshAll();

  void ClearUnstable() { m_ulUnstable = 0; }

 protected:
  // Ports are never destroyed, and never through this class.
  ~CInputPort() = default;
  // Sets the timing fields: error time 2000 us, idle reset 500 us and sample
  // spacing 1 us, in ticks of the millisecond time base, which are 0.
  void InitTiming();
  int32_t ReadField(uint32_t ulRegister, uint32_t ulMask, uint32_t ulWidth, uint32_t* pulValue);
  int32_t ReadFieldStable(uint32_t* pulValue);

  uint32_t m_ulUnstable = 0;
  uint32_t m_ulUnstableSince = 0;
  uint32_t m_ulErrorTime = 0;
  uint32_t m_ulLastRead = 0;
  uint32_t m_ulIdleReset = 0;
  uint32_t m_ulSampleSpacing = 0;
};

// An input port on a register of the given width, kept in the given
// registry: the Word ports on the FPGA's 16-bit registers, the Long ports on
// the GPIO controller's 32-bit ones.
template <uint32_t ulWidth, CPortRegTable& rTable>
class CInputPortOf final : public CInputPort {
 public:
  constexpr CInputPortOf() = default;
  CInputPortOf(uint32_t ulRegister, uint32_t ulMask);

  int32_t ReadCached(uint32_t* pulValue) override;
  int32_t Read(uint32_t* pulValue) override;
  int32_t ReadStable(uint32_t* pulValue) override;
  int32_t RefreshAll() override;

  bool Registered() const { return m_ulIndex != CPortRegTable::kNoEntry; }

 private:
  uint32_t m_ulRegister = 0;
  uint32_t m_ulMask = 0;
  uint32_t m_ulIndex = 0;
};

extern template class CInputPortOf<16, g_PortRegTableInWord>;
extern template class CInputPortOf<32, g_PortRegTableInLong>;
using CInputPortWord = CInputPortOf<16, g_PortRegTableInWord>;
using CInputPortLong = CInputPortOf<32, g_PortRegTableInLong>;

// An output port: set, clear or write its field by a plain read-modify-write
// of its register. This class gives the defaults (0, nothing done).
class COutputPort {
 public:
  constexpr COutputPort() = default;

  virtual int32_t Set();
  virtual int32_t Clear();
  // The value shifted up to the mask's lowest set bit replaces the field
  // (not cut to the mask: callers pass values that fit); -1 and no write
  // when the mask has no set bit within the register width.
  virtual int32_t Write(uint32_t ulValue);

 protected:
  // Ports are never destroyed, and never through this class.
  ~COutputPort() = default;
};

// An output port on a register of the given width, kept in the given
// registry, as the input ports.
template <uint32_t ulWidth, CPortRegTable& rTable>
class COutputPortOf final : public COutputPort {
 public:
  constexpr COutputPortOf() = default;
  COutputPortOf(uint32_t ulRegister, uint32_t ulMask);

  int32_t Set() override;
  int32_t Clear() override;
  int32_t Write(uint32_t ulValue) override;

  bool Registered() const { return m_ulIndex != CPortRegTable::kNoEntry; }

 private:
  uint32_t m_ulRegister = 0;
  uint32_t m_ulMask = 0;
  uint32_t m_ulIndex = 0;
};

extern template class COutputPortOf<16, g_PortRegTableOutWord>;
extern template class COutputPortOf<32, g_PortRegTableOutLong>;
using COutputPortWord = COutputPortOf<16, g_PortRegTableOutWord>;
using COutputPortLong = COutputPortOf<32, g_PortRegTableOutLong>;

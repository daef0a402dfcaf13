#include "firmware/devices/io_port.h"

#include "firmware/hal/hw.h"
#include "firmware/platform/time_base.h"

constinit CPortRegTable g_PortRegTableInWord;
constinit CPortRegTable g_PortRegTableOutWord;
constinit CPortRegTable g_PortRegTableInLong;
constinit CPortRegTable g_PortRegTableOutLong;

namespace {

constexpr uint32_t kWordBits = 16;
constexpr uint32_t kLongBits = 32;
// The comparisons of a reading: samples 1 to 4 must agree.
constexpr uint32_t kComparisons = 4;
constexpr uint32_t kRefreshTries = 5;

uint32_t ReadRegister(uint32_t ulRegister, uint32_t ulWidth) {
  return ulWidth == kWordBits ? HwRead16(ulRegister) : HwRead32(ulRegister);
}

void WriteRegister(uint32_t ulRegister, uint32_t ulWidth, uint32_t ulValue) {
  if (ulWidth == kWordBits) {
    HwWrite16(ulRegister, static_cast<uint16_t>(ulValue));
  } else {
    HwWrite32(ulRegister, ulValue);
  }
}

// The position of the mask's lowest set bit: 0, or -1 when it has none
// within the register width.
int32_t FieldShift(uint32_t ulMask, uint32_t ulWidth, uint32_t* pulShift) {
  for (uint32_t ulShift = 0; ulShift < ulWidth; ++ulShift) {
    if (((ulMask >> ulShift) & 1u) != 0) {
      *pulShift = ulShift;
      return 0;
    }
  }
  return -1;
}

void WaitTicks(uint32_t ulTicks) {
  const uint32_t ulStart = g_MsTimer.NowMs();
  uint32_t ulNow = ulStart;
  while (ulNow - ulStart < ulTicks) ulNow = g_MsTimer.NowMs();
}

}  // namespace

void ClearInputPortCacheLong() { g_PortRegTableInLong.ClearCache(); }

void ClearInputPortCacheWord() { g_PortRegTableInWord.ClearCache(); }

// ---- CPortRegTable -----------------------------------------------------------------------

int32_t CPortRegTable::Register(uint32_t ulRegister, uint32_t ulMask, uint32_t* pulIndex) {
  for (uint32_t i = 0; i < kEntries; ++i) {
    Entry& e = m_aEntries[i];
    if (e.ulRegister == 0) {
      e.ulRegister = ulRegister;
      e.ulMask = ulMask;
    } else if (e.ulRegister == ulRegister) {
      e.ulMask |= ulMask;
    } else {
      continue;
    }
    *pulIndex = i;
    return 0;
  }
  return -1;
}

int32_t CPortRegTable::ReadCachedBits(uint32_t ulIndex, uint32_t ulMask, uint32_t ulWidth, uint32_t* pulValue) const {
  uint32_t ulShift = 0;
  if (ulIndex >= kEntries || FieldShift(ulMask, ulWidth, &ulShift) != 0) {
    *pulValue = 0;
    return -1;
  }
  *pulValue = (m_aEntries[ulIndex].ulCached & ulMask) >> ulShift;
  return 0;
}

int32_t CPortRegTable::Refresh(uint32_t ulWidth) {
  for (Entry& e : m_aEntries) {
    if (e.ulRegister == 0) return 0;
    bool bSettled = false;
    for (uint32_t ulTry = 0; ulTry < kRefreshTries && !bSettled; ++ulTry) {
      const uint32_t ulFirst = ReadRegister(e.ulRegister, ulWidth);
      const uint32_t ulSecond = ReadRegister(e.ulRegister, ulWidth);
      const uint32_t ulThird = ReadRegister(e.ulRegister, ulWidth);
      ReadRegister(e.ulRegister, ulWidth);
      if (ulSecond == ulFirst && ulThird == ulFirst) {
        e.ulCached = ulFirst;
        bSettled = true;
      }
    }
    if (!bSettled) return -1;
  }
  return 0;
}

int32_t CPortRegTable::SetBits(uint32_t ulIndex, uint32_t ulMask, uint32_t ulWidth) {
  if (ulIndex >= kEntries) return -1;
  const uint32_t ulRegister = m_aEntries[ulIndex].ulRegister;
  WriteRegister(ulRegister, ulWidth, ReadRegister(ulRegister, ulWidth) | ulMask);
  return 0;
}

int32_t CPortRegTable::ClearBits(uint32_t ulIndex, uint32_t ulMask, uint32_t ulWidth) {
  if (ulIndex >= kEntries) return -1;
  const uint32_t ulRegister = m_aEntries[ulIndex].ulRegister;
  WriteRegister(ulRegister, ulWidth, ReadRegister(ulRegister, ulWidth) & ~ulMask);
  return 0;
}

int32_t CPortRegTable::WriteField(uint32_t ulIndex, uint32_t ulMask, uint32_t ulValue, uint32_t ulWidth) {
  uint32_t ulShift = 0;
  if (ulIndex >= kEntries || FieldShift(ulMask, ulWidth, &ulShift) != 0) return -1;
  const uint32_t ulRegister = m_aEntries[ulIndex].ulRegister;
  WriteRegister(ulRegister, ulWidth, (ReadRegister(ulRegister, ulWidth) & ~ulMask) | (ulValue << ulShift));
  return 0;
}

void CPortRegTable::ClearCache() {
  for (Entry& e : m_aEntries) e.ulCached = 0;
}

// ---- CInputPort ------------------------------------------------------------------------------

int32_t CInputPort::ReadCached(uint32_t*) { return 0; }
int32_t CInputPort::Read(uint32_t*) { return 0; }
int32_t CInputPort::ReadStable(uint32_t*) { return 0; }
int32_t CInputPort::RefreshAll() { return 0; }

void CInputPort::InitTiming() {
  m_ulUnstable = 0;
  m_ulLastRead = 0;
  m_ulErrorTime = g_MsTimer.UsToTicks(2000);
  m_ulIdleReset = g_MsTimer.UsToTicks(500);
  m_ulSampleSpacing = g_MsTimer.UsToTicks(1);
}

int32_t CInputPort::ReadField(uint32_t ulRegister, uint32_t ulMask, uint32_t ulWidth, uint32_t* pulValue) {
  // A port left alone for longer than the idle reset starts afresh. One
  // reading serves as the start of this read.
  const uint32_t ulStart = g_MsTimer.NowMs();
  if (ulStart - m_ulLastRead > m_ulIdleReset) m_ulUnstable = 0;
  m_ulLastRead = ulStart;

  const uint32_t ulFirst = ReadRegister(ulRegister, ulWidth) & ulMask;
  uint32_t ulLatest = ulFirst;
  bool bStable = true;
  for (uint32_t i = 0; i < kComparisons; ++i) {
    if (ulLatest != ulFirst) {
      bStable = false;
      break;
    }
    ulLatest = ReadRegister(ulRegister, ulWidth) & ulMask;
    // Every sample is followed by its spacing wait, which reads the clock
    // once even when the spacing is 0 ticks: that reading sets the time
    // between the samples, the debounce window.
    WaitTicks(m_ulSampleSpacing);
  }

  if (!bStable) {
    *pulValue = ulFirst;
    const uint32_t ulNow = g_MsTimer.NowMs();
    if (m_ulUnstable == 0) {
      m_ulUnstable = 1;
      m_ulUnstableSince = ulNow;
    } else if (ulNow - m_ulUnstableSince > m_ulErrorTime) {
      m_ulUnstable = 0;
      return -1;
    }
    return 1;
  }

  m_ulUnstable = 0;
  uint32_t ulShift = 0;
  if (FieldShift(ulMask, ulWidth, &ulShift) != 0) {
    *pulValue = 0;
    return -2;
  }
  *pulValue = ulFirst >> ulShift;
  return 0;
}

int32_t CInputPort::ReadFieldStable(uint32_t* pulValue) {
  m_ulUnstable = 0;
  int32_t lResult = 0;
  do {
    lResult = Read(pulValue);
  } while (lResult == 1);
  m_ulUnstable = 0;
  return lResult;
}

// ---- CInputPortOf: CInputPortWord, CInputPortLong -----------------------------------------------

template <uint32_t ulWidth, CPortRegTable& rTable>
CInputPortOf<ulWidth, rTable>::CInputPortOf(uint32_t ulRegister, uint32_t ulMask)
    : m_ulRegister(ulRegister), m_ulMask(ulMask) {
  InitTiming();
  if (rTable.Register(ulRegister, ulMask, &m_ulIndex) != 0) m_ulIndex = CPortRegTable::kNoEntry;
}

template <uint32_t ulWidth, CPortRegTable& rTable>
int32_t CInputPortOf<ulWidth, rTable>::ReadCached(uint32_t* pulValue) {
  return rTable.ReadCachedBits(m_ulIndex, m_ulMask, ulWidth, pulValue);
}

template <uint32_t ulWidth, CPortRegTable& rTable>
int32_t CInputPortOf<ulWidth, rTable>::Read(uint32_t* pulValue) {
  return ReadField(m_ulRegister, m_ulMask, ulWidth, pulValue);
}

template <uint32_t ulWidth, CPortRegTable& rTable>
int32_t CInputPortOf<ulWidth, rTable>::ReadStable(uint32_t* pulValue) {
  return ReadFieldStable(pulValue);
}

template <uint32_t ulWidth, CPortRegTable& rTable>
int32_t CInputPortOf<ulWidth, rTable>::RefreshAll() {
  return rTable.Refresh(ulWidth);
}

template class CInputPortOf<kWordBits, g_PortRegTableInWord>;
template class CInputPortOf<kLongBits, g_PortRegTableInLong>;

// ---- COutputPort and its variants ---------------------------------------------------------------

int32_t COutputPort::Set() { return 0; }
int32_t COutputPort::Clear() { return 0; }
int32_t COutputPort::Write(uint32_t) { return 0; }

template <uint32_t ulWidth, CPortRegTable& rTable>
COutputPortOf<ulWidth, rTable>::COutputPortOf(uint32_t ulRegister, uint32_t ulMask)
    : m_ulRegister(ulRegister), m_ulMask(ulMask) {
  if (rTable.Register(ulRegister, ulMask, &m_ulIndex) != 0) m_ulIndex = CPortRegTable::kNoEntry;
}

template <uint32_t ulWidth, CPortRegTable& rTable>
int32_t COutputPortOf<ulWidth, rTable>::Set() {
  return rTable.SetBits(m_ulIndex, m_ulMask, ulWidth);
}

template <uint32_t ulWidth, CPortRegTable& rTable>
int32_t COutputPortOf<ulWidth, rTable>::Clear() {
  return rTable.ClearBits(m_ulIndex, m_ulMask, ulWidth);
}

template <uint32_t ulWidth, CPortRegTable& rTable>
int32_t COutputPortOf<ulWidth, rTable>::Write(uint32_t ulValue) {
  return rTable.WriteField(m_ulIndex, m_ulMask, ulValue, ulWidth);
}

template class COutputPortOf<kWordBits, g_PortRegTableOutWord>;
template class COutputPortOf<kLongBits, g_PortRegTableOutLong>;

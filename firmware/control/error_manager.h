// The error manager: one bit per error index, raised by the parts that find
// an error and read by the printer-state selection, the status line and the
// host status. Raising an error changes nothing on the LCD by itself: the
// state selection notices the new lowest index and draws the status line.
#pragma once

#include <cstdint>

#include "firmware/control/error_table.h"
#include "firmware/platform/global_build.h"

class CErrorMng {
 public:
  static constexpr uint32_t kWords = 2048;  // one bit per index 0x0000-0xFFFF
  static constexpr uint32_t kNoIndex = erridx::kNone;

  constexpr CErrorMng() : m_aulBits{}, m_aulWordsInUse{}, m_ulCodeMajor(0), m_ulCodeMinor(0), m_ulSubCode(0) {}
  // The set empty, no code shown.
  explicit CErrorMng(GlobalBuild) : CErrorMng() {}

  // 0, -1 (index not in the table: nothing is set), -2 (a flagged row while
  // the error history is disabled; the bit is set). kNoIndex is ignored; a
  // raised index is not recorded twice.
  int32_t SetError(uint32_t ulIndex);
  int32_t ClearError(uint32_t ulIndex);
  int32_t IsErrorSet(uint32_t ulIndex, uint32_t* pulFlag) const;
  // 0 with the lowest raised index, or -1 with index -1 when none is raised.
  int32_t LowestActiveError(int32_t* plIndex) const;
  // 0 with a copy of the first row of that index (code), or -1 with the
  // row zeroed.
  static int32_t FindByIndex(uint32_t ulIndex, ErrorInfo* pRow);
  static int32_t FindByCode(uint32_t ulCode, ErrorInfo* pRow);
  // Clears every jam 0x1500-0x15FE.
  int32_t ClearAllJams();
  // 1 when a jam 0x1500-0x15FE is raised, else 0.
  int32_t IsAnyJamSet() const;
  // Only the first jam is raised: -2 outside the jam family, -1 while a jam
  // is raised, else SetError's result.
  int32_t SetErrorUnlessJam(uint32_t ulIndex);
  int32_t SetSubCode(uint32_t ulValue);
  int32_t GetSubCode(uint32_t* pulValue) const;
  int32_t ClearSubCode();
  // The LCD status line and status items 1-3 of the current printer state,
  // with one notification: 0, or -1 (nothing changed) when an error state's
  // lowest index has no row.
  int32_t DrawStatusLine();
  // The status line of the "PPA Error" row.
  int32_t DrawSorterError(const char* pszText, uint32_t ulSubCode);

  uint32_t CodeMajor() const { return m_ulCodeMajor; }
  uint32_t CodeMinor() const { return m_ulCodeMinor; }

 private:
  int32_t DrawReadyLine();
  bool IsSet(uint32_t ulIndex) const;
  // Whether any bit of the words [ulFirstWord, ulLastWord] is raised.
  bool AnyInWords(uint32_t ulFirstWord, uint32_t ulLastWord) const;

  uint32_t m_aulBits[kWords];
  // Bit w: word w of m_aulBits holds a raised index. The state selection
  // asks for the lowest raised index on every pass; this finds it without
  // reading every word.
  uint32_t m_aulWordsInUse[kWords / 32];
  uint32_t m_ulCodeMajor;
  uint32_t m_ulCodeMinor;
  uint32_t m_ulSubCode;
};

extern CErrorMng g_ErrorMng;

// Whether the index is raised in g_ErrorMng.
inline bool IsErrorRaised(uint32_t ulIndex) {
  uint32_t ulFlag = 0;
  g_ErrorMng.IsErrorSet(ulIndex, &ulFlag);
  return ulFlag != 0;
}

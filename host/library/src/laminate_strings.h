// The laminate strings a session keeps for its next print: at most twelve
// entries, numbered 1-12 in the order they were added. The print path sends
// each stored entry before the Print command and forgets them after the job.
#pragma once

#include <cstdint>

#include "protocol/requests.h"

namespace hostlib {

struct LaminateString {
  uint8_t number = 0;  // 1-12
  uint16_t x = 0;
  uint16_t y = 0;
  uint8_t style1 = 0;
  uint8_t style2 = 0;
  uint8_t textLength = 0;  // as the caller gave it; at most 20 characters travel
  char text[protocol::LAMINATE_TEXT_MAX] = {};
};

class LaminateStrings {
 public:
  static constexpr uint8_t kMaxEntries = 12;

  // Stores the entry under the next number. A thirteenth is refused and
  // not counted, so the count never passes the entries that exist.
  bool Add(const LaminateString &entry) {
    if (count_ >= kMaxEntries) return false;
    entries_[count_] = entry;
    entries_[count_].number = static_cast<uint8_t>(count_ + 1);
    ++count_;
    return true;
  }
  void Clear() { count_ = 0; }
  // Every entry back to its blank form: number i, at 0/0, styles 1 and 1,
  // length 0 and 20 blanks. The count is kept.
  void ResetEntries() {
    for (uint8_t i = 0; i < kMaxEntries; ++i) {
      entries_[i] = LaminateString{};
      entries_[i].number = static_cast<uint8_t>(i + 1);
      entries_[i].style1 = 1;
      entries_[i].style2 = 1;
      for (char &c : entries_[i].text) c = ' ';
    }
  }
  uint8_t Count() const { return count_; }
  // Entry i of the stored ones, 0 <= i < Count().
  const LaminateString &Entry(uint8_t i) const { return entries_[i]; }

 private:
  LaminateString entries_[kMaxEntries];
  uint8_t count_ = 0;
};

}  // namespace hostlib

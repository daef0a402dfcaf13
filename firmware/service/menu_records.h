// The service menus as constant data. A menu is a table of entries (a
// 16-character text and what Enter on it does), from which MenuRecord
// builds the engine's record (MenuDesc) at compile time. Every text goes
// through a compile-time check that it is exactly 16 characters; only the
// page texts that the firmware rewrites in place are writable, and they are
// named as such (WritableText).
//
// The handlers follow three patterns, each one routine over its table:
// - dispatch (DispatchItem): the selected entry's action runs (an operation,
//   a submenu, a setting editor, a counter screen), then its follow-up;
// - switch menu (SwitchTitle, SwitchItem): the title handler preselects the
//   item of the stored value, the item stores its value, blanks the line,
//   waits 500 ms and applies the value;
// - setting list (EditSettingItem): the selected entry's setting is edited,
//   then its follow-up runs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "firmware/control/keys.h"
#include "firmware/control/menu.h"

class CParameter;
class CLifeCounter;

constexpr uint32_t MENU_TEXT_LENGTH = 16;

namespace menurecord {
// Not constexpr: reaching it while compiling a text is the compile error.
void MenuTextIsNotSixteenCharacters();
}  // namespace menurecord

// A constant 16-character text, checked when compiled.
struct MenuText {
  const char* psz;
  template <size_t N>
  consteval MenuText(const char (&s)[N]) : psz(s) {  // NOLINT(google-explicit-constructor)
    if (N != MENU_TEXT_LENGTH + 1 || s[MENU_TEXT_LENGTH] != '\0') menurecord::MenuTextIsNotSixteenCharacters();
    for (size_t i = 0; i < MENU_TEXT_LENGTH; ++i) {
      if (s[i] == '\0') menurecord::MenuTextIsNotSixteenCharacters();
    }
  }
  // A text the firmware rewrites in place: only its size is checked.
  struct Writable {};
  consteval MenuText(char (&s)[MENU_TEXT_LENGTH + 1], Writable) : psz(s) {}
};

// A page text rewritten in place (16 characters and the terminator).
consteval MenuText WritableText(char (&s)[MENU_TEXT_LENGTH + 1]) { return MenuText(s, MenuText::Writable{}); }

// ---- dispatch ---------------------------------------------------------------------------

enum MenuActionKind : uint8_t {
  MENU_ACTION_NONE = 0,        // Enter does nothing
  MENU_ACTION_RUN,             // an operation without arguments
  MENU_ACTION_RUN_RESULT,      // the same, its result not used
  MENU_ACTION_MENU,            // a submenu with RunMenu at column 0
  MENU_ACTION_MENU_BY_TYPE,    // the submenu of the ribbon control type
  MENU_ACTION_PAGES,           // a page list with RunMenuPages at column 0
  MENU_ACTION_EDIT,            // EditParameter
  MENU_ACTION_COUNTER_MENU,    // CLifeCounter::MenuScreen, decimal
  MENU_ACTION_COUNTER_SHOW,    // CLifeCounter::Show, decimal, until a key
};

struct MenuAction {
  MenuActionKind kind;
  void (*pfnRun)();
  int32_t (*pfnRunResult)();
  const MenuDesc* pMenu;      // MENU, PAGES (as a page list), MENU_BY_TYPE type 1
  const MenuDesc* pMenuType0; // MENU_BY_TYPE type 0
  const MenuDesc* const* ppPages;
  CParameter* pSetting;
  CLifeCounter* pCounter;
  int32_t (*pfnAfter)();         // run after the action, or null
};

constexpr MenuAction DoNothing() { return {MENU_ACTION_NONE, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}; }
constexpr MenuAction Run(void (*pfn)(), int32_t (*pfnAfter)() = nullptr) {
  return {MENU_ACTION_RUN, pfn, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, pfnAfter};
}
constexpr MenuAction Run(int32_t (*pfn)(), int32_t (*pfnAfter)() = nullptr) {
  return {MENU_ACTION_RUN_RESULT, nullptr, pfn, nullptr, nullptr, nullptr, nullptr, nullptr, pfnAfter};
}
constexpr MenuAction Open(const MenuDesc& menu, int32_t (*pfnAfter)() = nullptr) {
  return {MENU_ACTION_MENU, nullptr, nullptr, &menu, nullptr, nullptr, nullptr, nullptr, pfnAfter};
}
constexpr MenuAction OpenByType(const MenuDesc& type1, const MenuDesc& type0) {
  return {MENU_ACTION_MENU_BY_TYPE, nullptr, nullptr, &type1, &type0, nullptr, nullptr, nullptr, nullptr};
}
constexpr MenuAction OpenPages(const MenuDesc* const* ppPages) {
  return {MENU_ACTION_PAGES, nullptr, nullptr, nullptr, nullptr, ppPages, nullptr, nullptr, nullptr};
}
constexpr MenuAction Edit(CParameter& setting, int32_t (*pfnAfter)() = nullptr) {
  return {MENU_ACTION_EDIT, nullptr, nullptr, nullptr, nullptr, nullptr, &setting, nullptr, pfnAfter};
}
constexpr MenuAction CounterMenu(CLifeCounter& counter, int32_t (*pfnAfter)() = nullptr) {
  return {MENU_ACTION_COUNTER_MENU, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &counter, pfnAfter};
}
constexpr MenuAction CounterShow(CLifeCounter& counter, int32_t (*pfnAfter)() = nullptr) {
  return {MENU_ACTION_COUNTER_SHOW, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &counter, pfnAfter};
}

// Runs one action and its follow-up (the follow-up's result is not used).
void RunMenuAction(const MenuAction& action);

struct MenuEntry {
  MenuText text;
  MenuAction action;
};

// ---- switch menus -----------------------------------------------------------------------

struct SwitchEntry {
  MenuText text;
  int32_t lValue;
};

struct SwitchDesc {
  CParameter* pSetting;
  // The item preselected when the stored value matches none (1-based).
  uint32_t ulOtherItem;
  // Applies the stored value after the line was blanked, or null.
  void (*pfnApply)(int32_t lValue);
  const SwitchEntry* pEntries;
  uint32_t ulEntries;
};

// ---- setting lists ----------------------------------------------------------------------

struct SettingEntry {
  MenuText text;
  CParameter* pSetting;
  int32_t (*pfnAfter)();
};

// ---- the engine's record ----------------------------------------------------------------

consteval const char* TextOf(const MenuText& text) { return text.psz; }
template <class Entry>
consteval const char* TextOf(const Entry& entry) {
  return entry.text.psz;
}

// The record of N items: the texts (entry 0 the title, null here) and the
// handlers (entry 0 the title handler), as RunMenu and RunMenuPages take
// them.
template <size_t N>
struct MenuRecord : MenuDesc {
  const char* apszLabels[N + 2];
  MenuHandler apfnHandlers[N + 1];

  // Every item runs `pfnItem`, which reads the selection. The entries are
  // MenuEntry, SwitchEntry, SettingEntry or plain MenuText.
  template <class Entry>
  consteval MenuRecord(const Entry (&entries)[N], MenuHandler pfnItem, MenuHandler pfnTitle = SelectFirstMenuItem)
      : MenuDesc{apszLabels, apfnHandlers}, apszLabels{}, apfnHandlers{} {
    apszLabels[0] = nullptr;
    apfnHandlers[0] = pfnTitle;
    for (size_t i = 0; i < N; ++i) {
      apszLabels[i + 1] = TextOf(entries[i]);
      apfnHandlers[i + 1] = pfnItem;
    }
    apszLabels[N + 1] = nullptr;
  }
  // A page with a title: the title first, Enter on it selects the item the
  // title handler chooses.
  template <class Entry>
  consteval MenuRecord(MenuText title, const Entry (&entries)[N], MenuHandler pfnItem, MenuHandler pfnTitle)
      : MenuRecord(entries, pfnItem, pfnTitle) {
    apszLabels[0] = title.psz;
  }

  MenuRecord(const MenuRecord&) = delete;
  MenuRecord& operator=(const MenuRecord&) = delete;
};

template <class Entry, size_t N>
MenuRecord(const Entry (&)[N], MenuHandler) -> MenuRecord<N>;
template <class Entry, size_t N>
MenuRecord(const Entry (&)[N], MenuHandler, MenuHandler) -> MenuRecord<N>;
template <class Entry, size_t N>
MenuRecord(MenuText, const Entry (&)[N], MenuHandler, MenuHandler) -> MenuRecord<N>;

// The selected item as an index into a table of n entries, or -1 outside.
int32_t SelectedEntry(uint32_t ulEntries);

// ---- the three routines -----------------------------------------------------------------

template <const auto& kEntries>
void DispatchItem() {
  constexpr uint32_t n = sizeof kEntries / sizeof kEntries[0];
  const int32_t i = SelectedEntry(n);
  if (i >= 0) RunMenuAction(kEntries[i].action);
}

void PreselectSwitch(const SwitchDesc& desc);
void StoreSwitch(const SwitchDesc& desc);

template <const SwitchDesc& kSwitch>
void SwitchTitle() {
  PreselectSwitch(kSwitch);
}
template <const SwitchDesc& kSwitch>
void SwitchItem() {
  StoreSwitch(kSwitch);
}

void EditSettingEntry(const SettingEntry* pEntries, uint32_t ulEntries);

template <const auto& kEntries>
void EditSettingItem() {
  EditSettingEntry(kEntries, sizeof kEntries / sizeof kEntries[0]);
}

// The switch description of a table of entries.
template <size_t N>
constexpr SwitchDesc MakeSwitch(CParameter& setting, const SwitchEntry (&entries)[N], uint32_t ulOtherItem,
                                void (*pfnApply)(int32_t) = nullptr) {
  return {&setting, ulOtherItem, pfnApply, entries, N};
}

// ---- small screen helpers shared by the menus -------------------------------------------

// Blanks the LCD line (16 blanks at column 0) and waits `ulMs`.
void BlankLineAndWait(uint32_t ulMs);
// The record of the ribbon control type in force now.
const MenuDesc* ByRibbonControlType(const MenuDesc& type1, const MenuDesc& type0);

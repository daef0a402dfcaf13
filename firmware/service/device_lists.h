// Device lists as menus: a list pairs the item texts with one device object
// per item, and Enter on an item runs one operation of that item's object.
// The handler and the menu record are built from the list at compile time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "firmware/control/menu.h"
#include "firmware/service/menu_records.h"

template <typename T, size_t N>
struct DeviceList {
  MenuText aTexts[N];
  T* apObjects[N];
};

// The operation of the selected item's object; a number outside the list
// does nothing.
template <const auto& kList, auto pfnOperation>
void RunDeviceListItem() {
  constexpr uint32_t n = sizeof kList.apObjects / sizeof kList.apObjects[0];
  const int32_t i = SelectedEntry(n);
  if (i >= 0) (kList.apObjects[i]->*pfnOperation)();
}

// The list's record: every item runs its operation.
template <const auto& kList, auto pfnOperation>
struct DeviceListMenu {
  static constexpr MenuRecord kMenu{kList.aTexts, RunDeviceListItem<kList, pfnOperation>};
};

// One operation of one object, as a menu item's action.
template <auto& object, auto pfnOperation>
void RunDeviceOperation() {
  (object.*pfnOperation)();
}

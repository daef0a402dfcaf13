// Device lists as menus: a list pairs the item texts with one device object
// per item, and Enter on an item runs one operation of that item's object.
// The handler and the menu record are built from the list at compile time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "firmware/control/menu.h"

// Texts: null title, the N item texts, the null end.
template <typename T, size_t N>
struct DeviceList {
  const char* apszLabels[N + 2];
  T* apObjects[N];
};

// The handlers of a menu whose N items share one handler.
template <MenuHandler pfnItem, size_t N>
constexpr std::array<MenuHandler, N + 1> SharedHandlers() {
  std::array<MenuHandler, N + 1> handlers{};
  handlers[0] = SelectFirstMenuItem;
  for (size_t i = 1; i <= N; ++i) handlers[i] = pfnItem;
  return handlers;
}

// The operation of the selected item's object; a number outside the list
// does nothing.
template <const auto& kList, auto pfnOperation>
void RunDeviceListItem() {
  const uint32_t ulItem = GetMenuSelection();
  if (ulItem >= 1 && ulItem <= std::size(kList.apObjects)) (kList.apObjects[ulItem - 1]->*pfnOperation)();
}

template <const auto& kList, auto pfnOperation>
struct DeviceListMenu {
  static constexpr auto kHandlers =
      SharedHandlers<RunDeviceListItem<kList, pfnOperation>, std::size(kList.apObjects)>();
  static constexpr MenuDesc kMenu = {kList.apszLabels, kHandlers.data()};
};

// Opens the list as a menu at column 0.
template <const auto& kList, auto pfnOperation>
void RunDeviceList() {
  RunMenu(&DeviceListMenu<kList, pfnOperation>::kMenu, 0);
}

// One operation of one object, as a menu item's handler.
template <auto& object, auto pfnOperation>
void RunDeviceOperation() {
  (object.*pfnOperation)();
}

// The device-check menus of the service modes: one item per mechanism,
// actuator group or sensor group, each opening that device's check screen.
// The key test (CheckKeyTest) is declared with the service menus.
#pragma once

// "Diagnostics     ": the device-check menu of the current ribbon control
// type (27 items with colour-sensor ribbon control, 23 with mark sensors).
void RunDeviceCheckMenu();

// The machine definition: builds every global device, sensor, EEPROM-cell,
// setting, counter and state object, in one fixed order.
#pragma once

void ConstructGlobals();

// The USB0 device controller's interrupt handler: endpoint 0 and bus events.
#pragma once

void UsbDeviceInterrupt();

// Test double of the outside USB-access library BOM7300UsbCtrl, built as
// libBOM7300UsbCtrl.so beside the library's test program, where
// LoadLibraryA("BOM7300UsbCtrl.dll") finds it. Never part of the real
// build.
//
// It exports the 13 SDKUsb_ entry points over a table of fake printers,
// one per device index. Each fake printer answers the commands written on
// its OUT pipe on its IN pipe, built with the protocol module: its serial
// number, its status, and a data-less acceptance of everything else, unless
// the test scripts a raw reply or a dropped command. Reads and stalled
// writes block through W32X_WaitFd, so the virtual clock sees them waiting
// and TerminateThread cancels them.
//
// The test program links this library and steers it through the functions
// below.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#define USBCTRL_DOUBLE_API __attribute__((visibility("default")))

namespace usbctrl_double {

struct Counters {
  int opens = 0;             // SDKUsb_Open that opened a device
  int closes = 0;            // SDKUsb_Close of an open device
  int closesOfClosed = 0;    // SDKUsb_Close of a device not open
  int pipesGiven = 0;        // SDKUsb_GetPipeHandle that gave a handle
  int pipesClosed = 0;       // SDKUsb_ClosePipe of a live pipe
  int badPipeCloses = 0;     // SDKUsb_ClosePipe of a closed or unknown handle
  int checkDeviceCalls = 0;  // SDKUsb_CheckDevice
  int droppedCommands = 0;   // commands that got no answer
};

// No printers, counters zero, every pipe left open closed.
USBCTRL_DOUBLE_API void Reset();
// A printer of this model at the next device index; returns the index.
USBCTRL_DOUBLE_API int AddPrinter(const std::string &serial);
// A device with another identity in its path.
USBCTRL_DOUBLE_API int AddDevice(const std::string &serial, uint16_t vendor, uint16_t product);
// The printer goes away: it answers nothing more, its pending transfers
// fail, SDKUsb_CheckDevice reports it gone, and every window of the process
// gets the device-change message. Returns the number of windows reached.
USBCTRL_DOUBLE_API int Unplug(int index);
// Printer state and error of the status reply and of every reply header.
USBCTRL_DOUBLE_API void SetStatus(int index, uint8_t printerState, uint8_t errorClass, uint8_t errorDetail);
// The next `count` commands with this code (0: any code) get no answer;
// count -1: all of them.
USBCTRL_DOUBLE_API void DropCommands(int index, uint16_t code, int count);
// While stalled, writes on the printer's OUT pipe block.
USBCTRL_DOUBLE_API void StallWrites(int index, bool stall);
// After the next `count` writes on the printer's OUT pipe every write fails
// (ERROR_GEN_FAILURE) as on a broken cable; -1: writes work again.
USBCTRL_DOUBLE_API void FailWritesAfter(int index, int count);
// The answer to the next command, as raw bytes.
USBCTRL_DOUBLE_API void QueueRawReply(int index, const std::vector<uint8_t> &reply);
// The answers to the next command: several transfers on the IN pipe, as a
// reply followed by data the printer sends after it (tone-curve pieces).
USBCTRL_DOUBLE_API void QueueRawReplies(int index, const std::vector<std::vector<uint8_t>> &answers);
// Forgets the raw answers no command has taken.
USBCTRL_DOUBLE_API void DropRawReplies(int index);
// Forgets the answers waiting on the IN pipe that no read has taken.
USBCTRL_DOUBLE_API void DropPendingAnswers(int index);
// Everything written on the printer's OUT pipe, one entry per write.
USBCTRL_DOUBLE_API std::vector<std::vector<uint8_t>> Written(int index);
// The device path, whose tail names the printer's mutex.
USBCTRL_DOUBLE_API std::string DevicePath(int index);
USBCTRL_DOUBLE_API Counters GetCounters();
// Pipe handles given and not closed yet.
USBCTRL_DOUBLE_API int LivePipes();

}  // namespace usbctrl_double

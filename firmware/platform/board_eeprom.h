// The main board's serial EEPROM (Microwire, 16-bit words) driven on GPIO
// bank 2: byte read and byte write with verify and retries. Reached through
// IOCTL_EEPROM_READ and IOCTL_EEPROM_WRITE. Which device and which half
// answer is chosen beforehand through the FPGA's EEPROM select register.
//
// The lines and the select bits are one bus that a command frame must have
// to itself: it belongs to the application task (and to the main task while
// it builds the machine, before the other tasks run). A call from any other
// task or from an interrupt handler is refused with -1 and logged, instead
// of interleaving its frame with the owner's.
#pragma once

#include <cstdint>

// Lines: GP2[14] chip select, GP2[10] data in, GP2[13] clock (outputs),
// GP2[11] data out / ready (input).
constexpr uint32_t EEPROM_GPIO_SET_DATA = 0x01E26040u;
constexpr uint32_t EEPROM_GPIO_CLR_DATA = 0x01E26044u;
constexpr uint32_t EEPROM_GPIO_IN_DATA = 0x01E26048u;
constexpr uint32_t EEPROM_LINE_CS = 0x4000u;
constexpr uint32_t EEPROM_LINE_DI = 0x0400u;
constexpr uint32_t EEPROM_LINE_SK = 0x2000u;
constexpr uint32_t EEPROM_LINE_DO = 0x0800u;

// Reads the byte at a byte address (word (a >> 1) & 0xFF, high byte for an
// odd address) into *pusValue (0-255): 0, or -1 (nothing read) for a caller
// that does not own the bus.
int32_t EepromReadByte(uint16_t usAddress, uint16_t* pusValue);
// Writes a byte, verified, with up to three attempts: 0 or -1.
int32_t EepromWriteByte(uint16_t usAddress, uint16_t usValue);
// One attempt: 0, -1 (not ready within 500 ms), -2 (read back differs).
int32_t EepromWriteByteOnce(uint16_t usAddress, uint16_t usValue);

// Whether the calling context owns the EEPROM bus (see above).
bool EepromBusOwnedByCaller();

// Building blocks of the frames.
void EepromCsHigh();
void EepromCsLow();
void EepromDiHigh();
void EepromDiLow();
void EepromSkHigh();
void EepromSkLow();
uint32_t EepromReadDo();
void EepromSendCommand(uint8_t ucAddress, uint8_t ucOp);
void EepromWriteEnable();
void EepromSendWrite(uint8_t ucWordAddress);
void EepromSendRead(uint8_t ucWordAddress);
uint16_t EepromReadWord16();
void EepromWriteWord16(uint16_t usWord);
int32_t EepromWaitReady();

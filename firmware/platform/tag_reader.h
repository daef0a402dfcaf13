// The ISO 15693 tag-reader chip, reached only through the serial bridge in
// the FPGA's main register block: the CPU loads the bytes to send into the
// bridge's transmit words, starts a transfer, waits for the bridge's flags
// and reads what came back from its receive words. Every bridge register is
// accessed through g_FpgaMain's Write and Read.
//
// The first byte of a transfer addresses the chip: register number in bits
// 0-4, bit 5 continuous access, bit 6 read, bit 7 a direct command. A frame
// for a tag starts with the chip commands 0x8F (reset the FIFO) and 0x91
// (transmit with CRC), then 0x3D (a continuous write from chip register 29)
// with the two transmit-length bytes (0x00, the request's byte count in
// bits 4-7) and the ISO 15693 request itself.
//
// Only the application task uses the bridge (the start-up's InitRFTag),
// busy-waiting on soft timer SOFT_TIMER_WAIT; no interrupt code touches it.
// Every wait is bounded (1000 ms per bridge flag, 10 reads of the interrupt
// status, 10 attempts per command); nothing is logged here.
#pragma once

#include <cstdint>

// The bridge's registers.
enum TagBridgeRegister : uint32_t {
  TAG_BRIDGE_STATUS = 0x640000A2u,     // bit 0 start, bit 1 done, bit 3 reply ready
  TAG_BRIDGE_TX_LENGTH = 0x640000A4u,  // bytes
  TAG_BRIDGE_MODE = 0x640000A6u,
  TAG_BRIDGE_TX = 0x64000200u,  // 12 bytes, two per word, the earlier in bits 0-7
  TAG_BRIDGE_RX = 0x64000210u,  // received bytes, likewise
};
constexpr uint32_t TAG_BRIDGE_TX_BYTES = 12;

// The chip registers the driver uses.
enum TagChipRegister : uint32_t {
  TAG_CHIP_IRQ_STATUS = 12,
  TAG_CHIP_FIFO_STATUS = 28,
  TAG_CHIP_TX_LENGTH2 = 30,
  TAG_CHIP_FIFO = 31,
};
// What a time-out reads from a chip register.
constexpr uint32_t TAG_READ_TIMEOUT = 255;

constexpr uint32_t TAG_UID_BYTES = 8;
constexpr uint32_t TAG_BLOCK_BYTES = 4;
constexpr uint32_t TAG_BLOCK_GROUPS = 16;

// A FIFO read of n bytes moves whole words: it stores n rounded up to even.
constexpr uint32_t TagFifoBytesStored(uint32_t ulLength) { return (ulLength + 1) / 2 * 2; }

// ---- bridge primitives: 0, or -1 on a time-out ----
int32_t TagSetTxLength(uint32_t ulLength);
// Read-modify-writes of the mode register; other bits are kept.
int32_t TagSetModeWrite();    // bits 1 and 2 set, bit 3 clear
int32_t TagSetModeCommand();  // bits 1, 2 and 3 set
int32_t TagSetModeRead();     // bits 1 and 3 set, bit 2 clear
int32_t TagSetModeIdle();     // bit 1 set, bits 2 and 3 clear
// Clears start, done and bit 8, sets start, then waits 10 ms.
int32_t TagStartTransfer();
// Polls the status for done (bit 1) / reply ready (bit 3), 1000 ms at most.
int32_t TagWaitDone();
int32_t TagWaitIrq();
int32_t TagWriteRegister(uint32_t ulRegister, uint32_t ulValue);
// The register's value, or TAG_READ_TIMEOUT on any time-out.
uint32_t TagReadRegister(uint32_t ulRegister);
// Reads n bytes of the chip's FIFO into the buffer, which must hold
// TagFifoBytesStored(n) bytes.
int32_t TagReadFifo(uint8_t* pucBuffer, uint32_t ulLength);

// ---- set-up ----
// Writes chip registers 0, 1, 7 and 8: the result of the last write.
int32_t InitRFTag();

// ---- tag commands: 0 or -1. None has a caller yet. ----
// The UID of the one tag that answers (one slot, high data rate).
int32_t TagInventory(uint8_t* pucUid);
int32_t TagReadBlock(uint32_t ulBlock, uint8_t* pucData);
// With the option flag set: the tag writes at the end-of-frame pulse that
// follows.
int32_t TagWriteBlock(uint32_t ulBlock, const uint8_t* pucData);
int32_t TagLockBlock(uint32_t ulBlock);
// The request is ISO 15693's get-multiple-block-security-status (0x2C) for
// the four blocks from ulFirst: a standard tag answers one status byte per
// block (bit 0: locked), and these are the 4 bytes stored.
int32_t TagReadMultipleBlocks(uint32_t ulFirst, uint8_t* pucOut);
// TagReadMultipleBlocks(4i, out + 4i) for i = 0-15 (64 bytes), stopping at
// the first failure.
int32_t TagReadBlockGroups(uint8_t* pucOut);

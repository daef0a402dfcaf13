// Transport between a session and its selected printer: one command packet
// per write, one reply per read, raw bulk data after the Print and Update
// commands, and the device lock.
//
// Command packets and replies go through a worker thread of their own that
// the caller waits for at most kTransferTimeoutMs; on a time-out the worker
// is terminated (which cancels its pending pipe I/O and joins it, so no
// worker outlives its writer or reader) and the transfer fails with
// RESULT_USB_ERROR. Raw bulk data use plain synchronous writes in pieces of
// at most kBulkPieceMax bytes.
//
// The builders and readers of the command codec are operations of
// CommandWriter and ReplyReader; they live in command_codec.cpp.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "protocol/headers.h"
#include "protocol/requests.h"

namespace hostlib {

class PrinterSession;

inline constexpr DWORD kTransferTimeoutMs = 60000;
inline constexpr DWORD kDeviceLockWaitMs = 500;
inline constexpr uint32_t kThreadedReadMax = 300;
inline constexpr uint32_t kDirectReadSize = 512;
inline constexpr uint32_t kBulkPieceMax = 4096;
inline constexpr size_t kTransferBufferSize = 1024;
// Every buffer that receives a whole reply holds at least this much.
inline constexpr size_t kReplyBufferMin = 512;

// Set when a threaded write (read) timed out, and never cleared: from then
// on no write (read) pipe of the process is closed with SDKUsb_ClosePipe,
// as the outside library cannot be trusted with a pipe whose transfer was
// abandoned.
extern std::atomic<uint32_t> g_bWriteTimedOut;
extern std::atomic<uint32_t> g_bReadTimedOut;
// Clears both, for tests that run several cases in one process.
void ResetTransferTimeOutFlags();

class CommandWriter {
 public:
  explicit CommandWriter(PrinterSession &session) : session_(session) {}
  CommandWriter(const CommandWriter &) = delete;
  CommandWriter &operator=(const CommandWriter &) = delete;

  // Writes one packet on a worker with the time-out. 1 with *written, or 0
  // with RESULT_USB_ERROR.
  int WriteThreaded(const uint8_t *packet, uint32_t length, uint32_t *written, uint16_t *err);
  // One synchronous write on the session's write pipe.
  int WriteDirect(const uint8_t *buffer, uint32_t length, uint32_t *written, uint16_t *err);

  // Builders (command_codec.cpp): 1 when the packet was written (*err 0),
  // else 0 with RESULT_USB_ERROR, or RESULT_BAD_PARAMETER for arguments
  // refused before anything is sent.
  int SendGetStatus(uint16_t *err);
  int SendGetMediaInfo(uint16_t *err);
  int SendModelProbe(uint16_t *err);
  int SendGetErrorLog(uint16_t *err);
  int SendGetParameter(uint8_t parameterId, uint16_t *err);
  int SendGetSerialNo(uint16_t *err);
  int SendGetPrinterIdStatus(uint8_t jobNumber, uint16_t *err);
  int SendGetCounters(uint16_t *err);
  int SendPrint(const protocol::PrintRequest &request, uint16_t *err);
  int SendCancelPrintJob(uint8_t jobNumber, uint8_t mode, uint16_t *err);
  int SendFlashLed(uint16_t *err);
  int SendReset(uint8_t kind, uint8_t argument, uint16_t *err);
  int SendReadToneCurve(uint8_t type, uint8_t curve, uint16_t *err);
  int SendOperationButton(uint8_t enable, uint16_t *err);
  int SendSetParameter(uint8_t parameterId, uint32_t value, uint16_t *err);
  // The text is read up to `length` characters, at most 20.
  int SendSetLaminateString(uint8_t entry, uint16_t x, uint16_t y, uint8_t style1, uint8_t style2, uint8_t length,
                            const char *text, uint16_t *err);
  int SendSetupPrintJob(const protocol::SetupPrintJobRequest &request, uint16_t *err);
  int SendGetJobStatus(uint16_t *err);
  int SendSelfDiagnosis(uint8_t subCommand, uint8_t deviceId, uint8_t action, uint16_t *err);
  int SendGetDiagnosisResult(uint16_t *err);
  int SendGetFirmwareInfo(uint8_t component, uint16_t *err);
  // third: bytes 2-5 (byte 2 is the no-reset flag; every caller passes 0).
  int SendUpdate(uint8_t kind, uint8_t argument, uint32_t third, uint32_t dataSize, uint16_t *err);
  int SendResetErrorLog(uint16_t *err);
  int SendSetSerialNo(const char serial[8], uint16_t *err);
  int SendReadHeadEeprom(uint8_t argument, uint16_t *err);
  // The caller's payload as it is; more than 250 bytes is refused.
  int SendUniversal(const uint8_t *payload, int32_t length, uint16_t *err);

 private:
  static unsigned __stdcall WriteWorker(void *self);
  // Hands an encoded packet (or a negative encoder result) to WriteThreaded.
  int SendPacket(const uint8_t *packet, int32_t length, uint16_t *err);
  template <typename Request>
  int SendRequest(const Request &request, uint16_t *err);
  int SendEmpty(uint16_t code, uint16_t *err);

  PrinterSession &session_;
  HANDLE worker_ = nullptr;
  unsigned workerId_ = 0;
  HANDLE pipe_ = INVALID_HANDLE_VALUE;  // the write pipe of the transfer in progress
  uint8_t packet_[kTransferBufferSize] = {};
  std::atomic<uint32_t> completed_{0};
  uint32_t packetLength_ = 0;
  std::atomic<uint32_t> written_{0};
};

class ReplyReader {
 public:
  explicit ReplyReader(PrinterSession &session) : session_(session) {}
  ReplyReader(const ReplyReader &) = delete;
  ReplyReader &operator=(const ReplyReader &) = delete;

  // One reply of at most kThreadedReadMax bytes, read on a worker with the
  // time-out, into `reply` (at least kReplyBufferMin bytes).
  int ReadThreaded(uint8_t *reply, uint32_t *received, uint16_t *err);
  // One reply of up to the session's reply read size (512), for the raw
  // entries. It runs on a worker with the same time-out as every other read
  // and holds no library lock, so a printer that drops a raw command costs
  // its caller the time-out and blocks no other thread.
  int ReadDirect(uint8_t *reply, uint32_t *received, uint16_t *err);

  // Readers (command_codec.cpp). Each reads one reply with ReadThreaded and
  // fails with RESULT_USB_ERROR when it is not exactly 10 + dataLength
  // bytes long.
  int ReadAck(uint16_t *err);
  // Copies the reply data; data longer than `capacity` is refused as a USB
  // error rather than copied past the caller's buffer. *length (optional)
  // receives the byte count.
  int ReadPayload(uint8_t *out, size_t capacity, uint16_t *err, uint16_t *length = nullptr);
  // The whole reply, header included.
  int ReadWholeReply(uint8_t *out, size_t capacity, uint16_t *err);
  int ReadShortPayload(uint8_t out[2], uint16_t *err);
  // The data and its length as one byte.
  int ReadUniversalReply(uint8_t *out, size_t capacity, uint8_t *length, uint16_t *err);
  // As ReadPayload, but an error reply mapped to RESULT_BUFFER_FULL also
  // has its data copied (the result stays a failure).
  int ReadJobSetupReply(uint8_t *out, size_t capacity, uint16_t *err);
  int ReadStatus(uint16_t *err);
  // As ReadStatus; a status whose data bytes 35 and 43 are both non-zero is
  // RESULT_BUFFER_FULL.
  int ReadStatusOrError(uint16_t *err);
  int ReadPrinterIdStatus(uint16_t *err);
  // One tone-curve piece by a direct read: [pieces still to come][n][n
  // bytes]. *length: in, the room left in `out`; out, n. A piece whose n is
  // not what arrived, or that does not fit, is a USB error.
  int ReadToneCurveData(uint8_t *out, int32_t *length, uint16_t *err);

 private:
  static unsigned __stdcall ReadWorker(void *self);
  int ReadOnWorker(uint32_t maxBytes, uint8_t *reply, uint32_t *received, uint16_t *err);
  // ReadThreaded plus the length check; `buffer` holds kReplyBufferMin.
  int ReceiveReply(uint8_t *buffer, protocol::ReplyFrame *frame, uint16_t *err);

  PrinterSession &session_;
  HANDLE worker_ = nullptr;
  unsigned workerId_ = 0;
  HANDLE pipe_ = INVALID_HANDLE_VALUE;  // the read pipe of the transfer in progress
  uint32_t maxBytes_ = 0;
  std::atomic<uint8_t> completed_{0};
  uint8_t reply_[kTransferBufferSize] = {};
  std::atomic<uint32_t> received_{0};
};

// Raw bulk data to the session's printer in pieces of at most 4096 bytes,
// no reply. *length is not changed. A length of 0 sends nothing and fails
// with RESULT_BAD_PARAMETER.
int SendBulkData(PrinterSession &session, const uint8_t *data, const uint32_t *length, uint16_t *err);

// The named mutex of the selected printer, held by one operation through a
// handle of its own, released and closed when the operation ends.
class DeviceLock {
 public:
  DeviceLock() = default;
  ~DeviceLock() { Release(); }
  DeviceLock(const DeviceLock &) = delete;
  DeviceLock &operator=(const DeviceLock &) = delete;

  bool Held() const { return mutex_ != nullptr; }
  void Release();

 private:
  friend class PrinterSession;
  HANDLE mutex_ = nullptr;
};

}  // namespace hostlib

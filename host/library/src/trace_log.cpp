// The trace writers.
#include "trace_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "discovery.h"
#include "protocol/command_table.h"

namespace hostlib {

namespace {

constexpr char kTraceDirVariable[] = "BOM7300_TRACE_DIR";
constexpr size_t kTracePathMax = 1024;

enum class TraceFileKind : uint8_t { PerThread, Shared };

// The base path, or false when there is none.
bool BasePath(char *out, size_t size) {
#ifdef _WIN32
  return std::snprintf(out, size, "%s", "C:\\bin\\QrxUsbLog") > 0;
#else
  const char *dir = std::getenv(kTraceDirVariable);
  if (dir == nullptr || dir[0] == '\0') return false;
  const int n = std::snprintf(out, size, "%s/QrxUsbLog", dir);
  return n > 0 && static_cast<size_t>(n) < size;
#endif
}

bool FilePath(TraceFileKind kind, char *out, size_t size) {
  char base[kTracePathMax];
  if (!BasePath(base, sizeof base)) return false;
  const int n = kind == TraceFileKind::PerThread
                    ? std::snprintf(out, size, "%s-%d-%d.txt", base, static_cast<int>(GetCurrentThreadId()),
                                    static_cast<int>(GetCurrentProcessId()))
                    : std::snprintf(out, size, "%s-ThreadDevice.txt", base);
  return n > 0 && static_cast<size_t>(n) < size;
}

// A handle as the 32-bit value the log shows.
unsigned HandleValue(HANDLE handle) {
  return static_cast<unsigned>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle)));
}

// One record: the file opened for appending for its lifetime. New() says
// whether the file did not exist before.
class TraceRecord {
 public:
  explicit TraceRecord(TraceFileKind kind) {
    char path[kTracePathMax];
    if (!FilePath(kind, path, sizeof path)) return;
    if (std::FILE *existing = std::fopen(path, "r")) {
      std::fclose(existing);
    } else {
      new_ = true;
    }
    file_ = std::fopen(path, "a");
  }
  ~TraceRecord() { Close(); }
  TraceRecord(const TraceRecord &) = delete;
  TraceRecord &operator=(const TraceRecord &) = delete;

  bool Open() const { return file_ != nullptr; }
  bool New() const { return new_; }

  __attribute__((format(printf, 2, 3))) void Print(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(file_, format, args);
    va_end(args);
  }

  // The time stamp that begins a record's first line.
  void Stamp() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    Print("[%04d/%02d/%02d %02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
          t.wMilliseconds);
  }
  // A stamped line "  < label > ] ".
  void Headline(const char *label) {
    Stamp();
    Print("  < %s > ] \n", label);
  }
  void Bytes(const uint8_t *bytes, int32_t length) {
    for (int32_t i = 0; bytes != nullptr && i < length; ++i) Print("%02X ", bytes[i]);
  }

  int Close() {
    if (file_ == nullptr) return 0;
    const int closed = std::fclose(file_);
    file_ = nullptr;
    return closed;
  }

 private:
  std::FILE *file_ = nullptr;
  bool new_ = false;
};

int CallRecord(TraceFileKind kind, uint8_t maxKind, uint8_t recordKind, const char *name, int32_t size,
               uint16_t result) {
  TraceRecord record(kind);
  if (!record.Open()) return 0;
  if (record.New()) {
    record.Print("Process ID = %d\n", static_cast<int>(GetCurrentProcessId()));
    record.Print("Thread ID  = %d\n", static_cast<int>(GetCurrentThreadId()));
  }
  if (name == nullptr) name = "";
  if (recordKind <= maxKind) {
    record.Stamp();
    switch (recordKind) {
      case 0:
        record.Print("  < %s > ] \n", name);
        break;
      case 1:
        record.Print("  < %s > result = %d ] \n", name, result);
        break;
      case 2:
        record.Print("  < %s > size = %d result = %d ] \n", name, size, result);
        break;
      default:
        record.Print("  < %s > data = %d ] \n", name, size);
        break;
    }
  }
  return record.Close();
}

}  // namespace

bool TraceEnabled() {
  const char *dir = std::getenv(kTraceDirVariable);
  return dir != nullptr && dir[0] != '\0';
}

int TraceThreadCall(uint8_t kind, const char *name, int32_t size, uint16_t result) {
  return CallRecord(TraceFileKind::PerThread, 3, kind, name, size, result);
}

int TraceApiCall(uint8_t kind, const char *name, int32_t size, uint16_t result) {
  return CallRecord(TraceFileKind::Shared, 2, kind, name, size, result);
}

int TraceConnectHandle(uint8_t kind, int device) {
  TraceRecord record(TraceFileKind::PerThread);
  if (!record.Open()) return 0;
  const bool known = device >= 0 && device < kDeviceCount;
  if (kind == 1) {
    record.Headline("Connect Read Handle");
    record.Print("%X", HandleValue(known ? g_aDevicePipes.read[device].load() : INVALID_HANDLE_VALUE));
  } else if (kind == 2) {
    record.Headline("Connect Write Handle");
    record.Print("%X", HandleValue(known ? g_aDevicePipes.write[device].load() : INVALID_HANDLE_VALUE));
  }
  record.Print("\n");
  return record.Close();
}

int TraceShortValues(const uint16_t values[kTraceShortValues]) {
  TraceRecord record(TraceFileKind::PerThread);
  if (!record.Open()) return 0;
  for (int i = 0; values != nullptr && i < kTraceShortValues; ++i) record.Print("%d ", values[i]);
  record.Print("\n");
  return record.Close();
}

int TraceSendCommand(const uint8_t *packet, int32_t length) {
  TraceRecord record(TraceFileKind::PerThread);
  if (!record.Open()) return 0;
  const char *name = nullptr;
  if (packet != nullptr && length >= 2) name = protocol::CommandTraceName(protocol::GetU16(packet));
  record.Stamp();
  record.Print("  < Send Command > %s] \n", name != nullptr ? name : "");
  record.Bytes(packet, length);
  record.Print("\n");
  return record.Close();
}

int TraceSendData(HANDLE writePipe, uint8_t kind, const uint8_t *data, int32_t length) {
  TraceRecord record(TraceFileKind::PerThread);
  if (!record.Open()) return 0;
  record.Headline("Send Data");
  if (kind == 1) record.Print("%X", HandleValue(writePipe));
  if (kind == 2) record.Bytes(data, length);
  record.Print("\n");
  return record.Close();
}

int TraceReceiveMessage(const uint8_t *reply, int32_t length) {
  TraceRecord record(TraceFileKind::PerThread);
  if (!record.Open()) return 0;
  record.Headline("Receive Message");
  record.Bytes(reply, length);
  record.Print("\n");
  return record.Close();
}

int TraceRecvHandle(HANDLE readPipe, uint8_t flag) {
  TraceRecord record(TraceFileKind::PerThread);
  if (!record.Open()) return 0;
  record.Headline("Recv Command Handle");
  if (flag == 1) record.Print("%X", HandleValue(readPipe));
  record.Print("\n");
  return record.Close();
}

}  // namespace hostlib

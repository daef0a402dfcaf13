// Mutexes, named ones shared across processes.
//
// A mutex is a small segment of shared memory holding a robust,
// process-shared POSIX mutex (the lock itself: it reports the death of an
// owner thread, or of its whole process, to the next locker, which is
// WAIT_ABANDONED) and the owner and recursion bookkeeping that Windows
// semantics need on top. A named segment lives in /dev/shm under a name
// derived from the Windows name; it also lists the processes that hold
// handles to it, so that it disappears with the last of them, as a Windows
// kernel object does, even when some of them died without closing.
//
// Creation never exposes a half-made segment: it is built under a private
// name and linked into place, and whoever loses the race opens the winner's.
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include "runtime.h"

namespace w32 {
namespace {

constexpr uint32_t kMagic = 0x584D3357;  // "W3MX"
constexpr uint32_t kVersion = 2;
constexpr int kMaxHolders = 64;
constexpr const char *kShmDir = "/dev/shm/";
// A waiter re-checks its deadline and cancellation at this pace.
constexpr long kSliceVirtualMs = 10;
constexpr long kSliceRealMs = 50;

struct Holder {
  int32_t pid;
  uint32_t handles;    // mappings this process has open
  uint64_t startTime;  // process start time, so that a reused pid is not taken for the holder
};

struct Segment {
  uint32_t magic;
  uint32_t version;
  pthread_mutex_t meta;  // guards unlinked and holders
  pthread_mutex_t lock;  // the mutex itself
  std::atomic<uint32_t> ownerPid;
  std::atomic<uint32_t> ownerTid;  // 0 = not owned; written last on acquisition, first on release
  std::atomic<uint64_t> ownerKey;
  uint32_t recursion;
  uint32_t abandoned;  // the owner thread ended holding it; read and cleared by the next owner
  uint32_t unlinked;
  Holder holders[kMaxHolders];
};
static_assert(std::atomic<uint32_t>::is_always_lock_free && std::atomic<uint64_t>::is_always_lock_free,
              "owner fields are shared between processes");

// Start time of a process in clock ticks since boot, 0 when it is gone or a
// zombie.
uint64_t ProcessStartTime(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  FILE *f = std::fopen(path, "re");
  if (f == nullptr) return 0;
  char text[1024];
  size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  text[n] = '\0';
  const char *p = std::strrchr(text, ')');
  if (p == nullptr) return 0;
  ++p;
  // Fields after the command: state is field 3, the start time field 22.
  char state = 0;
  unsigned long long start = 0;
  int field = 2;
  const char *token = p;
  while (*token != '\0') {
    while (*token == ' ') ++token;
    if (*token == '\0') break;
    ++field;
    if (field == 3) state = *token;
    if (field == 22) {
      start = std::strtoull(token, nullptr, 10);
      break;
    }
    while (*token != ' ' && *token != '\0') ++token;
  }
  if (state == 'Z' || state == 'X') return 0;
  return start;
}

uint64_t OwnStartTime() { return ProcessStartTime(getpid()); }

bool Alive(const Holder &h) { return h.pid != 0 && ProcessStartTime(h.pid) == h.startTime && h.startTime != 0; }

bool LockMeta(Segment *s) {
  int rc = pthread_mutex_lock(&s->meta);
  if (rc == EOWNERDEAD) {
    pthread_mutex_consistent(&s->meta);
    return true;
  }
  return rc == 0;
}

void UnlockMeta(Segment *s) { pthread_mutex_unlock(&s->meta); }

// Drops dead holders; returns how many live ones remain.
int PruneHolders(Segment *s) {
  int live = 0;
  for (Holder &h : s->holders) {
    if (h.pid == 0) continue;
    if (Alive(h)) {
      ++live;
    } else {
      h = Holder{};
    }
  }
  return live;
}

bool AddHolder(Segment *s, pid_t pid, uint64_t startTime) {
  for (Holder &h : s->holders) {
    if (h.pid == pid && h.startTime == startTime) {
      ++h.handles;
      return true;
    }
  }
  for (Holder &h : s->holders) {
    if (h.pid == 0) {
      h = Holder{pid, 1, startTime};
      return true;
    }
  }
  return false;
}

void InitSegment(Segment *s) {
  std::memset(static_cast<void *>(s), 0, sizeof *s);
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK);
  pthread_mutex_init(&s->meta, &attr);
  pthread_mutex_init(&s->lock, &attr);
  pthread_mutexattr_destroy(&attr);
  new (&s->ownerPid) std::atomic<uint32_t>(0);
  new (&s->ownerTid) std::atomic<uint32_t>(0);
  new (&s->ownerKey) std::atomic<uint64_t>(0);
  s->version = kVersion;
  s->magic = kMagic;
}

// Windows names are case-sensitive and may hold any character but '\'
// beyond a namespace prefix. "Local\" is the default namespace and means
// the same object as the bare name. Every character that is not a letter,
// digit, '-' or '.' is escaped as _xx, so distinct names stay distinct; a
// long name keeps a readable head and a 128-bit digest of the whole.
std::string ShmNameFor(const std::string &windowsName) {
  std::string name = windowsName;
  if (name.rfind("Local\\", 0) == 0) name.erase(0, 6);
  std::string escaped;
  for (unsigned char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.') {
      escaped += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "_%02x", c);
      escaped += buf;
    }
  }
  std::string prefix = "bomw32-" + std::to_string(getuid()) + "-mx-";
  constexpr size_t kMaxEscaped = 160;
  if (escaped.size() > kMaxEscaped) {
    uint64_t a = 0xcbf29ce484222325ull;
    uint64_t b = 0x84222325cbf29ce4ull;
    for (unsigned char c : name) {
      a = (a ^ c) * 0x100000001b3ull;
      b = (b ^ c) * 0x9e3779b97f4a7c15ull + 0x7f4a7c15ull;
    }
    char digest[40];
    std::snprintf(digest, sizeof digest, "~%016llx%016llx", static_cast<unsigned long long>(a),
                  static_cast<unsigned long long>(b));
    escaped = escaped.substr(0, 100) + digest;
  }
  return prefix + escaped;
}

DWORD ErrorFromErrno(int e) {
  switch (e) {
    case EACCES:
    case EPERM:
      return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
    case ENOSPC:
      return ERROR_NOT_ENOUGH_MEMORY;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    default:
      return ERROR_GEN_FAILURE;
  }
}

bool OwnedBy(const Segment *s, const ThreadRecord &me) {
  return s->ownerTid.load(std::memory_order_acquire) == me.tid && me.tid != 0 &&
         s->ownerPid.load(std::memory_order_relaxed) == static_cast<uint32_t>(getpid()) &&
         s->ownerKey.load(std::memory_order_relaxed) == me.key;
}

void ClearOwner(Segment *s) {
  s->ownerTid.store(0, std::memory_order_release);
  s->ownerKey.store(0, std::memory_order_relaxed);
  s->ownerPid.store(0, std::memory_order_relaxed);
  s->recursion = 0;
}

class Mapping;
void TakeOwnership(const std::shared_ptr<Mapping> &mapping, ThreadRecord &me);

class Mapping {
 public:
  // Named: registered as a holder of the process `registeredPid`.
  Mapping(Segment *segment, std::string shmName)
      : segment_(segment), shmName_(std::move(shmName)), registeredPid_(getpid()), startTime_(OwnStartTime()) {}
  // Unnamed: private to the process.
  explicit Mapping(Segment *segment) : segment_(segment), registeredPid_(0), startTime_(0) {}

  // An owner thread holds a reference too, so the segment is never unmapped
  // under a lock that the kernel's robust-lock list still points to.
  ~Mapping() {
    Unregister();
    munmap(segment_, sizeof(Segment));
  }
  Mapping(const Mapping &) = delete;
  Mapping &operator=(const Mapping &) = delete;

  Segment *segment() const { return segment_; }

  // Removes this process from the holders; the last holder removes the name.
  void Unregister() {
    if (shmName_.empty() || registeredPid_ != getpid()) return;
    registeredPid_ = 0;
    if (!LockMeta(segment_)) return;
    for (Holder &h : segment_->holders) {
      if (h.pid == getpid() && h.startTime == startTime_) {
        if (--h.handles == 0) h = Holder{};
        break;
      }
    }
    if (PruneHolders(segment_) == 0 && segment_->unlinked == 0) {
      segment_->unlinked = 1;
      unlink((std::string(kShmDir) + shmName_).c_str());
    }
    UnlockMeta(segment_);
  }

 private:
  Segment *segment_;
  std::string shmName_;
  pid_t registeredPid_;
  uint64_t startTime_;
};

// The lock is held by `me`; record it as the Windows owner.
void TakeOwnership(const std::shared_ptr<Mapping> &mapping, ThreadRecord &me) {
  Segment *s = mapping->segment();
  s->recursion = 1;
  s->ownerPid.store(static_cast<uint32_t>(getpid()), std::memory_order_relaxed);
  s->ownerKey.store(me.key, std::memory_order_relaxed);
  s->ownerTid.store(me.tid, std::memory_order_release);
  me.ownedMutexes.push_back(mapping);
}

void ForgetOwned(ThreadRecord &me, const Segment *s) {
  auto &owned = me.ownedMutexes;
  for (auto it = owned.begin(); it != owned.end(); ++it) {
    if (std::static_pointer_cast<Mapping>(*it)->segment() == s) {
      owned.erase(it);
      return;
    }
  }
}

struct OpenResult {
  std::shared_ptr<Mapping> mapping;
  bool created = false;
  DWORD error = ERROR_SUCCESS;
};

Segment *MapFd(int fd) {
  void *p = mmap(nullptr, sizeof(Segment), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return p == MAP_FAILED ? nullptr : static_cast<Segment *>(p);
}

// A mutex created here is owned by `me` before anyone else can see it when
// initialOwner is set.
OpenResult OpenOrCreate(const std::string &shmName, ThreadRecord &me, bool initialOwner) {
  const std::string path = std::string(kShmDir) + shmName;
  const pid_t pid = getpid();
  const uint64_t startTime = OwnStartTime();
  OpenResult result;
  for (int attempt = 0; attempt < 100; ++attempt) {
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0) {
      struct stat st {};
      if (fstat(fd, &st) != 0 || st.st_size != static_cast<off_t>(sizeof(Segment))) {
        close(fd);
        result.error = ERROR_INVALID_HANDLE;  // a foreign object holds the name
        return result;
      }
      Segment *s = MapFd(fd);
      close(fd);
      if (s == nullptr) {
        result.error = ERROR_NOT_ENOUGH_MEMORY;
        return result;
      }
      if (s->magic != kMagic || s->version != kVersion || !LockMeta(s)) {
        munmap(s, sizeof(Segment));
        result.error = ERROR_INVALID_HANDLE;
        return result;
      }
      if (s->unlinked != 0) {
        UnlockMeta(s);
        munmap(s, sizeof(Segment));
        continue;
      }
      if (PruneHolders(s) == 0) {
        // Every process that held it has died: the object is gone, as it
        // would be on Windows, and this call creates it anew.
        s->unlinked = 1;
        unlink(path.c_str());
        UnlockMeta(s);
        munmap(s, sizeof(Segment));
        continue;
      }
      bool added = AddHolder(s, pid, startTime);
      UnlockMeta(s);
      if (!added) {
        munmap(s, sizeof(Segment));
        result.error = ERROR_TOO_MANY_OPEN_FILES;
        return result;
      }
      result.mapping = std::make_shared<Mapping>(s, shmName);
      return result;
    }
    if (errno != ENOENT) {
      result.error = ErrorFromErrno(errno);
      return result;
    }
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".new.%d.%llu.%d", static_cast<int>(pid),
                  static_cast<unsigned long long>(me.key), attempt);
    const std::string temporary = path + suffix;
    fd = open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      result.error = ErrorFromErrno(errno);
      return result;
    }
    Segment *s = nullptr;
    if (ftruncate(fd, sizeof(Segment)) == 0) s = MapFd(fd);
    close(fd);
    if (s == nullptr) {
      unlink(temporary.c_str());
      result.error = ERROR_NOT_ENOUGH_MEMORY;
      return result;
    }
    InitSegment(s);
    s->holders[0] = Holder{pid, 1, startTime};
    const bool locked = initialOwner && pthread_mutex_lock(&s->lock) == 0;
    int linked = link(temporary.c_str(), path.c_str());
    int linkErrno = errno;
    unlink(temporary.c_str());
    if (linked == 0) {
      result.mapping = std::make_shared<Mapping>(s, shmName);
      result.created = true;
      if (locked) TakeOwnership(result.mapping, me);
      return result;
    }
    if (locked) pthread_mutex_unlock(&s->lock);
    munmap(s, sizeof(Segment));
    if (linkErrno != EEXIST) {
      result.error = ErrorFromErrno(linkErrno);
      return result;
    }
  }
  result.error = ERROR_GEN_FAILURE;
  return result;
}

std::shared_ptr<Mapping> CreateUnnamed() {
  void *p = mmap(nullptr, sizeof(Segment), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  auto *s = static_cast<Segment *>(p);
  InitSegment(s);
  return std::make_shared<Mapping>(s);
}

// Named mappings of this process, so that every handle to one name shares
// one mapping (one lock address for the kernel's robust list). Guarded by
// the runtime lock.
std::unordered_map<std::string, std::weak_ptr<Mapping>> &Interned() {
  static auto *table = new std::unordered_map<std::string, std::weak_ptr<Mapping>>();
  return *table;
}

// Handles still open at a normal exit are closed then, as Windows closes
// them with the process.
void UnregisterAtExit() {
  Runtime &rt = Rt();
  if (!rt.lock.try_lock()) return;
  for (auto &entry : Interned()) {
    if (auto mapping = entry.second.lock()) mapping->Unregister();
  }
  rt.lock.unlock();
}

class MutexObject final : public Object {
 public:
  explicit MutexObject(std::shared_ptr<Mapping> mapping) : mapping_(std::move(mapping)) {}
  const char *KindName() const override { return "mutex"; }

  DWORD Wait(DWORD milliseconds) override {
    Segment *s = mapping_->segment();
    ThreadRecord &me = Self();
    if (OwnedBy(s, me)) {
      ++s->recursion;
      return WAIT_OBJECT_0;
    }
    Runtime &rt = Rt();
    std::unique_lock<std::mutex> lk(rt.lock);
    if (me.terminated) return Aborted();
    DWORD result;
    if (TryLock(me, result)) return result;
    if (milliseconds == 0) return WAIT_TIMEOUT;
    const uint64_t deadline = DeadlineAfter(milliseconds);
    const uint32_t ownPid = static_cast<uint32_t>(getpid());
    IdleScope idle(
        me, deadline,
        [s, ownPid] {
          if (s->ownerTid.load(std::memory_order_acquire) == 0) return Readiness::kReady;
          return s->ownerPid.load(std::memory_order_relaxed) == ownPid ? Readiness::kNotReady
                                                                       : Readiness::kOutside;
        },
        "a mutex");
    for (;;) {
      if (me.terminated) return Aborted();
      if (deadline != kNoDeadline && Now() >= deadline) {
        return TryLock(me, result) ? result : WAIT_TIMEOUT;
      }
      bool virtualClock = rt.virtualClock.load(std::memory_order_relaxed);
      if (virtualClock) CheckStall();
      long sliceMs = virtualClock ? kSliceVirtualMs : kSliceRealMs;
      if (!virtualClock && deadline != kNoDeadline) {
        sliceMs = std::min<long>(sliceMs, static_cast<long>(deadline - Now()));
      }
      lk.unlock();
      timespec until{};
      clock_gettime(CLOCK_MONOTONIC, &until);
      until.tv_nsec += sliceMs * 1000000L;
      until.tv_sec += until.tv_nsec / 1000000000L;
      until.tv_nsec %= 1000000000L;
      int rc = pthread_mutex_clocklock(&s->lock, CLOCK_MONOTONIC, &until);
      lk.lock();
      if (rc == ETIMEDOUT) continue;
      if (!Acquired(rc, me, result)) continue;
      return result;
    }
  }

  BOOL Release() {
    Segment *s = mapping_->segment();
    ThreadRecord &me = Self();
    if (!OwnedBy(s, me)) {
      SetError(ERROR_NOT_OWNER);
      return FALSE;
    }
    if (--s->recursion > 0) return TRUE;
    ClearOwner(s);
    pthread_mutex_unlock(&s->lock);
    ForgetOwned(me, s);
    return TRUE;
  }

  // For CreateMutexA's initial owner on a mutex it just created.
  void Own(ThreadRecord &me) {
    DWORD ignored;
    std::lock_guard<std::mutex> lk(Rt().lock);
    TryLock(me, ignored);
  }

 private:
  static DWORD Aborted() {
    SetError(ERROR_OPERATION_ABORTED);
    return WAIT_FAILED;
  }

  // True when the lock call settled the wait; result then holds its value.
  bool Acquired(int rc, ThreadRecord &me, DWORD &result) {
    Segment *s = mapping_->segment();
    if (rc == 0 || rc == EOWNERDEAD) {
      if (rc == EOWNERDEAD) pthread_mutex_consistent(&s->lock);
      const bool abandoned = rc == EOWNERDEAD || s->abandoned != 0;
      s->abandoned = 0;
      TakeOwnership(mapping_, me);
      result = abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
      return true;
    }
    if (rc == EBUSY) return false;
    SetError(ERROR_GEN_FAILURE);
    result = WAIT_FAILED;
    return true;
  }

  bool TryLock(ThreadRecord &me, DWORD &result) {
    return Acquired(pthread_mutex_trylock(&mapping_->segment()->lock), me, result);
  }

  std::shared_ptr<Mapping> mapping_;
};

}  // namespace

void ForgetMutexMappingsAfterFork() { Interned().clear(); }

void AbandonOwnedMutexes(ThreadRecord &record) {
  std::vector<std::shared_ptr<void>> owned;
  owned.swap(record.ownedMutexes);
  for (const auto &entry : owned) {
    Segment *s = std::static_pointer_cast<Mapping>(entry)->segment();
    s->abandoned = 1;
    ClearOwner(s);
    pthread_mutex_unlock(&s->lock);
  }
}

}  // namespace w32

using namespace w32;

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) noexcept {
  return Guard<HANDLE>(nullptr, [&]() -> HANDLE {
    if (lpName != nullptr && std::strlen(lpName) > MAX_PATH) {
      SetError(ERROR_FILENAME_EXCED_RANGE);
      return nullptr;
    }
    ThreadRecord &me = Self();
    std::shared_ptr<Mapping> mapping;
    bool created = true;
    if (lpName != nullptr && *lpName != '\0') {
      const std::string shmName = ShmNameFor(lpName);
      static std::once_flag atExitOnce;
      std::call_once(atExitOnce, [] { std::atexit(UnregisterAtExit); });
      std::lock_guard<std::mutex> lk(Rt().lock);
      auto &interned = Interned();
      auto found = interned.find(shmName);
      if (found != interned.end()) mapping = found->second.lock();
      if (mapping) {
        created = false;
      } else {
        OpenResult opened = OpenOrCreate(shmName, me, bInitialOwner != FALSE);
        if (!opened.mapping) {
          SetError(opened.error);
          return nullptr;
        }
        mapping = opened.mapping;
        created = opened.created;
        interned[shmName] = mapping;
      }
    } else {
      mapping = CreateUnnamed();
      if (!mapping) {
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
      }
    }
    const bool named = lpName != nullptr && *lpName != '\0';
    auto object = std::make_shared<MutexObject>(mapping);
    mapping.reset();
    if (!named && bInitialOwner) object->Own(me);
    HANDLE handle = AddHandle(object);
    if (handle == nullptr) {
      if (created && bInitialOwner) object->Release();
      SetError(ERROR_TOO_MANY_OPEN_FILES);
      return nullptr;
    }
    SetError(created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
    return handle;
  });
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) noexcept {
  return Guard<BOOL>(FALSE, [&] {
    auto mutex = LookupAs<MutexObject>(hMutex);
    if (!mutex) {
      SetError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    return mutex->Release();
  });
}

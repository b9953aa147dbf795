#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

class TfsResource;

// When the trimmer looks and what it keeps.
struct TfsTrimTiming {
  int64_t PollMs = 10;       // how often the worker looks
  int64_t IntervalMs = 2000; // trims at most this often...
  int32_t MinUses = 20;      // ...and only after more uses than this
  int32_t KeepCount = 10;    // resources left alone at the list's front
  int64_t KeepBytes = 104857600;
};

// Keeps the memory held by decoded pictures in check: every live resource
// sits in one list, most recently used first, and a low-priority worker
// compacts those that fell behind. The list's lock is the process-wide
// resource lock that every resource operation, the trimmer and the document's
// load and save share, so nothing is compacted halfway through an operation.
class TfsResourceThread {
public:
  // Milliseconds of a monotonic clock.
  using TClock = std::function<int64_t()>;

  using TTiming = TfsTrimTiming;

  static int64_t SystemTicks();

  explicit TfsResourceThread(TClock clock = SystemTicks, TTiming timing = TTiming());
  ~TfsResourceThread();
  TfsResourceThread(const TfsResourceThread &) = delete;
  TfsResourceThread &operator=(const TfsResourceThread &) = delete;

  // The worker. Start notes the time as the last trim; Stop waits for the
  // worker to finish its current look, so never call it while holding the
  // resource lock. Both may be called repeatedly.
  void Start();
  void Stop();
  bool Running() const { return FRunning.load(); }

  // Replaces the clock and the timing; only while the worker is stopped.
  void Configure(TClock clock, TTiming timing);

  // The global resource lock (recursive).
  void Enter() { FLock.lock(); }
  void Leave() { FLock.unlock(); }

  void Add(TfsResource *resource);
  void Remove(TfsResource *resource);
  // Moves the resource to the front; each real move counts as one use.
  void MarkUsed(TfsResource *resource);

  // One look of the worker: when more than IntervalMs have passed since the
  // last trim and there were more than MinUses uses, trims, notes the time
  // and resets the use count. Returns whether it trimmed.
  bool Tick();
  // Compacts, under the lock, every resource behind the first KeepCount or
  // behind the first KeepBytes of data and decoded pictures; nothing while
  // the list holds KeepCount resources or fewer.
  void Trim();

  // The resources, most recently used first.
  std::vector<TfsResource *> Resources();
  int32_t UseCount() const { return FUses.load(); }
  // Trims run so far; counted when a trim is complete.
  int64_t TrimCount() const { return FTrims.load(); }

private:
  void Run();

  std::recursive_mutex FLock;
  std::list<TfsResource *> FList;
  std::unordered_map<TfsResource *, std::list<TfsResource *>::iterator> FIndex;
  TClock FClock;
  TTiming FTiming;
  std::atomic<int64_t> FLastTrim{0};
  std::atomic<int32_t> FUses{0};
  std::atomic<int64_t> FTrims{0};

  std::thread FWorker;
  std::mutex FWakeLock;
  std::condition_variable FWake;
  bool FStopping = false;
  std::atomic<bool> FRunning{false};
};

// The process-wide trimmer; it exists for the whole run (the worker only
// between StartResourceThread and StopResourceThread).
TfsResourceThread &ResourceThread();

// The program starts the worker once at start-up and stops it before exit.
void StartResourceThread();
void StopResourceThread();

// Starts the worker for its lifetime.
class TResourceThreadHolder {
public:
  TResourceThreadHolder() { StartResourceThread(); }
  ~TResourceThreadHolder() { StopResourceThread(); }
  TResourceThreadHolder(const TResourceThreadHolder &) = delete;
  TResourceThreadHolder &operator=(const TResourceThreadHolder &) = delete;
};

// The global resource lock, held by the document around loading, saving and
// reading pages.
void LockResources();
void UnlockResources();
// One trim at once, regardless of time and uses (after each saved page).
void TrimResources();

// Holds the global resource lock for a scope.
class TResourcesLock {
public:
  TResourcesLock() { LockResources(); }
  ~TResourcesLock() { UnlockResources(); }
  TResourcesLock(const TResourcesLock &) = delete;
  TResourcesLock &operator=(const TResourcesLock &) = delete;
};

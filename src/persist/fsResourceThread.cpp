#include "persist/fsResourceThread.h"

#include "persist/fsResource.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <exception>

int64_t TfsResourceThread::SystemTicks() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TfsResourceThread::TfsResourceThread(TClock clock, TTiming timing)
    : FClock(std::move(clock)), FTiming(timing) {
  FLastTrim = FClock();
}

TfsResourceThread::~TfsResourceThread() {
  Stop();
}

void TfsResourceThread::Configure(TClock clock, TTiming timing) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (FRunning)
    return;
  FClock = std::move(clock);
  FTiming = timing;
  FLastTrim = FClock();
  FUses = 0;
}

void TfsResourceThread::Start() {
  if (FRunning)
    return;
  FLastTrim = FClock();
  {
    std::lock_guard<std::mutex> guard(FWakeLock);
    FStopping = false;
  }
  FWorker = std::thread([this] { Run(); });
  FRunning = true;
}

void TfsResourceThread::Stop() {
  if (!FRunning)
    return;
  {
    std::lock_guard<std::mutex> guard(FWakeLock);
    FStopping = true;
  }
  FWake.notify_all();
  FWorker.join();
  FRunning = false;
}

void TfsResourceThread::Run() {
  // Trimming is housekeeping: let the user's work go first.
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 5);
  std::unique_lock<std::mutex> wake(FWakeLock);
  while (!FStopping) {
    FWake.wait_for(wake, std::chrono::milliseconds(FTiming.PollMs), [this] { return FStopping; });
    if (FStopping)
      break;
    wake.unlock();
    Tick();
    wake.lock();
  }
}

void TfsResourceThread::Add(TfsResource *resource) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (FIndex.count(resource))
    return;
  FList.push_front(resource);
  FIndex[resource] = FList.begin();
}

void TfsResourceThread::Remove(TfsResource *resource) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  auto it = FIndex.find(resource);
  if (it == FIndex.end())
    return;
  FList.erase(it->second);
  FIndex.erase(it);
}

void TfsResourceThread::MarkUsed(TfsResource *resource) {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  auto it = FIndex.find(resource);
  if (it == FIndex.end() || it->second == FList.begin())
    return;
  FList.splice(FList.begin(), FList, it->second);
  ++FUses;
}

std::vector<TfsResource *> TfsResourceThread::Resources() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  return {FList.begin(), FList.end()};
}

bool TfsResourceThread::Tick() {
  int64_t now = FClock();
  if (now - FLastTrim <= FTiming.IntervalMs || FUses <= FTiming.MinUses)
    return false;
  Trim();
  FLastTrim = FClock();
  FUses = 0;
  return true;
}

void TfsResourceThread::Trim() {
  std::lock_guard<std::recursive_mutex> guard(FLock);
  if (FList.size() <= static_cast<size_t>(FTiming.KeepCount)) {
    ++FTrims;
    return;
  }
  // Compacting reaches into owners' callbacks; walk a copy so that nothing
  // they do to the list can upset the walk.
  std::vector<TfsResource *> order(FList.begin(), FList.end());
  int64_t total = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    TfsResource *resource = order[i];
    if (!FIndex.count(resource))
      continue;
    if (total > FTiming.KeepBytes || i >= static_cast<size_t>(FTiming.KeepCount)) {
      try {
        resource->Compact();
      } catch (const std::exception &) {
        // A picture that cannot be encoded right now keeps its bitmap; the
        // owner meets the error when it saves.
      }
    } else {
      total += resource->DataSize() + resource->BitmapMemory();
    }
  }
  ++FTrims;
}

namespace {

TfsResourceThread *GlobalTrimmer() {
  // Never destroyed: resources that outlive static destruction still find it.
  static TfsResourceThread *trimmer = new TfsResourceThread();
  return trimmer;
}

} // namespace

TfsResourceThread &ResourceThread() {
  return *GlobalTrimmer();
}

void StartResourceThread() {
  ResourceThread().Start();
}

void StopResourceThread() {
  ResourceThread().Stop();
}

void LockResources() {
  ResourceThread().Enter();
}

void UnlockResources() {
  ResourceThread().Leave();
}

void TrimResources() {
  ResourceThread().Trim();
}

// Base of every worker thread. A subclass constructor calls CreateSuspended(), sets its own
// members, then Launch(): the thread never sees a half-built object. A subclass whose Run()
// touches its own members must stop the thread in its own destructor (StopAndWait or
// StopOrTerminate), because by the time the base destructor runs those members are gone.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/unique_handle.h"

class CVelmorBasedThread;

// Makes a thread object (a CVelmorBasedThread subclass) that keeps itself alive while it runs,
// and launches it; the returned owner may let go at any time (see StopOrAbandon).
template <typename T, typename... Args>
std::shared_ptr<T> StartKeptAlive(Args&&... args);

class CVelmorBasedThread {
 public:
  virtual ~CVelmorBasedThread();
  CVelmorBasedThread(const CVelmorBasedThread&) = delete;
  CVelmorBasedThread& operator=(const CVelmorBasedThread&) = delete;

  // The thread's body; its result becomes the thread's exit code.
  virtual uint32_t Run() = 0;

  bool IsRunning() const { return running_; }
  bool IsStartPending() const { return start_pending_; }
  HANDLE thread_handle() const { return thread_.get(); }

 protected:
  CVelmorBasedThread();
  template <typename T, typename... Args>
  friend std::shared_ptr<T> StartKeptAlive(Args&&... args);

  // Creates the thread suspended; false when the system refused (Run() will never be called).
  bool CreateSuspended();
  // Releases a thread made by CreateSuspended() into Run().
  void Launch();

  // Polled by Run(): the owner wants the thread to end.
  bool IsStopRequested() const { return stop_requested_; }
  // Sleeps up to ms; returns true at once when a stop is requested, so pauses in retry loops do
  // not hold up the owner.
  bool WaitForStop(uint32_t ms) const;

  // Requests a stop and waits without time-out.
  void StopAndWait();
  // Requests a stop; a thread still alive after graceMs is terminated with exit code 0.
  // Only for threads that hold no lock and own nothing that termination would leak for good.
  void StopOrTerminate(uint32_t graceMs);
  // Requests a stop and waits up to graceMs; a thread still busy (say, in a network call) is
  // left to finish on its own and never killed, so it cannot leave a lock abandoned. Only for
  // objects kept alive by KeepAliveWhileRunning. True when the thread had ended.
  bool StopOrAbandon(uint32_t graceMs);
  // Makes the running thread hold a reference to its own object (given as a shared pointer to
  // it) until Run has returned, so an abandoned thread never outlives what it uses. Call before
  // Launch().
  void KeepAliveWhileRunning(std::shared_ptr<void> self) { keep_alive_ = std::move(self); }

 private:
  static unsigned __stdcall Entry(void* self);
  void RequestStop();
  void Join();

  std::atomic<bool> start_pending_{false};
  std::atomic<bool> running_{false};
  std::atomic<bool> stop_requested_{false};
  UniqueKernelHandle thread_;
  UniqueKernelHandle stop_event_;
  std::shared_ptr<void> keep_alive_;
};

template <typename T, typename... Args>
std::shared_ptr<T> StartKeptAlive(Args&&... args) {
  auto thread = std::make_shared<T>(std::forward<Args>(args)...);
  if (thread->CreateSuspended()) {
    thread->KeepAliveWhileRunning(thread);
    thread->Launch();
  }
  return thread;
}

#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

namespace {

// Worker whose body is chosen by the test. launch=false leaves it created but never released,
// as when an owner is destroyed during its own construction.
class TestThread : public CVelmorBasedThread {
 public:
  enum class Body { kReturn42, kSleep300, kWaitForStop };

  TestThread(Body body, bool launch, std::atomic<int>* runs) : body_(body), runs_(runs) {
    if (CreateSuspended() && launch) Launch();
  }
  ~TestThread() override {
    if (terminate_on_destroy_) {
      StopOrTerminate(1);
    } else {
      StopAndWait();
    }
  }

  uint32_t Run() override {
    ++*runs_;
    switch (body_) {
      case Body::kReturn42:
        return 42;
      case Body::kSleep300:
        ::Sleep(300);
        ++*runs_;  // only reached when the thread was not terminated
        return 1;
      case Body::kWaitForStop:
        return WaitForStop(INFINITE) ? 7 : 8;
    }
    return 0;
  }

  bool terminate_on_destroy_ = false;

 private:
  Body body_;
  std::atomic<int>* runs_;
};

DWORD ExitCodeOf(HANDLE thread) {
  DWORD code = 0;
  ::WaitForSingleObject(thread, INFINITE);
  ::GetExitCodeThread(thread, &code);
  return code;
}

}  // namespace

TEST(CVelmorBasedThread, RunResultIsTheExitCode) {
  std::atomic<int> runs{0};
  TestThread thread(TestThread::Body::kReturn42, true, &runs);
  EXPECT_FALSE(thread.IsStartPending());
  EXPECT_EQ(ExitCodeOf(thread.thread_handle()), 42u);
  EXPECT_FALSE(thread.IsRunning());
  EXPECT_EQ(runs, 1);
}

// Destroyed before it was released: the thread ends with -1 and Run never runs.
TEST(CVelmorBasedThread, StillPendingThreadNeverRuns) {
  std::atomic<int> runs{0};
  HANDLE duplicate = nullptr;
  {
    TestThread thread(TestThread::Body::kReturn42, false, &runs);
    EXPECT_TRUE(thread.IsStartPending());
    EXPECT_TRUE(thread.IsRunning());
    ::DuplicateHandle(::GetCurrentProcess(), thread.thread_handle(), ::GetCurrentProcess(),
                      &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS);
  }
  EXPECT_EQ(ExitCodeOf(duplicate), static_cast<DWORD>(-1));
  ::CloseHandle(duplicate);
  EXPECT_EQ(runs, 0);
}

TEST(CVelmorBasedThread, StopWakesAWaitingThread) {
  std::atomic<int> runs{0};
  const DWORD start = ::GetTickCount();
  HANDLE duplicate = nullptr;
  {
    TestThread thread(TestThread::Body::kWaitForStop, true, &runs);
    ::DuplicateHandle(::GetCurrentProcess(), thread.thread_handle(), ::GetCurrentProcess(),
                      &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS);
    ::Sleep(20);
  }
  EXPECT_LT(::GetTickCount() - start, 2000u);
  EXPECT_EQ(ExitCodeOf(duplicate), 7u);
  ::CloseHandle(duplicate);
}

// A thread sleeping in a 300 ms pause is terminated after 1 ms: the owner does not wait.
TEST(CVelmorBasedThread, StopOrTerminateKillsASleepingThread) {
  std::atomic<int> runs{0};
  HANDLE duplicate = nullptr;
  auto thread = std::make_unique<TestThread>(TestThread::Body::kSleep300, true, &runs);
  thread->terminate_on_destroy_ = true;
  ::DuplicateHandle(::GetCurrentProcess(), thread->thread_handle(), ::GetCurrentProcess(),
                    &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS);
  while (runs == 0) ::Sleep(1);
  const DWORD start = ::GetTickCount();
  thread.reset();
  const DWORD elapsed = ::GetTickCount() - start;
  EXPECT_LT(elapsed, 250u);
  EXPECT_EQ(ExitCodeOf(duplicate), 0u);
  ::CloseHandle(duplicate);
  ::Sleep(350);
  EXPECT_EQ(runs, 1) << "the sleeper never woke up to count again";
}

namespace {

// Sleeps without looking at the stop request, like a thread blocked in a network call; it keeps
// itself alive while it runs.
class BusyThread : public CVelmorBasedThread {
 public:
  explicit BusyThread(std::atomic<int>* finished) : finished_(finished) {}
  bool Stop(uint32_t ms) { return StopOrAbandon(ms); }
  uint32_t Run() override {
    ::Sleep(400);
    ++*finished_;  // the object is still alive here, although its owner let go long ago
    return 0;
  }

 private:
  std::atomic<int>* finished_;
};

}  // namespace

// A busy thread is left to finish on its own instead of being killed, and its object lives
// until it has.
TEST(CVelmorBasedThread, StopOrAbandonLeavesABusyThreadToFinish) {
  std::atomic<int> finished{0};
  auto thread = StartKeptAlive<BusyThread>(&finished);
  const DWORD start = ::GetTickCount();
  EXPECT_FALSE(thread->Stop(20));
  thread.reset();
  EXPECT_LT(::GetTickCount() - start, 300u);
  EXPECT_EQ(finished, 0);
  for (int i = 0; i < 200 && finished == 0; ++i) ::Sleep(10);
  EXPECT_EQ(finished, 1);

  std::atomic<int> quick{0};
  auto done = StartKeptAlive<BusyThread>(&quick);
  EXPECT_TRUE(done->Stop(5000));
  EXPECT_EQ(quick, 1);
}

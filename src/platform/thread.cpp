#include "platform/thread.h"

#include <process.h>

CVelmorBasedThread::CVelmorBasedThread()
    : stop_event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

CVelmorBasedThread::~CVelmorBasedThread() { Join(); }

bool CVelmorBasedThread::CreateSuspended() {
  start_pending_ = true;
  running_ = true;
  const uintptr_t handle =
      ::_beginthreadex(nullptr, 0, &CVelmorBasedThread::Entry, this, CREATE_SUSPENDED, nullptr);
  thread_.reset(reinterpret_cast<HANDLE>(handle));
  if (!thread_.valid()) {
    running_ = false;
    return false;
  }
  return true;
}

void CVelmorBasedThread::Launch() {
  if (!thread_.valid()) return;
  start_pending_ = false;
  ::ResumeThread(thread_.get());
}

unsigned __stdcall CVelmorBasedThread::Entry(void* param) {
  auto* self = static_cast<CVelmorBasedThread*>(param);
  // Released when this function returns, after the last use of the object.
  const std::shared_ptr<void> keep = std::move(self->keep_alive_);
  // Still pending means the owner is being destroyed before it launched us: do not run.
  if (self->start_pending_) {
    self->running_ = false;
    return static_cast<unsigned>(-1);
  }
  const uint32_t result = self->Run();
  self->running_ = false;
  return result;
}

bool CVelmorBasedThread::WaitForStop(uint32_t ms) const {
  if (stop_requested_) return true;
  return ::WaitForSingleObject(stop_event_.get(), ms) == WAIT_OBJECT_0;
}

void CVelmorBasedThread::RequestStop() {
  stop_requested_ = true;
  if (stop_event_.valid()) ::SetEvent(stop_event_.get());
}

void CVelmorBasedThread::Join() {
  if (!thread_.valid()) return;
  if (start_pending_) ::ResumeThread(thread_.get());
  ::WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

void CVelmorBasedThread::StopAndWait() {
  RequestStop();
  Join();
}

void CVelmorBasedThread::StopOrTerminate(uint32_t graceMs) {
  RequestStop();
  if (!thread_.valid()) return;
  if (start_pending_) {
    start_pending_ = false;
    ::ResumeThread(thread_.get());
  }
  if (::WaitForSingleObject(thread_.get(), graceMs) != WAIT_OBJECT_0) {
    ::TerminateThread(thread_.get(), 0);
    ::WaitForSingleObject(thread_.get(), INFINITE);
    running_ = false;
  }
  thread_.reset();
}

bool CVelmorBasedThread::StopOrAbandon(uint32_t graceMs) {
  RequestStop();
  if (!thread_.valid()) return true;
  if (start_pending_) {
    start_pending_ = false;
    ::ResumeThread(thread_.get());
  }
  const bool ended = ::WaitForSingleObject(thread_.get(), graceMs) == WAIT_OBJECT_0;
  thread_.reset();
  return ended;
}

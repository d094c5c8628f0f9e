// The program's one lock type: an unnamed Win32 mutex (re-entrant for the holding thread).
// Holders wait without time-out and release right after copying or storing.
#pragma once

#include "platform/unique_handle.h"

class CXMutex {
 public:
  CXMutex() : handle_(::CreateMutexW(nullptr, FALSE, nullptr)) {}
  virtual ~CXMutex() = default;
  CXMutex(const CXMutex&) = delete;
  CXMutex& operator=(const CXMutex&) = delete;

  HANDLE handle() const { return handle_.get(); }
  void Lock() const { ::WaitForSingleObject(handle_.get(), INFINITE); }
  void Unlock() const { ::ReleaseMutex(handle_.get()); }

 private:
  UniqueKernelHandle handle_;
};

// Holds a CXMutex for one scope.
class CXMutexLock {
 public:
  explicit CXMutexLock(const CXMutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~CXMutexLock() { mutex_.Unlock(); }
  CXMutexLock(const CXMutexLock&) = delete;
  CXMutexLock& operator=(const CXMutexLock&) = delete;

 private:
  const CXMutex& mutex_;
};

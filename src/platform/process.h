// A child process started hidden from a command line. By default the destructor waits for the
// child to end; the owner may turn that off for a child it only watches.
#pragma once

#include <cstdint>
#include <string>

#include "platform/unique_handle.h"

class CVelmorBasedProcess {
 public:
  explicit CVelmorBasedProcess(std::wstring commandLine) : command_line_(std::move(commandLine)) {}
  virtual ~CVelmorBasedProcess();
  CVelmorBasedProcess(const CVelmorBasedProcess&) = delete;
  CVelmorBasedProcess& operator=(const CVelmorBasedProcess&) = delete;

  // Starts the child once; a second call reports the first start.
  bool Start();

  void set_wait_on_destroy(bool wait) { wait_on_destroy_ = wait; }
  HANDLE process_handle() const { return process_.get(); }
  uint32_t process_id() const { return process_id_; }
  // True when the child ended within ms (INFINITE waits for good).
  bool WaitForExit(uint32_t ms) const;
  // The child's exit code; false while it runs or before Start.
  bool GetExitCode(uint32_t* code) const;

 private:
  bool wait_on_destroy_ = true;
  UniqueKernelHandle process_;
  UniqueKernelHandle thread_;
  std::wstring command_line_;
  uint32_t process_id_ = 0;
};

#include "platform/process.h"

#include <vector>

CVelmorBasedProcess::~CVelmorBasedProcess() {
  if (process_.valid() && wait_on_destroy_) ::WaitForSingleObject(process_.get(), INFINITE);
}

bool CVelmorBasedProcess::Start() {
  if (process_.valid()) return true;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  ::GetStartupInfoW(&startup);
  startup.dwFlags |= STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  // CreateProcessW may write into the command line, so it gets a private copy.
  std::vector<wchar_t> commandLine(command_line_.begin(), command_line_.end());
  commandLine.push_back(L'\0');
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
    return false;
  }
  process_.reset(info.hProcess);
  thread_.reset(info.hThread);
  process_id_ = info.dwProcessId;
  return true;
}

bool CVelmorBasedProcess::WaitForExit(uint32_t ms) const {
  return process_.valid() && ::WaitForSingleObject(process_.get(), ms) == WAIT_OBJECT_0;
}

bool CVelmorBasedProcess::GetExitCode(uint32_t* code) const {
  DWORD exitCode = 0;
  if (!process_.valid() || !::GetExitCodeProcess(process_.get(), &exitCode)) return false;
  if (exitCode == STILL_ACTIVE && !WaitForExit(0)) return false;
  *code = exitCode;
  return true;
}

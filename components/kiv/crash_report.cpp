#include "crash_report.h"

#include <windows.h>
#include <dbghelp.h>

#include <cstdio>

namespace {

std::wstring g_folder;
KivCrashCallback g_callback = nullptr;
void* g_context = nullptr;
std::function<void()>* g_flush = nullptr;

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION);

std::wstring WriteDump(EXCEPTION_POINTERS* exception) {
  wchar_t name[64];
  std::swprintf(name, 64, L"crash-%lu-%lu.dmp", ::GetCurrentProcessId(), ::GetTickCount());
  const std::wstring path = g_folder + name;
  HMODULE dbghelp = ::LoadLibraryW(L"dbghelp.dll");
  auto write = dbghelp ? reinterpret_cast<MiniDumpWriteDumpFn>(reinterpret_cast<void*>(
                             ::GetProcAddress(dbghelp, "MiniDumpWriteDump")))
                       : nullptr;
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::wstring();
  if (write) {
    MINIDUMP_EXCEPTION_INFORMATION info = {};
    info.ThreadId = ::GetCurrentThreadId();
    info.ExceptionPointers = exception;
    info.ClientPointers = FALSE;
    write(::GetCurrentProcess(), ::GetCurrentProcessId(), file, MiniDumpNormal, &info, nullptr,
          nullptr);
  }
  ::CloseHandle(file);
  return path;
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
  // Report once, even if the reporting itself faults.
  static volatile LONG entered = 0;
  if (::InterlockedExchange(&entered, 1) != 0) return EXCEPTION_EXECUTE_HANDLER;
  const std::wstring dump = WriteDump(exception);
  if (g_callback) g_callback(g_context, dump.c_str());
  if (g_flush && *g_flush) (*g_flush)();
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void InstallCrashReport(const std::wstring& folder, KivCrashCallback callback, void* context,
                        std::function<void()> flush) {
  g_folder = folder;
  g_callback = callback;
  g_context = context;
  delete g_flush;
  g_flush = new std::function<void()>(std::move(flush));
  ::SetUnhandledExceptionFilter(&OnUnhandledException);
}

#include "app/single_instance.h"

#include <cwchar>

#include "app/product.h"

SingleInstance::SingleInstance() : mutex_(::CreateMutexW(nullptr, TRUE, kInstanceMutexName)) {
  if (mutex_.valid() && ::GetLastError() == ERROR_ALREADY_EXISTS) mutex_.reset();
}

namespace {

BOOL CALLBACK FindMainWindow(HWND window, LPARAM found) {
  wchar_t name[260] = {};
  ::GetClassNameW(window, name, 260);
  if (std::wcscmp(name, kMainWindowClass) != 0) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

}  // namespace

bool BringFirstInstanceToFront() {
  HWND found = nullptr;
  ::EnumWindows(&FindMainWindow, reinterpret_cast<LPARAM>(&found));
  if (!found) return false;
  ::PostMessageW(found, kWmBringToFront, 0, 0);
  return true;
}

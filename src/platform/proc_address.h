// Typed lookup of an optional system entry point; null when the module or export is missing.
#pragma once

#include "platform/windows_api.h"

template <typename Fn>
Fn GetProcAddressAs(HMODULE module, const char* name) {
  if (!module) return nullptr;
  // FARPROC is a generic function pointer; the cast through void* states the intent and keeps
  // -Wcast-function-type quiet.
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

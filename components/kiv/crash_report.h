// Unhandled-exception reporting: a minidump in the library's folder, then the program's
// callback, then a bounded flush of what the callback committed.
#pragma once

#include <functional>
#include <string>

#include "kiv_api.h"

void InstallCrashReport(const std::wstring& folder, KivCrashCallback callback, void* context,
                        std::function<void()> flush);

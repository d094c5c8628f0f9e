// The one place that includes <windows.h>. A few Win32 macros collide with this program's own
// function names (GetFreeSpace, CreateFile), so they are removed here; call the W functions.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef GetFreeSpace
#undef CreateFile

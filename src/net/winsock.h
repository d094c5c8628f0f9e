// Winsock headers in the right order, and the program's socket owner.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/unique_handle.h"

struct SocketTraits {
  using Handle = SOCKET;
  static Handle Invalid() { return INVALID_SOCKET; }
  static bool IsValid(Handle h) { return h != INVALID_SOCKET; }
  static void Close(Handle h) { ::closesocket(h); }
};
using UniqueSocket = UniqueHandle<SocketTraits>;

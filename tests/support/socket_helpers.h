// Small pieces shared by the tests' loopback servers.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// Starts Winsock once for the test process.
void EnsureWinsock();

// A listening TCP socket on ip:port (host order; port 0 takes a free one), its port in *bound;
// ~0 when it cannot listen.
uintptr_t ListenOn(uint16_t port, int backlog, uint16_t* bound, uint32_t ip = 0x7F000001);

// Reads one request: its head and as many body bytes as its Content-Length names. What arrived
// when the peer closed early is returned as it is.
std::string ReadHttpRequest(uintptr_t socket);

// Accepts connections until the listener is closed with `stopping` set, handing each to handle.
void AcceptLoop(uintptr_t listener, const std::atomic<bool>& stopping,
                const std::function<void(uintptr_t)>& handle);

bool SendAll(uintptr_t socket, const char* data, size_t size);

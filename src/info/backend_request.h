// One GET to the backend as the information readers make it.
#pragma once

#include <cstdint>
#include <string>

// The body of a 200 reply from host:port (host also names itself in the Host line), with 5 s
// receive and send time-outs; "" for any failure or any other status.
std::string FetchFromBackend(const std::string& host, uint16_t port, const std::string& path);

// The fallback resolver: one A query over UDP to one server, used when the system resolver
// fails. Never throws; at most about 3 seconds per call.
#pragma once

#include <cstdint>

struct DnsAnswer {
  int32_t count = 0;
  uint32_t addresses[20] = {};  // network order, in reply order
};

// Asks server (a dotted quad; otherwise the system's second and later DNS servers, else the
// public resolver list, and only the first candidate is asked) for the A records of host.
// 0 with at least one address in result; -1 on any failure. A reply with another id, or from
// another address or port than the one asked, is ignored.
int QueryDnsA(DnsAnswer* result, const char* server, const char* host);

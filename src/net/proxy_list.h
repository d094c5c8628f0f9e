// The proxy list of the user's Internet settings ("http=h:8080;https=h:8443" or "h:8080").
// Portable.
#pragma once

#include <string>

#include "net/proxy_choice.h"

// The last entry with no scheme, an empty scheme or exactly "http" and a non-empty host gives
// kind 1 with its host and port (0 when the port does not read as a number); none: kind 0.
ProxyChoice ParseProxyList(const std::string& list);

// The user's proxy for a URL, and the process-wide memory of the network choices that made a
// connection work (kept in the shared settings, reported once per kind as "vNetworkCheck").
#pragma once

#include <cstdint>
#include <string>

#include "net/proxy_choice.h"

// Reads the current user's Internet settings through WinHTTP: a configuration script's answer
// for url when a script is named, else the static proxy list. Kind 0 when neither names an
// HTTP proxy. Touches nothing shared.
ProxyChoice DetectSystemProxy(const std::string& url);

// Under the shared settings lock: report the first choice of the process, then store this one.
void RecordProxyChoice(const ProxyChoice& choice);
void RecordDnsFallback(int32_t resolutionMode, const std::string& dnsServer);

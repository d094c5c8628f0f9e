// The process-wide record that several subsystems share: UI scale, the network choices that
// every new connection starts from, and this copy's channel id. Created first thing by the entry
// point and released in its quit sequence; null outside that span. Users hold a shared
// reference while they use it, so a worker thread still finishing a network call when the
// quit sequence releases the record never touches freed memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/proxy_choice.h"
#include "platform/mutex.h"

struct CSharedSettings {
  // Window thread only; no lock.
  double ui_scale = 1.0;

  // The fields below are read and written only while `lock` is held. Lock order: this lock
  // before the event logger's.
  ProxyChoice proxy;
  int32_t resolution_mode = 0;  // 0 system resolver, 1 own resolver asking dns_server
  std::string dns_server;       // dotted-decimal IPv4
  std::string channel_id;       // at most 8 bytes
  // The network check reports each kind of recovery once per process.
  bool proxy_reported = false;
  bool dns_reported = false;

  CXMutex lock;
};

void CreateSharedSettings();
void DeleteSharedSettings();
std::shared_ptr<CSharedSettings> GetSharedSettings();

// Copy of the channel id taken under the lock; empty before the settings exist.
std::string GetChannelId();
void SetChannelId(const std::string& channelId);

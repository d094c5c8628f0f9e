#include "app/shared_settings.h"

namespace {
CSharedSettings* g_settings = nullptr;
}

void CreateSharedSettings() {
  if (!g_settings) g_settings = new CSharedSettings();
}

void DeleteSharedSettings() {
  delete g_settings;
  g_settings = nullptr;
}

CSharedSettings* GetSharedSettings() { return g_settings; }

std::string GetChannelId() {
  if (!g_settings) return std::string();
  CXMutexLock hold(g_settings->lock);
  return g_settings->channel_id;
}

void SetChannelId(const std::string& channelId) {
  if (!g_settings) return;
  CXMutexLock hold(g_settings->lock);
  g_settings->channel_id = channelId.substr(0, 8);
}

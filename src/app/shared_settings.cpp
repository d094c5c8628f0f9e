#include "app/shared_settings.h"

namespace {
std::shared_ptr<CSharedSettings> g_settings;
}

void CreateSharedSettings() {
  if (!std::atomic_load(&g_settings)) std::atomic_store(&g_settings, std::make_shared<CSharedSettings>());
}

void DeleteSharedSettings() { std::atomic_store(&g_settings, std::shared_ptr<CSharedSettings>()); }

std::shared_ptr<CSharedSettings> GetSharedSettings() { return std::atomic_load(&g_settings); }

std::string GetChannelId() {
  const auto settings = GetSharedSettings();
  if (!settings) return std::string();
  CXMutexLock hold(settings->lock);
  return settings->channel_id;
}

void SetChannelId(const std::string& channelId) {
  const auto settings = GetSharedSettings();
  if (!settings) return;
  CXMutexLock hold(settings->lock);
  settings->channel_id = channelId.substr(0, 8);
}

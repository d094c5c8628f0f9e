#include "net/proxy_detect.h"

#include "platform/windows_api.h"
#include <winhttp.h>

#include "app/shared_settings.h"
#include "net/proxy_list.h"
#include "platform/encoding.h"
#include "telemetry/logger.h"

namespace {

void FreeText(wchar_t* text) {
  if (text) ::GlobalFree(text);
}

ProxyChoice FromScript(const std::string& url, const wchar_t* scriptUrl) {
  ProxyChoice result;
  HINTERNET session = ::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                                    WINHTTP_FLAG_ASYNC);
  if (!session) return result;
  WINHTTP_AUTOPROXY_OPTIONS options = {};
  options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
  options.lpszAutoConfigUrl = scriptUrl;
  options.fAutoLogonIfChallenged = TRUE;
  WINHTTP_PROXY_INFO info = {};
  const std::wstring wideUrl = AnsiToWide(url);
  const BOOL found = ::WinHttpGetProxyForUrl(session, wideUrl.c_str(), &options, &info);
  ::WinHttpCloseHandle(session);
  if (found && info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && info.lpszProxy) {
    result = ParseProxyList(WideToAnsi(info.lpszProxy));
  }
  FreeText(info.lpszProxy);
  FreeText(info.lpszProxyBypass);
  return result;
}

void SendNetworkCheck(const wchar_t* networkType, int32_t connType, const std::string& hostName) {
  ILoggerServer* logger = GetLogger();
  if (!logger) return;
  logger->ClearProperties();
  logger->AddStringProperty("network_type", WideToUtf8(networkType).c_str());
  logger->AddIntProperty("conn_type", connType);
  logger->AddStringProperty("host_name", hostName.c_str());
  logger->SendEvent("vNetworkCheck");
}

}  // namespace

ProxyChoice DetectSystemProxy(const std::string& url) {
  ProxyChoice result;
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config = {};
  ::WinHttpGetIEProxyConfigForCurrentUser(&config);
  if (config.lpszAutoConfigUrl) {
    result = FromScript(url, config.lpszAutoConfigUrl);
  } else if (config.lpszProxy) {
    result = ParseProxyList(WideToAnsi(config.lpszProxy));
  }
  FreeText(config.lpszAutoConfigUrl);
  FreeText(config.lpszProxy);
  FreeText(config.lpszProxyBypass);
  return result;
}

void RecordProxyChoice(const ProxyChoice& choice) {
  const auto settings = GetSharedSettings();
  if (!settings) return;
  CXMutexLock hold(settings->lock);
  if (!settings->proxy_reported) {
    SendNetworkCheck(L"网络代理", choice.kind, choice.host);
    settings->proxy_reported = true;
  }
  settings->proxy = choice;
}

void RecordDnsFallback(int32_t resolutionMode, const std::string& dnsServer) {
  const auto settings = GetSharedSettings();
  if (!settings) return;
  CXMutexLock hold(settings->lock);
  if (!settings->dns_reported) {
    SendNetworkCheck(L"DNS解析", resolutionMode, dnsServer);
    settings->dns_reported = true;
  }
  settings->resolution_mode = resolutionMode;
  settings->dns_server = dnsServer;
}

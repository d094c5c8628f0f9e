#include "http_post.h"

#include <windows.h>
#include <winhttp.h>

namespace {

struct Internet {
  HINTERNET h;
  explicit Internet(HINTERNET handle) : h(handle) {}
  ~Internet() {
    if (h) ::WinHttpCloseHandle(h);
  }
  Internet(const Internet&) = delete;
  Internet& operator=(const Internet&) = delete;
};

}  // namespace

unsigned long HttpPostJson(const std::wstring& host, int port, const std::wstring& path,
                           const std::string& body) {
  Internet session(::WinHttpOpen(L"Kiv/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session.h) return 0;
  // Short limits: a dead host must not keep a flush at exit waiting.
  ::WinHttpSetTimeouts(session.h, 2000, 2000, 3000, 5000);
  Internet connection(::WinHttpConnect(session.h, host.c_str(), static_cast<INTERNET_PORT>(port), 0));
  if (!connection.h) return 0;
  Internet request(::WinHttpOpenRequest(connection.h, L"POST", path.c_str(), nullptr,
                                        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
  if (!request.h) return 0;
  const wchar_t headers[] = L"Content-Type: application/json\r\n";
  if (!::WinHttpSendRequest(request.h, headers, static_cast<DWORD>(-1),
                            const_cast<char*>(body.data()), static_cast<DWORD>(body.size()),
                            static_cast<DWORD>(body.size()), 0) ||
      !::WinHttpReceiveResponse(request.h, nullptr)) {
    return 0;
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!::WinHttpQueryHeaders(request.h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return 0;
  }
  char sink[4096];
  DWORD got = 0;
  while (::WinHttpReadData(request.h, sink, sizeof sink, &got) && got > 0) {
  }
  return status;
}

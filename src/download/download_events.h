// The download's error events ("vSoftDownloadError" with error_type / error_status).
#pragma once

// Both texts are wide (they are Chinese) and sent as UTF-8.
void SendDownloadError(const wchar_t* errorType, const wchar_t* errorStatus);

inline constexpr wchar_t kQueryThreadError[] = L"获取下载信息线程出错";
inline constexpr wchar_t kDownloadThreadError[] = L"下载线程出错";

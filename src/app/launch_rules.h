// Rules of the launch context that need no system. Portable. A channel id is at most 8 bytes.
#pragma once

#include <cstdint>
#include <string>

// From the package name (own file name without ".exe"): what follows the first '_', skipping a
// 'U' right after it, cut to 8 bytes. Empty when there is no '_' or nothing after it.
// setup_ab12cd -> ab12cd, setup_Uab12 -> ab12, setup_abcdefghij -> abcdefgh, setup_ -> "".
std::string ChannelFromPackageName(const std::string& packageName);

// App-store builds carry their channel in the second of four version components
// (96 tengxun0, 97 qihu3600, 98 jinshan0, 99 huawei00). Empty when the version names none.
std::string AppStoreChannel(const std::string& productVersion);

// Seconds the browser spent writing the file: last write minus creation, truncated to 32 bits;
// 0 unless the last write is later.
int32_t DownloadTimeOf(int64_t createdUnix, int64_t writtenUnix);

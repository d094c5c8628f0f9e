#include "app/launch_rules.h"

#include "platform/text.h"

std::string ChannelFromPackageName(const std::string& packageName) {
  const int p = FindFirst(packageName, "_");
  const int n = static_cast<int>(packageName.size());
  if (p < 0 || p >= n - 1) return std::string();
  const int start = packageName[p + 1] == 'U' ? p + 2 : p + 1;
  return packageName.substr(static_cast<size_t>(start), 8);
}

std::string AppStoreChannel(const std::string& productVersion) {
  const auto pieces = Split(productVersion, ".");
  if (pieces.size() != 4) return std::string();
  switch (ParseInt64(pieces[1])) {
    case 96: return "tengxun0";
    case 97: return "qihu3600";
    case 98: return "jinshan0";
    case 99: return "huawei00";
    default: return std::string();
  }
}

int32_t DownloadTimeOf(int64_t createdUnix, int64_t writtenUnix) {
  if (writtenUnix <= createdUnix) return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(writtenUnix - createdUnix)));
}

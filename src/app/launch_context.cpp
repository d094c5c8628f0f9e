#include "app/launch_context.h"

#include "app/launch_rules.h"
#include "app/install_record.h"
#include "app/product.h"
#include "app/shared_settings.h"
#include "info/app_info.h"
#include "platform/encoding.h"
#include "platform/proc_address.h"
#include "platform/system_queries.h"
#include "platform/text.h"
#include "platform/unique_handle.h"

namespace {

bool g_first_install = true;
bool g_reinstall = false;
HINSTANCE g_module = nullptr;

void DeclareDpiAware() {
  using SetDpiAwareFn = BOOL(WINAPI*)();
  UniqueModule user32(::LoadLibraryW(L"user32"));
  if (const auto set = GetProcAddressAs<SetDpiAwareFn>(user32.get(), "SetProcessDPIAware")) set();
}

// Opening the entry is enough: the product's setup program writes it into the 32-bit view.
bool ProductUninstallEntryExists() {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductUninstallKey, 0, KEY_READ | KEY_WOW64_32KEY,
                      &raw) != ERROR_SUCCESS) {
    return false;
  }
  ::RegCloseKey(raw);
  return true;
}

std::wstring OwnPath() {
  wchar_t path[1024] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, 1023);
  return length == 0 ? std::wstring() : std::wstring(path, length);
}

std::string AfterLastBackslash(const std::string& text) {
  const auto slash = text.rfind('\\');
  return slash == std::string::npos ? std::string() : text.substr(slash + 1);
}

std::string PackageNameOf(const std::wstring& ownPath) {
  const std::string file = AfterLastBackslash(WideToUtf8(ownPath));
  return file.size() >= 4 ? file.substr(0, file.size() - 4) : std::string();
}

}  // namespace

LaunchContext GatherLaunchContext(HINSTANCE module) {
  LaunchContext context;
  g_module = module;
  DeclareDpiAware();
  if (ProductUninstallEntryExists()) g_first_install = false;

  const std::wstring ownPath = OwnPath();
  context.package_name = PackageNameOf(ownPath);

  std::string channel = ChannelFromPackageName(context.package_name);
  if (IAppInfo* appInfo = GetAppInfo()) {
    const std::string storeChannel = AppStoreChannel(WideToUtf8(appInfo->GetFileVersion(L"")));
    if (!storeChannel.empty()) channel = storeChannel;
  }
  SetChannelId(channel);

  CInstallRecord* record = GetInstallRecord();
  const std::wstring begin = AnsiToWide(FormatInt64(UnixTime()));
  if (record && !begin.empty()) record->SetBeginTimestamp(begin);

  uint32_t parent = 0;
  std::wstring parentPath;
  if (GetParentProcessId(::GetCurrentProcessId(), &parent) &&
      GetProcessImagePath(parent, &parentPath) && !parentPath.empty()) {
    if (record) record->SetLaunchAppName(parentPath);
    context.parent_name = AfterLastBackslash(WideToUtf8(parentPath));
  }

  context.executable = std::make_unique<CFileStream>(OpenFile(kReadShared, ownPath));
  int64_t created = 0, accessed = 0, written = 0;
  if (context.executable->GetTimes(&created, &accessed, &written)) {
    context.download_time = DownloadTimeOf(created, written);
  }
  return context;
}

bool IsFirstInstall() { return g_first_install; }
bool IsReinstall() { return g_reinstall; }
void SetReinstall(bool reinstall) { g_reinstall = reinstall; }
HINSTANCE GetModuleInstance() { return g_module; }

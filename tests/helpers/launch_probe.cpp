// Runs the installer's launch-context step as the installer does and reports what it learnt,
// one "key=value" line each, to the file named by its only argument. Built several times with
// different version resources so the app-store rule is exercised on real executables.
#include <cstdio>
#include <string>

#include "app/install_record.h"
#include "app/launch_context.h"
#include "app/shared_settings.h"
#include "info/app_info.h"
#include "platform/encoding.h"
#include "platform/windows_api.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  CreateSharedSettings();
  LaunchContext context;
  try {
    context = GatherLaunchContext(::GetModuleHandleW(nullptr));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 3;
  }
  FILE* out = _wfopen(argv[1], L"wb");
  if (!out) return 4;
  CInstallRecord* record = GetInstallRecord();
  std::fprintf(out, "package=%s\n", context.package_name.c_str());
  std::fprintf(out, "channel=%s\n", GetChannelId().c_str());
  std::fprintf(out, "first_install=%d\n", IsFirstInstall() ? 1 : 0);
  std::fprintf(out, "parent=%s\n", context.parent_name.c_str());
  std::fprintf(out, "download_time=%d\n", static_cast<int>(context.download_time));
  std::fprintf(out, "own_version=%s\n", WideToUtf8(GetAppInfo()->GetFileVersion(L"")).c_str());
  std::fprintf(out, "launch_appname=%s\n", record ? WideToUtf8(record->launch_appname()).c_str() : "");
  std::fprintf(out, "stream_open=%d\n", context.executable ? 1 : 0);
  std::fclose(out);
  DeleteSharedSettings();
  return 0;
}

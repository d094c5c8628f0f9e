// The installer's entry point: one instance at a time, the launch context, the start events,
// the product folder, then the quit sequence. Errors end the run through the quit sequence;
// the exit code is always 0.
#include <stdexcept>

#include "app/install_record.h"
#include "app/launch_context.h"
#include "app/product.h"
#include "app/shared_settings.h"
#include "app/single_instance.h"
#include "info/pkg_info.h"
#include "info/server_info.h"
#include "net/winsock.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/windows_api.h"
#include "telemetry/logger.h"

namespace {

void CreateProductFolder() {
  try {
    CreateDirectoryTree(GetCacheFolder() + kProductFolderName);
  } catch (...) {
    // A missing product folder only costs the install record; the run goes on.
  }
}

void SendStartEvents(const LaunchContext& context) {
  ILoggerServer* logger = GetLogger();
  logger->ClearProperties();
  logger->AddBoolProperty("is_first_install", IsFirstInstall());
  logger->AddStringProperty("soft_package_name", context.package_name.c_str());
  logger->AddIntProperty("download_time", context.download_time);
  logger->AddStringProperty("parent_app_name", context.parent_name.c_str());
  logger->AddStringProperty("install_type", WideToUtf8(L"安装器").c_str());
  logger->SendEvent("pSoftInstall");
  logger->TrackLaunch(1, "", "", "");
  logger->TrackReport(4, "0001", "0001", context.package_name, "", {});
}

void SendQuitEvents() {
  ILoggerServer* logger = GetLogger();
  logger->TrackReport(4, "0001", "0002", "", "", {});
  logger->ClearProperties();
  logger->AddStringProperty("event_name", WideToUtf8(L"软件退出").c_str());
  logger->SendEvent("vSoftQuit");
}

// Windows Sockets stay started for the whole process; the readers start fetching at once.
void StartInfoReaders() {
  WSADATA data;
  ::WSAStartup(0x0101, &data);
  if (!GetPkgInfo()) throw std::runtime_error("Get package information error");
  if (!GetServerInfo()) throw std::runtime_error("Get server information error");
}

void Run(HINSTANCE instance) {
  LaunchContext context = GatherLaunchContext(instance);
  SendStartEvents(context);
  StartInfoReaders();
  CreateProductFolder();
  context.executable.reset();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  SingleInstance single;
  if (!single.IsFirst()) {
    BringFirstInstanceToFront();
    return 0;
  }
  CreateSharedSettings();
  try {
    Run(instance);
  } catch (...) {
    // The quit sequence below runs whatever failed.
  }
  SendQuitEvents();
  DeleteSharedSettings();
  single.Close();
  return 0;
}

// What the installer learns about itself at start, before any window exists. Gathered once on
// the main thread by the entry point, after the shared settings exist and before any other
// thread starts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_stream.h"
#include "platform/windows_api.h"

struct LaunchContext {
  std::string package_name;  // UTF-8: own file name without its last 4 characters
  std::string parent_name;   // UTF-8: the parent's executable name; empty when unknown
  int32_t download_time = 0;  // seconds between the file's creation and its last write
  // The installer's own executable, kept open until the message loop has ended.
  std::unique_ptr<CFileStream> executable;
};

// Sets the flags and module handle, the channel id (shared settings), "begin_timestamp" and
// "launch_appname" (install record). Throws "VelmorFileOpen failed" when the own executable
// cannot be opened.
LaunchContext GatherLaunchContext(HINSTANCE module);

// True unless the product's uninstall entry could be opened at start.
bool IsFirstInstall();
// Chosen by the install flow when the reinstall page is shown.
bool IsReinstall();
void SetReinstall(bool reinstall);
HINSTANCE GetModuleInstance();

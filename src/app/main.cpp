// The installer's entry point: one instance at a time, the launch context, the product folder,
// then the quit sequence. Errors end the run through the quit sequence; the exit code is 0.
#include "app/install_record.h"
#include "app/launch_context.h"
#include "app/product.h"
#include "app/shared_settings.h"
#include "app/single_instance.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/windows_api.h"

namespace {

void CreateProductFolder() {
  try {
    CreateDirectoryTree(GetCacheFolder() + kProductFolderName);
  } catch (...) {
    // A missing product folder only costs the install record; the run goes on.
  }
}

void Run(HINSTANCE instance) {
  LaunchContext context = GatherLaunchContext(instance);
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
  DeleteSharedSettings();
  single.Close();
  return 0;
}

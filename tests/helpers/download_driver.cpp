// Runs the installer's downloader to completion without the pages, as the progress page would:
// Start, then Poll every 50 ms, restarting after a failure up to a limit.
//   download_driver [starts] [report-file] [release-after-ms]
// Prints "progress N" lines and ends with "state=S", "file=PATH", "url=URL", "seconds=T"; the
// same final lines go to the report file when one is given. With release-after-ms the downloader is
// released that long after its start, as when the user closes the installer mid-download, and
// "release_ms=T" reports how long the release took, "progress=P" the progress just before it.
// Exit code 0 when the setup program is ready.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/product.h"
#include "app/shared_settings.h"
#include "download/downloader.h"
#include "info/pkg_info.h"
#include "net/winsock.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/folders.h"

#include <psapi.h>

int main(int argc, char** argv) {
  const int starts = argc > 1 ? std::atoi(argv[1]) : 1;
  WSADATA data;
  ::WSAStartup(0x0101, &data);
  CreateSharedSettings();
  // The entry point makes the product folder before any download; so does this stand-in.
  CreateDirectoryTree(GetCacheFolder() + kProductFolderName);
  GetPkgInfo();
  IDownloader* downloader = CreateDownloader();
  if (!downloader) return 3;
  LARGE_INTEGER frequency, begin, end;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&begin);
  int32_t state = IDownloader::kFailed;
  int lastProgress = -1;
  // From the first Start (the package query included) to the last written byte, as the 50 ms
  // polls see it: what a user waits for before the check of the file begins.
  LARGE_INTEGER transferEnd = {};
  const int releaseAfter = argc > 3 ? std::atoi(argv[3]) : 0;
  if (releaseAfter > 0) {
    downloader->Start();
    ::Sleep(static_cast<DWORD>(releaseAfter));
    const int32_t progress = downloader->GetProgress();
    LARGE_INTEGER before, after;
    ::QueryPerformanceCounter(&before);
    downloader->Release();
    ::QueryPerformanceCounter(&after);
    const std::string report = "release_ms=" +
        std::to_string((after.QuadPart - before.QuadPart) * 1000 / frequency.QuadPart) +
        "\nprogress=" + std::to_string(progress) + "\n";
    std::fputs(report.c_str(), stdout);
    if (argc > 2) {
      if (FILE* f = std::fopen(argv[2], "wb")) {
        std::fputs(report.c_str(), f);
        std::fclose(f);
      }
    }
    return 0;
  }
  for (int start = 0; start < starts; ++start) {
    if (!downloader->Start()) continue;
    for (;;) {
      ::Sleep(50);
      // Progress is read before the poll: the poll that sees both ranges complete goes on to
      // check the file's MD5, which is not part of the transfer.
      const int progress = downloader->GetProgress();
      if (progress == 100 && transferEnd.QuadPart == 0) ::QueryPerformanceCounter(&transferEnd);
      state = downloader->Poll();
      // Both ranges completing between the two calls leaves the end at the poll's return.
      if (state == IDownloader::kReady && transferEnd.QuadPart == 0) {
        ::QueryPerformanceCounter(&transferEnd);
      }
      if (progress != lastProgress) {
        std::printf("progress %d\n", progress);
        std::fflush(stdout);
        lastProgress = progress;
      }
      if (state != IDownloader::kRunning) break;
    }
    if (state == IDownloader::kReady) break;
  }
  ::QueryPerformanceCounter(&end);
  const double seconds = static_cast<double>(end.QuadPart - begin.QuadPart) / frequency.QuadPart;
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof memory);
  const double transfer =
      static_cast<double>(transferEnd.QuadPart - begin.QuadPart) / frequency.QuadPart;
  const std::string report = "transfer_seconds=" + std::to_string(transfer) + "\npeak_working_set_mb=" +
                             std::to_string(memory.PeakWorkingSetSize >> 20) + "\nstate=" +
                             std::to_string(state) + "\nfile=" +
                             WideToUtf8(downloader->GetFilePath()) + "\nurl=" +
                             downloader->GetDownloadUrl() + "\nseconds=" + std::to_string(seconds) + "\n";
  std::fputs(report.c_str(), stdout);
  if (argc > 2) {
    if (FILE* f = std::fopen(argv[2], "wb")) {
      std::fputs(report.c_str(), f);
      std::fclose(f);
    }
  }
  downloader->Release();
  DeleteSharedSettings();
  return state == IDownloader::kReady ? 0 : 1;
}

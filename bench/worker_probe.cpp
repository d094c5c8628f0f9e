// The downloader's own range workers with nothing else around them: two CDownloadThread objects
// over the same two ranges as range_probe, writing in place through a plain writer. Set beside
// range_probe and the whole downloader, it tells the workers' cost from the cost of what the
// downloader runs next to them (query, logger, polling).
//   worker_probe URL SIZE OUTPUT   prints "<bytes> <seconds> <MB/s>"
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "download/download_thread.h"
#include "net/winsock.h"

namespace {

class PlainWriter : public IRangeWriter {
 public:
  explicit PlainWriter(HANDLE file) : file_(file) {}
  bool WriteBlock(uint32_t count, int32_t, const char* buffer, int64_t offset) override {
    std::lock_guard<std::mutex> hold(lock_);
    LARGE_INTEGER at;
    at.QuadPart = offset;
    DWORD written = 0;
    return ::SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) &&
           ::WriteFile(file_, buffer, count, &written, nullptr) && written == count;
  }

 private:
  HANDLE file_;
  std::mutex lock_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  const long long size = std::atoll(argv[2]);
  HANDLE file = ::CreateFileA(argv[3], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER length;
  length.QuadPart = size;
  ::SetFilePointerEx(file, length, nullptr, FILE_BEGIN);
  ::SetEndOfFile(file);
  PlainWriter writer(file);
  LARGE_INTEGER frequency, start, stop;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&start);
  const long long half = size / 2;
  bool ok = true;
  {
    CDownloadThread a(argv[1], 2000, 20, 0, half - 1, &writer, 0);
    CDownloadThread b(argv[1], 2000, 20, half, size - 1, &writer, 1);
    HANDLE both[] = {a.thread_handle(), b.thread_handle()};
    ::WaitForMultipleObjects(2, both, TRUE, INFINITE);
    ok = a.state() == CDownloadThread::kComplete && b.state() == CDownloadThread::kComplete;
    ::QueryPerformanceCounter(&stop);
  }
  ::CloseHandle(file);
  const double seconds = static_cast<double>(stop.QuadPart - start.QuadPart) / frequency.QuadPart;
  std::printf("%lld %.3f %.1f\n", size, seconds, static_cast<double>(size) / seconds / 1e6);
  return ok ? 0 : 1;
}

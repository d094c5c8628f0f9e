// The downloader's own range workers with nothing else around them: two CDownloadThread objects
// over the same two ranges as range_probe, writing in place through a plain writer. Set beside
// range_probe and the whole downloader, it tells the workers' cost from the cost of what the
// downloader runs next to them (query, logger, polling).
//   worker_probe URL SIZE OUTPUT   prints "<bytes> <seconds> <MB/s>"
#include <cstdlib>

#include "download/download_thread.h"
#include "net/winsock.h"
#include "probe_output.h"

namespace {

class ProbeWriter : public IRangeWriter {
 public:
  explicit ProbeWriter(ProbeOutput* file) : file_(file) {}
  bool WriteBlock(uint32_t count, int32_t, const char* buffer, int64_t offset) override {
    return file_->WriteAt(offset, buffer, count);
  }

 private:
  ProbeOutput* file_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  const long long size = std::atoll(argv[2]);
  bool ok = true;
  double seconds = 0;
  {
    ProbeOutput file(argv[3], size);
    ProbeWriter writer(&file);
    const ProbeClock clock;
    const long long half = size / 2;
    CDownloadThread a(argv[1], 2000, 20, 0, half - 1, &writer, 0);
    CDownloadThread b(argv[1], 2000, 20, half, size - 1, &writer, 1);
    HANDLE both[] = {a.thread_handle(), b.thread_handle()};
    ::WaitForMultipleObjects(2, both, TRUE, INFINITE);
    seconds = clock.Seconds();
    ok = a.state() == CDownloadThread::kComplete && b.state() == CDownloadThread::kComplete;
  }
  PrintProbeFigures(size, seconds);
  return ok ? 0 : 1;
}

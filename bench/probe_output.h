// What the download probes share: the output file made at its full length up front, block writes
// in place from several threads, and the one-line figure they print.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <mutex>

class ProbeOutput {
 public:
  ProbeOutput(const char* path, long long size)
      : file_(::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr)) {
    LARGE_INTEGER length;
    length.QuadPart = size;
    ::SetFilePointerEx(file_, length, nullptr, FILE_BEGIN);
    ::SetEndOfFile(file_);
  }
  ~ProbeOutput() { ::CloseHandle(file_); }
  ProbeOutput(const ProbeOutput&) = delete;
  ProbeOutput& operator=(const ProbeOutput&) = delete;

  bool WriteAt(long long offset, const char* data, uint32_t count) {
    std::lock_guard<std::mutex> hold(lock_);
    LARGE_INTEGER at;
    at.QuadPart = offset;
    DWORD written = 0;
    return ::SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) &&
           ::WriteFile(file_, data, count, &written, nullptr) && written == count;
  }

 private:
  HANDLE file_;
  std::mutex lock_;
};

// Seconds since construction, from the performance counter.
class ProbeClock {
 public:
  ProbeClock() {
    ::QueryPerformanceFrequency(&frequency_);
    ::QueryPerformanceCounter(&start_);
  }
  double Seconds() const {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart - start_.QuadPart) / frequency_.QuadPart;
  }

 private:
  LARGE_INTEGER frequency_, start_;
};

// "<bytes> <seconds> <MB/s>", the line bench/download reads.
inline void PrintProbeFigures(long long size, double seconds) {
  std::printf("%lld %.3f %.1f\n", size, seconds, static_cast<double>(size) / seconds / 1e6);
}

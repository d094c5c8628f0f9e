#include "spool.h"

#include <algorithm>
#include <cstdio>

namespace {

std::wstring SegmentStem(unsigned sequence) {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  const unsigned long long ticks =
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  wchar_t stem[96];
  std::swprintf(stem, 96, L"seg-%020llu-%08lx-%08x", ticks, ::GetCurrentProcessId(), sequence);
  return stem;
}

std::vector<std::wstring> List(const std::wstring& folder, const wchar_t* pattern) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((folder + pattern).c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(entry.cFileName);
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

std::wstring WithExtension(const std::wstring& path, const wchar_t* extension) {
  return path.substr(0, path.rfind(L'.')) + extension;
}

}  // namespace

Spool::Spool(std::wstring folder) : folder_(std::move(folder)) {
  if (!folder_.empty() && folder_.back() != L'\\') folder_ += L'\\';
  ::CreateDirectoryW(folder_.c_str(), nullptr);
}

Spool::~Spool() {
  std::lock_guard<std::mutex> hold(mutex_);
  SealCurrent();
}

bool Spool::OpenSegment() {
  current_path_ = folder_ + SegmentStem(++sequence_) + L".open";
  // No FILE_SHARE_DELETE: while this process lives, nobody can adopt the segment it writes.
  current_ = ::CreateFileW(current_path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  current_has_data_ = false;
  return current_ != INVALID_HANDLE_VALUE;
}

bool Spool::Append(const std::string& line) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (current_ == INVALID_HANDLE_VALUE && !OpenSegment()) return false;
  const std::string record = line + "\n";
  DWORD written = 0;
  if (!::WriteFile(current_, record.data(), static_cast<DWORD>(record.size()), &written, nullptr) ||
      written != record.size()) {
    // A partial line would corrupt the segment: cut it back to the last whole line.
    LARGE_INTEGER back;
    back.QuadPart = -static_cast<LONGLONG>(written);
    ::SetFilePointerEx(current_, back, nullptr, FILE_CURRENT);
    ::SetEndOfFile(current_);
    return false;
  }
  current_has_data_ = true;
  return true;
}

void Spool::SealCurrent() {
  if (current_ == INVALID_HANDLE_VALUE) return;
  ::CloseHandle(current_);
  current_ = INVALID_HANDLE_VALUE;
  if (current_has_data_) {
    ::MoveFileExW(current_path_.c_str(), WithExtension(current_path_, L".jsonl").c_str(), 0);
  } else {
    ::DeleteFileW(current_path_.c_str());
  }
}

std::vector<std::wstring> Spool::SealAndList() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    if (current_has_data_) SealCurrent();
  }
  // Open segments of processes that ended without sealing them: a live owner's handle makes
  // the rename fail, so only orphans move.
  for (const auto& name : List(folder_, L"seg-*.open")) {
    const std::wstring path = folder_ + name;
    if (path == current_path_) continue;
    ::MoveFileExW(path.c_str(), WithExtension(path, L".jsonl").c_str(), 0);
  }
  std::vector<std::wstring> sealed;
  for (const auto& name : List(folder_, L"seg-*.jsonl")) sealed.push_back(folder_ + name);
  return sealed;
}

bool Spool::ReadLines(const std::wstring& segment, std::vector<std::string>* lines) {
  HANDLE file = ::CreateFileW(segment.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string bytes;
  char buffer[64 * 1024];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  ::CloseHandle(file);
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t end = bytes.find('\n', start);
    // A line without its newline was cut short by a crash; it is not a whole record.
    if (end == std::string::npos) break;
    if (end > start) lines->push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

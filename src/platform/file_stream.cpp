#include "platform/file_stream.h"

#include <stdexcept>

namespace {

int64_t FileTimeToUnix(const FILETIME& t) {
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  return (ticks - 116444736000000000LL) / 10000000LL;
}

}  // namespace

UniqueFileHandle OpenFile(uint16_t mode, const std::wstring& path) {
  if (mode == kCreateMode) return CreateFile(path);
  static const DWORD kAccess[] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};
  static const DWORD kShare[] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE};
  const unsigned access = mode & 0x3;
  const unsigned share = (mode >> 4) & 0xF;
  if (access > 2 || share > 4) return UniqueFileHandle();
  UniqueFileHandle file(::CreateFileW(path.c_str(), kAccess[access], kShare[share], nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw std::runtime_error("VelmorFileOpen failed");
  return file;
}

UniqueFileHandle CreateFile(const std::wstring& path) {
  if (path.empty()) throw std::runtime_error("filename can't be empty");
  UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) throw std::runtime_error("VelmorFileCreate failed");
  return file;
}

int64_t CFileStream::Seek(int64_t distance, int origin) {
  eof_ = false;
  LONG high = static_cast<LONG>(distance >> 32);
  ::SetLastError(NO_ERROR);
  const DWORD low = ::SetFilePointer(file_.get(), static_cast<LONG>(distance & 0xFFFFFFFF), &high,
                                     static_cast<DWORD>(origin));
  if (low == INVALID_SET_FILE_POINTER && ::GetLastError() != NO_ERROR) return -1;
  return static_cast<int64_t>((static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low);
}

int64_t CFileStream::GetPosition() { return Seek(0, FILE_CURRENT); }

int64_t CFileStream::SetPosition(int64_t position) { return Seek(position, FILE_BEGIN); }

int64_t CFileStream::GetLength() {
  const int64_t position = GetPosition();
  if (position < 0) return -1;
  const int64_t length = Seek(0, FILE_END);
  Seek(position, FILE_BEGIN);
  return length;
}

bool CFileStream::SetLength(int64_t length) {
  if (Seek(length, FILE_BEGIN) < 0) return false;
  const bool ok = ::SetEndOfFile(file_.get()) != 0;
  Seek(0, FILE_BEGIN);
  return ok;
}

int CFileStream::Read(void* buffer, uint32_t count) {
  if (!buffer || count == 0) return 0;
  DWORD got = 0;
  if (!::ReadFile(file_.get(), buffer, count, &got, nullptr)) {
    if (::GetLastError() == ERROR_HANDLE_EOF) {
      eof_ = true;
      return -1;
    }
    return static_cast<int>(got);
  }
  if (got == 0) {
    eof_ = true;
    return -1;
  }
  return static_cast<int>(got);
}

int CFileStream::Write(const void* buffer, uint32_t count) {
  eof_ = false;
  if (!buffer || count == 0) return 0;
  DWORD written = 0;
  if (!::WriteFile(file_.get(), buffer, count, &written, nullptr)) return -1;
  return static_cast<int>(written);
}

bool CFileStream::GetTimes(int64_t* created, int64_t* accessed, int64_t* written) {
  FILETIME c, a, w;
  if (!::GetFileTime(file_.get(), &c, &a, &w)) return false;
  *created = FileTimeToUnix(c);
  *accessed = FileTimeToUnix(a);
  *written = FileTimeToUnix(w);
  return true;
}

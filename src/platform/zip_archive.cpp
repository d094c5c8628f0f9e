#include "platform/zip_archive.h"

// iowin32.h expects windows.h and unzip.h (with zlib) to come first.
#include "platform/windows_api.h"
#include <minizip/unzip.h>
#include <minizip/iowin32.h>

#include <vector>

#include "platform/encoding.h"
#include "platform/file_stream.h"
#include "platform/files.h"
#include "platform/path_rules.h"

namespace {

class OpenArchive {
 public:
  explicit OpenArchive(const std::wstring& path) {
    zlib_filefunc64_def io;
    fill_win32_filefunc64W(&io);
    handle_ = unzOpen2_64(path.c_str(), &io);
  }
  ~OpenArchive() {
    if (handle_) unzClose(handle_);
  }
  OpenArchive(const OpenArchive&) = delete;
  OpenArchive& operator=(const OpenArchive&) = delete;
  unzFile get() const { return handle_; }

 private:
  unzFile handle_ = nullptr;
};

// Writes the current entry to path; false on any read or write failure.
bool ExtractCurrent(unzFile archive, const std::wstring& path) {
  if (unzOpenCurrentFile(archive) != UNZ_OK) return false;
  bool ok = true;
  try {
    CFileStream out(CreateFile(path));
    std::vector<char> buffer(64 * 1024);
    for (;;) {
      const int got = unzReadCurrentFile(archive, buffer.data(), static_cast<unsigned>(buffer.size()));
      if (got < 0) ok = false;
      if (got <= 0) break;
      if (out.Write(buffer.data(), static_cast<uint32_t>(got)) != got) {
        ok = false;
        break;
      }
    }
  } catch (...) {
    ok = false;
  }
  // CRC mismatch is reported here.
  if (unzCloseCurrentFile(archive) != UNZ_OK) ok = false;
  return ok;
}

}  // namespace

int UnpackZip(const std::wstring& zipPath, const std::wstring& folder) {
  OpenArchive archive(zipPath);
  if (!archive.get()) return -1;
  const std::wstring root = EnsureTrailingSeparator(folder);
  int written = 0;
  for (int status = unzGoToFirstFile(archive.get()); status == UNZ_OK;
       status = unzGoToNextFile(archive.get())) {
    char name[512] = {};
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(archive.get(), &info, name, sizeof name - 1, nullptr, 0, nullptr,
                                0) != UNZ_OK) {
      continue;
    }
    const std::string entry = name;
    if (!IsSafeEntryName(entry)) continue;
    // Names are UTF-8 when the archive says so (general purpose flag bit 11), else the
    // archiver's code page, which for our own archives is plain ASCII either way.
    std::wstring relative = (info.flag & (1u << 11)) ? Utf8ToWide(entry) : AnsiToWide(entry);
    for (auto& c : relative) {
      if (c == L'/') c = L'\\';
    }
    const std::wstring target = root + relative;
    if (relative.back() == L'\\') {
      CreateDirectoryTree(target);
      continue;
    }
    CreateDirectoryTree(FolderOf(target));
    if (ExtractCurrent(archive.get(), target)) ++written;
  }
  return written;
}

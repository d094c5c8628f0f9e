// Records waiting to be sent, kept on disk so that nothing committed is lost when the host is
// down or the process ends. Lines are appended to this process's open segment; Seal() closes it
// so that the sender can take it. Segments are named by creation time, so sorting their names
// sends records in commit order. Thread-safe.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

class Spool {
 public:
  explicit Spool(std::wstring folder);
  ~Spool();

  // Appends one line; false when the disk refused it (the caller keeps the line in memory).
  bool Append(const std::string& line);
  // Closes the open segment when it holds lines, and adopts segments that dead processes left
  // open. Returns every sealed segment, oldest first.
  std::vector<std::wstring> SealAndList();
  static bool ReadLines(const std::wstring& segment, std::vector<std::string>* lines);
  const std::wstring& folder() const { return folder_; }

 private:
  bool OpenSegment();
  void SealCurrent();

  std::mutex mutex_;
  std::wstring folder_;
  HANDLE current_ = INVALID_HANDLE_VALUE;
  std::wstring current_path_;
  bool current_has_data_ = false;
  unsigned sequence_ = 0;
};

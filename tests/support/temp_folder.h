// A fresh folder under the Wine prefix's temp folder, deleted with everything in it afterwards.
#pragma once

#include <string>

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder with a trailing backslash.
  const std::wstring& path() const { return path_; }
  // Writes bytes to a file in the folder and returns its full path.
  std::wstring WriteFile(const std::wstring& name, const std::string& bytes) const;

 private:
  std::wstring path_;
};

// Clears the read-only attribute of every file below path, so a test can clean up after one.
void MakeWritable(const std::wstring& path);

// Full path of a program built beside the running test executable.
std::wstring SiblingExecutable(const std::wstring& name);

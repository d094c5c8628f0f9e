// Files opened by mode, read and written through IVelmorStream. One owner thread per stream.
#pragma once

#include <cstdint>
#include <string>

#include "platform/unique_handle.h"

class IVelmorStream {
 public:
  virtual int64_t GetPosition() = 0;              // -1 on failure
  virtual int64_t SetPosition(int64_t position) = 0;
  virtual int64_t GetLength() = 0;                // -1 on failure
  // Truncates or extends; leaves the position at 0.
  virtual bool SetLength(int64_t length) = 0;
  // Bytes read; -1 at end of file (and IsEof() turns true); 0 for an empty request or an error.
  virtual int Read(void* buffer, uint32_t count) = 0;
  virtual int Write(const void* buffer, uint32_t count) = 0;  // -1 on failure
  // origin: 0 start, 1 current, 2 end. Clears the end-of-file flag.
  virtual int64_t Seek(int64_t distance, int origin) = 0;
  virtual bool IsEof() = 0;
  virtual void Release() = 0;  // deletes the stream
  virtual ~IVelmorStream() = default;
  // Unix seconds of creation, last access and last write.
  virtual bool GetTimes(int64_t* created, int64_t* accessed, int64_t* written) = 0;
};

// Open modes: kCreateMode creates or truncates for reading and writing. Otherwise bits 0-1 are
// the access (0 read, 1 write, 2 both) and bits 4-7 the sharing (0/1 none, 2 read, 3 write,
// 4 both).
constexpr uint16_t kCreateMode = 0xFFFF;
constexpr uint16_t kReadShared = 0x40;

// Opens an existing file. An invalid mode gives an empty handle without error; a failing open
// throws "VelmorFileOpen failed".
UniqueFileHandle OpenFile(uint16_t mode, const std::wstring& path);
// Creates (truncating) a file for reading and writing; throws "filename can't be empty" or
// "VelmorFileCreate failed".
UniqueFileHandle CreateFile(const std::wstring& path);

class CFileStream : public IVelmorStream {
 public:
  explicit CFileStream(UniqueFileHandle file) : file_(std::move(file)) {}

  int64_t GetPosition() override;
  int64_t SetPosition(int64_t position) override;
  int64_t GetLength() override;
  bool SetLength(int64_t length) override;
  int Read(void* buffer, uint32_t count) override;
  int Write(const void* buffer, uint32_t count) override;
  int64_t Seek(int64_t distance, int origin) override;
  bool IsEof() override { return eof_; }
  void Release() override { delete this; }
  bool GetTimes(int64_t* created, int64_t* accessed, int64_t* written) override;

 private:
  UniqueFileHandle file_;
  bool eof_ = false;
};

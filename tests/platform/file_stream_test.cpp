#include "platform/file_stream.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "support/temp_folder.h"

namespace {

std::string ErrorOf(void (*f)(const std::wstring&), const std::wstring& arg) {
  try {
    f(arg);
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(OpenFile, ModesAndErrors) {
  TempFolder dir;
  EXPECT_EQ(ErrorOf([](const std::wstring& p) { OpenFile(kReadShared, p); }, dir.path() + L"no"),
            "VelmorFileOpen failed");
  EXPECT_EQ(ErrorOf([](const std::wstring& p) { CreateFile(p); }, L""), "filename can't be empty");
  EXPECT_EQ(ErrorOf([](const std::wstring& p) { CreateFile(p); }, dir.path() + L"no\\such\\f"),
            "VelmorFileCreate failed");

  const std::wstring file = dir.WriteFile(L"f.bin", "data");
  EXPECT_FALSE(OpenFile(3, file).valid());     // access 3 is invalid: no handle, no error
  EXPECT_FALSE(OpenFile(0x50, file).valid());  // sharing 5 is invalid
  EXPECT_TRUE(OpenFile(kReadShared, file).valid());
  EXPECT_TRUE(OpenFile(0x42, file).valid());

  // A reader that lets nobody else in keeps a second opener out.
  UniqueFileHandle exclusive = OpenFile(0x00, file);
  ASSERT_TRUE(exclusive.valid());
  EXPECT_EQ(ErrorOf([](const std::wstring& p) { OpenFile(kReadShared, p); }, file),
            "VelmorFileOpen failed");
}

TEST(CFileStream, ReadToEndSetsEofAndSeekClearsIt) {
  TempFolder dir;
  CFileStream stream(OpenFile(kReadShared, dir.WriteFile(L"f.bin", "hello")));
  char buffer[16] = {};
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), 5);
  EXPECT_FALSE(stream.IsEof());
  EXPECT_EQ(stream.Read(buffer, sizeof buffer), -1);
  EXPECT_TRUE(stream.IsEof());
  EXPECT_EQ(stream.Seek(1, 0), 1);
  EXPECT_FALSE(stream.IsEof());
  EXPECT_EQ(stream.Read(buffer, 2), 2);
  EXPECT_EQ(std::string(buffer, 2), "el");
  EXPECT_EQ(stream.GetPosition(), 3);
  EXPECT_EQ(stream.Seek(-1, 2), 4);
  EXPECT_EQ(stream.Read(nullptr, 4), 0);
  EXPECT_EQ(stream.Read(buffer, 0), 0);
  EXPECT_EQ(stream.Seek(-10, 0), -1);
}

TEST(CFileStream, WriteLengthAndTruncate) {
  TempFolder dir;
  CFileStream stream(CreateFile(dir.path() + L"w.bin"));
  EXPECT_EQ(stream.GetLength(), 0);
  EXPECT_EQ(stream.Write("0123456789abcdef", 16), 16);
  EXPECT_EQ(stream.Write("x", 0), 0);
  EXPECT_EQ(stream.GetPosition(), 16);
  EXPECT_EQ(stream.GetLength(), 16);
  EXPECT_EQ(stream.GetPosition(), 16) << "GetLength keeps the position";

  EXPECT_TRUE(stream.SetLength(10));
  EXPECT_EQ(stream.GetPosition(), 0);
  EXPECT_EQ(stream.GetLength(), 10);
  EXPECT_FALSE(stream.IsEof());

  // Extending past 4 GiB exercises the high half of the 64-bit position (sparse on the host).
  const int64_t big = (int64_t{5} << 30) + 7;
  ASSERT_EQ(stream.SetPosition(big), big);
  EXPECT_EQ(stream.Write("z", 1), 1);
  EXPECT_EQ(stream.GetLength(), big + 1);
  EXPECT_TRUE(stream.SetLength(3));
  EXPECT_EQ(stream.GetLength(), 3);
}

TEST(CFileStream, ReadOnlyStreamRefusesWrites) {
  TempFolder dir;
  CFileStream stream(OpenFile(kReadShared, dir.WriteFile(L"r.bin", "abc")));
  EXPECT_EQ(stream.Write("x", 1), -1);
  EXPECT_FALSE(stream.SetLength(1));
}

TEST(CFileStream, TimesAreUnixSeconds) {
  TempFolder dir;
  const std::wstring path = dir.path() + L"t.bin";
  IVelmorStream* stream = new CFileStream(CreateFile(path));
  // 1970-01-01 00:00:10 UTC in FILETIME ticks.
  const int64_t ticks = 116444736000000000LL + 10LL * 10000000LL;
  FILETIME t = {static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(ticks >> 32)};
  UniqueFileHandle writer(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
  ASSERT_TRUE(::SetFileTime(writer.get(), &t, &t, &t));
  int64_t created = 0, accessed = 0, written = 0;
  ASSERT_TRUE(stream->GetTimes(&created, &accessed, &written));
  EXPECT_EQ(created, 10);
  EXPECT_EQ(written, 10);
  stream->Release();
}

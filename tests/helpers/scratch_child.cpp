// Writes the scratch folder it was given at load to the file named by its argument, then exits
// normally so that the folder's static owner deletes it.
#include <cstdio>

#include "platform/encoding.h"
#include "platform/folders.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::string folder = WideToUtf8(GetScratchFolder());
  FILE* f = _wfopen(argv[1], L"wb");
  if (!f || folder.empty()) return 3;
  std::fwrite(folder.data(), 1, folder.size(), f);
  std::fclose(f);
  return 0;
}

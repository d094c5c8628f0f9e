#include "file_digest.h"

#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "platform/md5.h"

bool Md5OfFile(const std::string& path, std::string* hex) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  Md5 md5;
  std::vector<uint8_t> buffer(1 << 20);
  for (;;) {
    const ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got < 0) {
      close(fd);
      return false;
    }
    if (got == 0) break;
    md5.Update(buffer.data(), static_cast<size_t>(got));
  }
  close(fd);
  *hex = md5.FinishHex();
  return true;
}

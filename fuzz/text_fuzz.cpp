// Text and path rules on arbitrary input: no crash, and the invariants callers rely on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/md5.h"
#include "platform/path_rules.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::wstring wide(bytes.begin(), bytes.end());

  for (const auto& piece : Split(bytes, ".\\/")) {
    if (piece.empty() || piece.find_first_of(".\\/") != std::string::npos) std::abort();
  }
  const std::string encoded = UrlEncode(bytes);
  if (encoded.size() < bytes.size()) std::abort();
  if (encoded.find(' ') != std::string::npos) std::abort();

  const std::string digest = Md5Hex(bytes);
  if (digest.size() != (bytes.empty() ? 0u : 32u)) std::abort();

  if (IsValidLocalPath(wide) && (wide.size() < 2 || wide[1] != L':')) std::abort();
  const std::wstring extension = ExtensionOf(wide);
  if (!extension.empty() && extension[0] != L'.') std::abort();
  RemoveAll(L"..", wide);
  ParseInt64(bytes);
  FindFirst(bytes, std::string("_"));
  return 0;
}

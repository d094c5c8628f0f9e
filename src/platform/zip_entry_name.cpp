#include "platform/zip_archive.h"

#include "platform/text.h"

bool IsSafeEntryName(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\') return false;
  if (name.find(':') != std::string::npos) return false;
  for (const auto& piece : Split(name, "/\\")) {
    if (piece == "..") return false;
  }
  return true;
}

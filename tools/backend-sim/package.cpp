#include "package.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "file_server.h"
#include "http_parse.h"
#include "file_digest.h"

namespace {

std::string FirstSetupProgram(const std::string& root) {
  std::vector<std::string> names;
  DIR* dir = opendir(root.c_str());
  if (dir == nullptr) return std::string();
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() > 4 && EqualsIgnoreCase(name.substr(name.size() - 4), ".exe")) {
      struct stat info;
      if (stat((root + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        names.push_back(name);
      }
    }
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names.empty() ? std::string() : names.front();
}

}  // namespace

bool PackageCache::Get(const std::string& root, const std::string& chosen, PackageFacts* facts,
                       std::string* error) {
  if (root.empty()) {
    *error = "no --root folder to take the package from";
    return false;
  }
  std::string relative = chosen;
  while (!relative.empty() && relative[0] == '/') relative.erase(0, 1);
  if (relative.empty()) relative = FirstSetupProgram(root);
  if (relative.empty()) {
    *error = "no *.exe in " + root;
    return false;
  }
  std::string path;
  if (!ResolveUnderRoot(root, "/" + EncodeUrlPath(relative), &path)) {
    *error = "package " + relative + " is not a file under " + root;
    return false;
  }
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    *error = "cannot stat " + path;
    return false;
  }
  const std::string key = path + "|" + std::to_string(info.st_size) + "|" +
                          std::to_string(info.st_mtim.tv_sec) + "." +
                          std::to_string(info.st_mtim.tv_nsec);
  std::lock_guard<std::mutex> lock(mutex_);
  if (key != key_) {
    PackageFacts fresh;
    fresh.relative = relative;
    fresh.size = info.st_size;
    if (!Md5OfFile(path, &fresh.md5)) {
      *error = "cannot read " + path;
      return false;
    }
    facts_ = fresh;
    key_ = key;
  }
  *facts = facts_;
  return true;
}

#include "support/backend_sim.h"

#include <fstream>
#include <memory>
#include <sstream>

#include "platform/files.h"
#include "support/product_fixture.h"

std::wstring SimFolder() { return BuildTreeFolder() + L"sim\\"; }

namespace {

void WriteWhole(const std::wstring& path, const std::string& bytes) {
  // Written beside and renamed, so the simulator never reads half a scenario.
  const std::wstring temp = path + L".tmp";
  {
    std::ofstream out(temp.c_str(), std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  ::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace

void SetSimScenario(const std::string& json) { WriteWhole(SimFolder() + L"scenario.json", json); }

std::wstring PutSimFile(const std::wstring& name, const std::string& bytes) {
  const std::wstring path = SimFolder() + L"root\\" + name;
  CreateDirectoryTree(FolderOf(path));
  WriteWhole(path, bytes);
  return path;
}

void ClearSimRoot() {
  DeleteTree(SimFolder() + L"root");
  CreateDirectoryTree(SimFolder() + L"root");
}

std::vector<Json::Value> SimLog() {
  std::vector<Json::Value> lines;
  std::istringstream in(ReadFileBytes(SimFolder() + L"log.jsonl"));
  std::string line;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  while (std::getline(in, line)) {
    Json::Value value;
    std::string errors;
    if (reader->parse(line.data(), line.data() + line.size(), &value, &errors)) lines.push_back(value);
  }
  return lines;
}

void ClearSimLog() {
  std::ofstream truncate((SimFolder() + L"log.jsonl").c_str(), std::ios::binary | std::ios::trunc);
}

std::string TestBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& c : bytes) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return bytes;
}

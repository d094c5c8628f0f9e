#include "support/telemetry_fixture.h"

#include <memory>

#include "platform/files.h"
#include "platform/folders.h"
#include "platform/windows_api.h"

std::vector<Json::Value> ReceivedRecords(const std::vector<SinkRequest>& requests) {
  std::vector<Json::Value> records;
  for (const auto& request : requests) {
    Json::Value body;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    if (!reader->parse(request.body.data(), request.body.data() + request.body.size(), &body,
                       &errors)) {
      continue;
    }
    for (const auto& record : body["records"]) records.push_back(record);
  }
  return records;
}

std::vector<Json::Value> EventsNamed(const std::vector<Json::Value>& records,
                                     const std::string& name) {
  std::vector<Json::Value> events;
  for (const auto& record : records) {
    if (record["kind"].asInt() == 6 && record["event"]["name"].asString() == name) {
      events.push_back(record);
    }
  }
  return events;
}

std::string DataField(const Json::Value& record, int field, size_t index) {
  for (const auto& pair : record["data"]) {
    if (pair[0].asInt() != field) continue;
    if (index-- == 0) return pair[1].isString() ? pair[1].asString() : "<base64>";
  }
  return "";
}

size_t DataFieldCount(const Json::Value& record, int field) {
  size_t count = 0;
  for (const auto& pair : record["data"]) count += pair[0].asInt() == field;
  return count;
}

void ClearTelemetrySpool() { DeleteTree(GetCacheFolder() + L"Kiv\\spool"); }

size_t SpooledSegments() {
  size_t count = 0;
  WIN32_FIND_DATAW entry;
  HANDLE find = ::FindFirstFileW((GetCacheFolder() + L"Kiv\\spool\\seg-*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return 0;
  do {
    ++count;
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  return count;
}

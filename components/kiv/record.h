// A telemetry record as the library keeps it, and its wire form. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct KivRecordData {
  int kind = 0;
  std::vector<std::pair<int, int32_t>> ints;      // field id, value, in write order
  std::vector<std::pair<int, std::string>> data;  // field id, bytes; an id may repeat
  bool has_event = false;
  std::string event_name;
  int32_t event_id = 0;
  std::vector<std::pair<std::string, int32_t>> int_properties;
  std::vector<std::pair<std::string, bool>> bool_properties;
  std::vector<std::pair<std::string, std::string>> string_properties;
};

struct KivIdentity {
  std::string app_id;
  std::string app_info;
  std::string mid;
};

// One record as a single-line JSON object (no newline). Texts that are not valid UTF-8 are
// sent as {"base64": "..."} so that no byte is lost or altered.
std::string RecordToJsonLine(const KivRecordData& record, const KivIdentity& identity,
                             int64_t clientTimeMs);

// The POST body for a batch of spooled lines: {"records":[line,line,...]}.
std::string BatchBody(const std::vector<std::string>& lines);

bool IsValidUtf8(const std::string& bytes);
std::string Base64(const std::string& bytes);

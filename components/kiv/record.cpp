#include "record.h"

#include <json/json.h>

namespace {

Json::Value TextValue(const std::string& bytes) {
  if (IsValidUtf8(bytes)) return Json::Value(bytes);
  Json::Value wrapped(Json::objectValue);
  wrapped["base64"] = Base64(bytes);
  return wrapped;
}

}  // namespace

bool IsValidUtf8(const std::string& bytes) {
  size_t i = 0;
  const size_t n = bytes.size();
  while (i < n) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    size_t extra = 0;
    uint32_t code = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= n) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const auto d = static_cast<unsigned char>(bytes[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      code = (code << 6) | (d & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (code < kMin[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += extra + 1;
  }
  return true;
}

std::string Base64(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i < bytes.size()) {
    uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string RecordToJsonLine(const KivRecordData& record, const KivIdentity& identity,
                             int64_t clientTimeMs) {
  Json::Value root(Json::objectValue);
  root["kind"] = record.kind;
  root["app_id"] = identity.app_id;
  root["app_info"] = identity.app_info;
  root["mid"] = identity.mid;
  root["ts"] = static_cast<Json::Int64>(clientTimeMs);
  Json::Value ints(Json::arrayValue);
  for (const auto& [field, value] : record.ints) {
    Json::Value pair(Json::arrayValue);
    pair.append(field);
    pair.append(value);
    ints.append(pair);
  }
  root["ints"] = ints;
  Json::Value data(Json::arrayValue);
  for (const auto& [field, bytes] : record.data) {
    Json::Value pair(Json::arrayValue);
    pair.append(field);
    pair.append(TextValue(bytes));
    data.append(pair);
  }
  root["data"] = data;
  if (record.has_event) {
    Json::Value event(Json::objectValue);
    event["name"] = TextValue(record.event_name);
    event["id"] = record.event_id;
    Json::Value properties(Json::objectValue);
    Json::Value ints_(Json::objectValue), bools(Json::objectValue), strings(Json::objectValue);
    for (const auto& [key, value] : record.int_properties) ints_[key] = value;
    for (const auto& [key, value] : record.bool_properties) bools[key] = value;
    for (const auto& [key, value] : record.string_properties) strings[key] = TextValue(value);
    properties["int"] = ints_;
    properties["bool"] = bools;
    properties["string"] = strings;
    event["properties"] = properties;
    root["event"] = event;
  }
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  writer["emitUTF8"] = true;
  return Json::writeString(writer, root);
}

std::string BatchBody(const std::vector<std::string>& lines) {
  std::string body = "{\"records\":[";
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) body += ',';
    body += lines[i];
  }
  body += "]}";
  return body;
}

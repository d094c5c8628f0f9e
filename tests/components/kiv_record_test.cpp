#include "record.h"

#include <gtest/gtest.h>

#include <json/json.h>

#include <memory>

namespace {

Json::Value Parse(const std::string& text) {
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &value, &errors)) << errors;
  return value;
}

}  // namespace

TEST(KivRecord, EventRecordWireForm) {
  KivRecordData record;
  record.kind = 6;
  record.has_event = true;
  record.event_name = "pSoftInstall";
  record.event_id = 123456789;
  record.int_properties = {{"download_time", 12}};
  record.bool_properties = {{"is_first_install", true}};
  record.string_properties = {{"install_type", "\xe5\xae\x89\xe8\xa3\x85\xe5\x99\xa8"}};
  const std::string line = RecordToJsonLine(record, {"51730946", "win_installer", "m"}, 1733750000123);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  const Json::Value v = Parse(line);
  EXPECT_EQ(v["kind"].asInt(), 6);
  EXPECT_EQ(v["app_id"].asString(), "51730946");
  EXPECT_EQ(v["ts"].asInt64(), 1733750000123);
  EXPECT_EQ(v["event"]["id"].asInt(), 123456789);
  EXPECT_EQ(v["event"]["properties"]["int"]["download_time"].asInt(), 12);
  EXPECT_TRUE(v["event"]["properties"]["bool"]["is_first_install"].asBool());
  EXPECT_EQ(v["event"]["properties"]["string"]["install_type"].asString(),
            "\xe5\xae\x89\xe8\xa3\x85\xe5\x99\xa8");
}

// Data fields may repeat and may hold bytes that are not UTF-8 (ANSI paths): those travel as
// base64 so no byte is lost.
TEST(KivRecord, DataFieldsRepeatAndKeepEveryByte) {
  KivRecordData record;
  record.kind = 4;
  record.ints = {{50, -3}};
  record.data = {{55, "C:\\a.log"}, {55, std::string("C:\\\xb2\xe2.log")}, {51, ""}};
  const Json::Value v = Parse(RecordToJsonLine(record, {}, 0));
  EXPECT_EQ(v["ints"][0][1].asInt(), -3);
  ASSERT_EQ(v["data"].size(), 3u);
  EXPECT_EQ(v["data"][0][1].asString(), "C:\\a.log");
  EXPECT_EQ(v["data"][1][1]["base64"].asString(), Base64("C:\\\xb2\xe2.log"));
  EXPECT_FALSE(v.isMember("event"));
}

TEST(KivRecord, Utf8ValidityAndBase64) {
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("\xe8\xbd\xaf\xe4\xbb\xb6 \xf0\x9f\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("\xb2\xe2"));
  EXPECT_FALSE(IsValidUtf8("\xe8\xbd"));          // cut short
  EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));          // overlong
  EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xf4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_EQ(Base64(""), "");
  EXPECT_EQ(Base64("f"), "Zg==");
  EXPECT_EQ(Base64("fo"), "Zm8=");
  EXPECT_EQ(Base64("foo"), "Zm9v");
  EXPECT_EQ(BatchBody({"{\"a\":1}", "{\"b\":2}"}), "{\"records\":[{\"a\":1},{\"b\":2}]}");
  EXPECT_EQ(BatchBody({}), "{\"records\":[]}");
}

// Reading what the telemetry sink received, for tests of the event logger and the installer.
#pragma once

#include <json/json.h>

#include <string>
#include <vector>

#include "support/http_sink.h"

// Every record of every batch, in arrival order.
std::vector<Json::Value> ReceivedRecords(const std::vector<SinkRequest>& requests);
// Named events only (kind 6), with the given name.
std::vector<Json::Value> EventsNamed(const std::vector<Json::Value>& records, const std::string& name);
// The value of a data field of a record ("" when absent); a field may repeat, so index picks.
std::string DataField(const Json::Value& record, int field, size_t index = 0);
// How many data fields with that id the record has.
size_t DataFieldCount(const Json::Value& record, int field);

// Removes every record spooled by earlier runs, so a test sees only its own.
void ClearTelemetrySpool();
// Number of spooled segment files waiting to be sent.
size_t SpooledSegments();

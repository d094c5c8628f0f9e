// The backend simulator as the Windows tests see it: its scenario file, the folder it serves and
// its request log, all in the build tree's "sim" folder (reached through drive B:).
#pragma once

#include <json/json.h>

#include <string>
#include <vector>

std::wstring SimFolder();
// Writes the scenario (JSON text) the simulator follows from its next request on.
void SetSimScenario(const std::string& json);
// Writes a file the simulator serves; returns its full path.
std::wstring PutSimFile(const std::wstring& name, const std::string& bytes);
void ClearSimRoot();
// The requests served since ClearSimLog, in order.
std::vector<Json::Value> SimLog();
void ClearSimLog();
// Deterministic pseudo-random bytes.
std::string TestBytes(size_t size, uint32_t seed);

// Files under the root, served like a CDN: HEAD and GET, single byte ranges, an optional
// Content-Disposition. Request paths never leave the root.
#pragma once

#include <string>

#include "http_parse.h"
#include "reply.h"

struct Action;

// Maps a request path (percent-encoded, without the query) to a regular file under `root`.
// False for "..", NUL bytes, malformed escapes, missing files, directories and anything whose
// real path lies outside the root (symbolic links included).
bool ResolveUnderRoot(const std::string& root, const std::string& request_path,
                      std::string* file_path);

// Answers GET or HEAD of `request_path` (the request's own path unless the action serves
// another file). Honours the action's ignore_range and filename.
void ServeFile(const Request& request, const std::string& request_path, const std::string& root,
               const Action& action, Reply* reply);

// Percent-encodes a relative file path for use in a URL (slashes kept).
std::string EncodeUrlPath(const std::string& path);

// Parsing of what clients send: request heads, query strings, Range values, chunked and
// multipart bodies. Tolerant of the installer's compact header style ("Host:x", no space).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct Header {
  std::string name;
  std::string value;
};

struct Request {
  std::string method;
  std::string target;  // as sent: path plus query
  std::string path;    // target before '?', not decoded
  std::string query;   // target after '?', not decoded
  std::string version;
  std::vector<Header> headers;
  std::string head;  // the head exactly as received, blank line included
  std::string body;

  // Value of the first header with this name (case-insensitive), or null.
  const std::string* Find(const std::string& name) const;
};

bool EqualsIgnoreCase(const std::string& a, const std::string& b);
std::string Trim(const std::string& text);

// Offset just past the blank line that ends a head in `buffer` ("\r\n\r\n", or "\n\n" from
// sloppy clients), or std::string::npos while it has not arrived.
size_t FindHeadEnd(const std::string& buffer);

// Parses a request head (request line and header lines, without the blank line).
bool ParseRequestHead(const std::string& head, Request* request, std::string* error);

// Decodes %XX escapes ('+' is kept as is); false on a malformed escape.
bool PercentDecode(const std::string& text, std::string* decoded);

// Query parameters in order, names and values percent-decoded where possible (a malformed
// escape leaves that piece as sent).
std::vector<std::pair<std::string, std::string>> ParseQuery(const std::string& query);
// First value of `name` in the query, or null.
const std::string* QueryValue(const std::vector<std::pair<std::string, std::string>>& params,
                              const std::string& name);

enum class RangeKind {
  kNone,           // absent, malformed or several ranges: the whole file is the answer
  kSatisfiable,    // [first, last] lies within the file
  kUnsatisfiable,  // starts at or beyond the end: 416
};
RangeKind ParseRange(const std::string& value, int64_t size, int64_t* first, int64_t* last);

// Decodes a complete chunked body at the start of `data`. Returns 1 when complete (`used` is
// the length consumed, trailers included), 0 while more bytes are needed, -1 when malformed.
int DecodeChunked(const std::string& data, std::string* body, size_t* used);

// The boundary parameter of a multipart Content-Type value, unquoted; empty when absent.
std::string MultipartBoundary(const std::string& content_type);

// Fields of a multipart/form-data body in order (name, value); false when the body does not
// follow the boundary structure.
bool ParseMultipart(const std::string& body, const std::string& boundary,
                    std::vector<std::pair<std::string, std::string>>* fields);

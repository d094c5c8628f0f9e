// Reading HTTP/1.1 replies: head rules and the body readers, over a ByteSource. Portable.
// Failures throw std::runtime_error with the messages the client reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/byte_source.h"

// The head split at every CR and LF, empty pieces dropped; the first line is the status line.
std::vector<std::string> SplitHeaderLines(const std::string& head);
// The three characters at offset 9 of the status line when it is longer than 11 characters.
std::string StatusOf(const std::vector<std::string>& lines);
// The first line longer than 15 characters beginning with "Content-Length:" (exact case),
// its rest as a decimal number; 0 without such a line.
int64_t ContentLengthOf(const std::vector<std::string>& lines);

// Chunk-size line: -1 without CR LF; 0 when it starts with CR LF; otherwise the hex digits
// before it (a non-hex character counts as 0) as a signed 32-bit value.
int32_t ParseChunkSizeLine(const std::string& line);

// Exactly n bytes; "Server can't send data" when the peer closes first.
std::string ReceiveExact(ByteSource& source, size_t n);
// The head, one byte at a time, up to and including CR LF CR LF or until 4096 bytes.
std::string ReadReplyHead(ByteSource& source);
// One byte at a time until the line ends in CR LF or holds 10 bytes.
std::string ReadChunkLine(ByteSource& source);
// Chunked transfer coding up to the zero chunk (trailers are not read);
// "Read body stream error" for a bad chunk-size line.
std::string ReadChunkedBody(ByteSource& source);

// DNS messages for the fallback resolver: the A query it sends and the reply it reads. Portable.
// Hostile replies (pointer loops, names past 255 bytes, offsets past the end) fail the parse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Length L of the host's label form ("a.bc" -> "\1a\2bc"), not counting the final zero byte.
// Labels are not limited to 63 characters.
size_t DnsLabelLength(const std::string& host);

// The 17 + L byte query for the A records of host. id is written little-endian at offset 0
// (the resolver uses the low 16 bits of its process id, unconverted).
std::vector<uint8_t> BuildDnsQuery(const std::string& host, uint16_t id);

// The id a reply carries, read the way BuildDnsQuery wrote it; false when the reply is shorter
// than 2 bytes.
bool DnsReplyId(const uint8_t* reply, size_t size, uint16_t* id);

// Decodes the name at offset (with compression pointers). consumed receives the bytes the name
// occupies at offset. False for a pointer loop, a read past the end or a name over 255 bytes.
bool DecodeDnsName(const uint8_t* reply, size_t size, size_t offset, std::string* name,
                   size_t* consumed);

// Reads the answers of a reply whose answer section starts at answerOffset (17 + L of the
// query): at most 20 answers (ANCOUNT), collecting the address of each type-1 answer in order
// (network order, as 4 bytes in memory). True when at least one address was found.
bool ParseDnsReply(const uint8_t* reply, size_t size, size_t answerOffset,
                   std::vector<uint32_t>* addresses);

#include "net/tcp_http.h"

#include <cstdint>
#include <stdexcept>

#include "net/http_reply.h"
#include "net/http_request.h"

namespace {

// The connection as a byte source for the reply readers.
class SocketSource : public ByteSource {
 public:
  explicit SocketSource(SOCKET s) : socket_(s) {}
  size_t Read(char* buffer, size_t size) override {
    const int chunk = size > (1u << 30) ? (1 << 30) : static_cast<int>(size);
    const int got = ::recv(socket_, buffer, chunk, 0);
    if (got < 0) throw std::runtime_error("socket recv failed");
    return static_cast<size_t>(got);
  }

 private:
  SOCKET socket_;
};

}  // namespace

CTCPHttp::CTCPHttp(const std::string& host, uint16_t port) { SetTarget(host, port); }

CTCPHttp::~CTCPHttp() = default;

void CTCPHttp::SendAll(const std::string& text) {
  size_t sent = 0;
  while (sent < text.size()) {
    const size_t left = text.size() - sent;
    const int chunk = left > (1u << 30) ? (1 << 30) : static_cast<int>(left);
    const int n = ::send(socket_.get(), text.data() + sent, chunk, 0);
    if (n < 0) throw std::runtime_error("socket send failed");
    if (n == 0) throw std::runtime_error("Server can't recv data");
    sent += static_cast<size_t>(n);
  }
}

HeadReply CTCPHttp::ReadHeaders(int64_t* contentLength) {
  SocketSource source(socket_.get());
  HeadReply reply;
  reply.lines = SplitHeaderLines(ReadReplyHead(source));
  reply.status = StatusOf(reply.lines);
  *contentLength = ContentLengthOf(reply.lines);
  return reply;
}

std::string CTCPHttp::ReadBodyOf(const HeadReply&, int64_t contentLength) {
  SocketSource source(socket_.get());
  if (contentLength > 0) {
    // A length this process could not even address (over 4 GiB in the 32-bit build) is no
    // body it can hold.
    if (static_cast<uint64_t>(contentLength) > SIZE_MAX) throw std::runtime_error("Reply too large");
    return ReceiveExact(source, static_cast<size_t>(contentLength));
  }
  return ReadChunkedBody(source);
}

std::string CTCPHttp::Get(const std::string& hostValue, const std::string& path) {
  Connect();
  SendAll(GetRequestHead(hostValue, path));
  int64_t length = 0;
  const HeadReply head = ReadHeaders(&length);
  if (head.status != "200") return std::string();
  return ReadBodyOf(head, length);
}

HeadReply CTCPHttp::Head(const std::string& hostValue, const std::string& path) {
  Connect();
  SendAll(HeadRequestHead(hostValue, path));
  int64_t length = 0;
  return ReadHeaders(&length);
}

std::string CTCPHttp::PostForm(const std::string& hostValue, const std::string& path,
                               MultipartForm* form) {
  PrepareForm(form);
  Connect();
  SendAll(PostRequestHead(hostValue, path, form->boundary, form->total_length));
  for (std::string part = NextFormPart(form); !part.empty(); part = NextFormPart(form)) {
    SendAll(part);
  }
  int64_t length = 0;
  const HeadReply head = ReadHeaders(&length);
  return ReadBodyOf(head, length);
}

// Forms whose fields come from arbitrary bytes: the concatenated pieces are exactly
// total_length bytes, start with the boundary and end with the closing line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/multipart_form.h"

namespace {

// Pieces between NUL bytes, empty ones kept: names and values alternate.
std::vector<std::string> Pieces(const std::string& text) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\0', start);
    pieces.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return pieces;
    start = end + 1;
  }
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string Body(MultipartForm* form) {
  PrepareForm(form);
  std::string body;
  for (std::string piece = NextFormPart(form); !piece.empty(); piece = NextFormPart(form)) {
    body += piece;
  }
  return body;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> pieces =
      Pieces(std::string(reinterpret_cast<const char*>(data), size));
  MultipartForm form;
  for (size_t i = 0; i + 1 < pieces.size(); i += 2) {
    if (!AddFormField(&form, pieces[i], pieces[i + 1])) std::abort();
  }

  const std::string boundary = kFormBoundary;
  const std::string body = Body(&form);
  if (static_cast<int64_t>(body.size()) != form.total_length) std::abort();
  if (form.position != form.total_length) std::abort();
  if (body.compare(0, boundary.size(), boundary) != 0) std::abort();
  if (!EndsWith(body, boundary + "--\r\n")) std::abort();
  if (AddFormField(&form, "late", "value")) std::abort();
  if (!NextFormPart(&form).empty()) std::abort();

  ResetForm(&form);
  if (Body(&form) != body) std::abort();
  return 0;
}

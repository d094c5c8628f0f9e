#include "net/multipart_form.h"

const char kFormBoundary[] = "-----------------------------7da1f4c300560";

namespace {

const std::string kLineEnd = "\r\n";
const std::string kClosingSuffix = "--\r\n";

}  // namespace

bool AddFormField(MultipartForm* form, const std::string& name, const std::string& value) {
  // The cursor walks the field map, so the map must not change under it.
  if (form->position != -1) return false;
  FormField& field = form->fields[name];
  field.name = name;
  field.value = value;
  field.part_head = "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n";
  return true;
}

void PrepareForm(MultipartForm* form) {
  ResetForm(form);
  form->boundary = kFormBoundary;
  const int64_t boundarySize = static_cast<int64_t>(form->boundary.size());
  int64_t total = 0;
  for (auto& entry : form->fields) {
    FormField& field = entry.second;
    field.length = static_cast<int64_t>(field.value.size());
    total += boundarySize + 2 + static_cast<int64_t>(field.part_head.size()) + field.length + 2;
  }
  total += boundarySize + static_cast<int64_t>(kClosingSuffix.size());
  form->total_length = total;
  form->cursor = form->fields.begin();
  // Counts the body bytes handed out; 0 is also how an empty form knows its closing line is
  // still due.
  form->position = 0;
}

std::string NextFormPart(MultipartForm* form) {
  form->output.clear();
  if (form->position < 0) return std::string();
  if (form->cursor == form->fields.end()) {
    if (form->position == 0) form->output = form->boundary + kClosingSuffix;
  } else {
    const FormField& field = form->cursor->second;
    form->output = form->boundary + kLineEnd + field.part_head + field.value + kLineEnd;
    if (++form->cursor == form->fields.end()) form->output += form->boundary + kClosingSuffix;
  }
  form->position += static_cast<int64_t>(form->output.size());
  return form->output;
}

void ResetForm(MultipartForm* form) {
  form->position = -1;
  std::string().swap(form->output);
}

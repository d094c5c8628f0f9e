// A multipart/form-data body, produced part by part. Portable.
#pragma once

#include <cstdint>
#include <map>
#include <string>

struct FormField {
  std::string name;
  std::string value;
  // "Content-Disposition: form-data; name=\"<name>\"\r\n\r\n"
  std::string part_head;
  int64_t length = 0;  // the value's length, set by PrepareForm
};

struct MultipartForm {
  std::map<std::string, FormField> fields;  // byte-wise ascending names, one field per name
  std::map<std::string, FormField>::iterator cursor;
  int64_t position = -1;  // -1: not prepared
  std::string boundary;
  int64_t total_length = 0;
  std::string output;
};

// The 42-character boundary; Content-Type names it without its first two dashes.
extern const char kFormBoundary[];

// Inserts or replaces a field; refused (false) while the form is prepared.
bool AddFormField(MultipartForm* form, const std::string& name, const std::string& value);
// Computes the boundary and the body's total length and sets the cursor to the first field. A
// form without fields is prepared too: its body is the closing boundary line alone.
void PrepareForm(MultipartForm* form);
// The next piece of the body ("" when done): boundary, CR LF, part head, value, CR LF; the
// last piece also carries the closing boundary + "--" CR LF.
std::string NextFormPart(MultipartForm* form);
// Back to unprepared (position -1, no output).
void ResetForm(MultipartForm* form);

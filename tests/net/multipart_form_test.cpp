#include "net/multipart_form.h"

#include <gtest/gtest.h>

namespace {

const std::string kBoundary = "-----------------------------7da1f4c300560";

std::string Part(const std::string& name, const std::string& value) {
  return kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value +
         "\r\n";
}

// Prepares the form and concatenates every piece up to the first empty one.
std::string Body(MultipartForm* form, size_t* pieces = nullptr) {
  PrepareForm(form);
  std::string body;
  size_t count = 0;
  for (std::string piece = NextFormPart(form); !piece.empty(); piece = NextFormPart(form)) {
    body += piece;
    ++count;
  }
  if (pieces != nullptr) *pieces = count;
  return body;
}

}  // namespace

TEST(MultipartForm, BoundaryIs29DashesAnd13Characters) {
  EXPECT_EQ(std::string(kFormBoundary), kBoundary);
  EXPECT_EQ(kBoundary.size(), 42u);
  EXPECT_EQ(kBoundary.find_first_not_of('-'), 29u);
}

TEST(MultipartForm, PartsInNameOrderWithTheClosingLineOnTheLast) {
  MultipartForm form;
  ASSERT_TRUE(AddFormField(&form, "b", "2"));
  ASSERT_TRUE(AddFormField(&form, "a", "one"));
  ASSERT_TRUE(AddFormField(&form, "B", ""));  // upper case sorts first byte-wise
  size_t pieces = 0;
  const std::string body = Body(&form, &pieces);
  EXPECT_EQ(body, Part("B", "") + Part("a", "one") + Part("b", "2") + kBoundary + "--\r\n");
  EXPECT_EQ(pieces, 3u);
  EXPECT_EQ(form.total_length, static_cast<int64_t>(body.size()));
  EXPECT_EQ(form.position, form.total_length);
  EXPECT_EQ(form.fields.at("a").length, 3);
  EXPECT_EQ(NextFormPart(&form), "");
}

TEST(MultipartForm, SameNameTwiceKeepsOnePartWithTheSecondValue) {
  MultipartForm form;
  AddFormField(&form, "k", "first");
  AddFormField(&form, "k", "second");
  EXPECT_EQ(Body(&form), Part("k", "second") + kBoundary + "--\r\n");
}

TEST(MultipartForm, EmptyFormIsTheClosingLineAlone) {
  MultipartForm form;
  PrepareForm(&form);
  EXPECT_EQ(form.position, 0);
  EXPECT_EQ(form.total_length, 42 + 4);
  EXPECT_EQ(NextFormPart(&form), kBoundary + "--\r\n");
  EXPECT_EQ(NextFormPart(&form), "");
  EXPECT_EQ(NextFormPart(&form), "");
}

TEST(MultipartForm, FieldsAreRefusedWhilePrepared) {
  MultipartForm form;
  AddFormField(&form, "a", "1");
  PrepareForm(&form);
  EXPECT_FALSE(AddFormField(&form, "a", "changed"));
  EXPECT_FALSE(AddFormField(&form, "z", "new"));
  EXPECT_EQ(form.fields.size(), 1u);
  EXPECT_EQ(form.fields.at("a").value, "1");

  ResetForm(&form);
  EXPECT_EQ(form.position, -1);
  EXPECT_EQ(NextFormPart(&form), "");
  EXPECT_TRUE(AddFormField(&form, "z", "new"));
  EXPECT_EQ(Body(&form), Part("a", "1") + Part("z", "new") + kBoundary + "--\r\n");
}

TEST(MultipartForm, PreparingAgainStartsOver) {
  MultipartForm form;
  AddFormField(&form, "x", std::string(1000, 'v'));
  const std::string first = Body(&form);
  const int64_t total = form.total_length;
  EXPECT_EQ(Body(&form), first);
  EXPECT_EQ(form.total_length, total);
}

TEST(MultipartForm, UnpreparedFormHasNoParts) {
  MultipartForm form;
  AddFormField(&form, "a", "1");
  EXPECT_EQ(NextFormPart(&form), "");
}

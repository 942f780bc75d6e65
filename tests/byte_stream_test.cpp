// The ground of every reader: taking bytes up to a stop byte, whatever the
// pieces the input comes in, and line ends of every kind.
#include "base/byte_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

// Words of text, as get_until splits them at blanks, over pieces of n.
std::vector<std::string> words(const std::string& text, std::size_t n) {
  string_source src(text, {n});
  byte_stream in(&src);
  std::vector<std::string> out;
  for (;;) {
    std::string w;
    const int stop = in.get_until(kBlank | kLineEnd, &w);
    if (!w.empty()) out.push_back(w);
    if (stop == byte_stream::kEnd) return out;
    in.skip(1);
  }
}

TEST(byte_stream, get_until_does_not_depend_on_the_pieces) {
  const std::string text = "one two\tthree\r\nfour\rfive\n\nsix";
  const std::vector<std::string> want = {"one",  "two",  "three",
                                         "four", "five", "six"};
  for (std::size_t n : {1, 2, 3, 5, 64}) EXPECT_EQ(words(text, n), want) << n;
}

TEST(byte_stream, get_until_stops_after_max_bytes_and_can_pass_over) {
  string_source src("abcdefgh;rest", {3});
  byte_stream in(&src);
  std::string got;
  EXPECT_EQ(in.get_until(byte_set{';'}, &got, 5), byte_stream::kFull);
  EXPECT_EQ(got, "abcde");
  // Exactly at the stop byte, the stop byte is the answer.
  EXPECT_EQ(in.get_until(byte_set{';'}, &got, 3), ';');
  EXPECT_EQ(got, "abcdefgh");
  in.skip(1);
  EXPECT_EQ(in.get_until(byte_set{';'}, nullptr), byte_stream::kEnd);
  EXPECT_EQ(in.peek(), byte_stream::kEnd);
}

TEST(byte_stream, take_line_end_takes_one_of_each_kind) {
  string_source src("\r\n\r\n\nx", {1});
  byte_stream in(&src);
  int ends = 0;
  while (in.take_line_end()) ++ends;
  EXPECT_EQ(ends, 3);  // "\r\n", "\r", "\n"
  EXPECT_EQ(in.get(), 'x');
}

TEST(stdio_source, read_error_is_not_the_end_of_input) {
  std::FILE* dir = std::fopen(".", "r");
  ASSERT_NE(dir, nullptr);
  stdio_source src(dir);
  byte_stream in(&src);
  EXPECT_THROW(in.peek(), fatal_error);
  std::fclose(dir);
}

}  // namespace

// Lines of the text formats: every kind of line end, across pieces, cut
// lines, and lines taken in pieces.
#include "input/text_lines.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

std::vector<std::string> lines_of(const std::string& text, std::size_t piece,
                                  std::size_t max = line_reader::npos) {
  string_source src(text, {piece});
  line_reader lines(&src);
  std::vector<std::string> got;
  std::string_view line;
  while (lines.next(&line, max))
    got.emplace_back(std::string(line) + (lines.cut() ? "~" : ""));
  return got;
}

TEST(line_reader, every_line_end_across_pieces) {
  const std::string text = "first\r\n\nthird, longer\rfourth\r\rlast";
  const std::vector<std::string> want = {"first",  "", "third, longer",
                                         "fourth", "", "last"};
  for (std::size_t piece : {1, 2, 4, 100})
    EXPECT_EQ(lines_of(text, piece), want) << piece;
}

TEST(line_reader, long_lines_are_cut_and_passed_over) {
  EXPECT_EQ(lines_of("abcdefgh\nxy\n", 3, 4),
            (std::vector<std::string>{"abcd~", "xy"}));
}

TEST(line_reader, a_line_in_pieces) {
  string_source src("  name  ACGT\r\n# skipped line\nnext", {2});
  line_reader lines(&src);
  ASSERT_TRUE(lines.start());
  lines.skip_blanks();
  std::string name, rest;
  EXPECT_EQ(lines.take(kBlankOrEnd, &name), ' ');
  lines.skip_blanks();
  EXPECT_EQ(lines.take(kLineEnd, &rest, 3), byte_stream::kFull);
  EXPECT_EQ(lines.take(kLineEnd, &rest), -1);  // the line's end
  lines.finish();
  EXPECT_EQ(name, "name");
  EXPECT_EQ(rest, "ACGT");
  ASSERT_TRUE(lines.start());
  EXPECT_EQ(lines.peek(), '#');
  lines.finish();
  std::string_view line;
  ASSERT_TRUE(lines.next(&line));
  EXPECT_EQ(line, "next");
  EXPECT_EQ(lines.number(), 3u);
  EXPECT_FALSE(lines.start());
}

}  // namespace

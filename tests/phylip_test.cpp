#include "input/phylip.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(read_phylip, strict_names_with_a_blank_and_digits) {
  // Read relaxed, every name would be "Sample": a reading with names that
  // repeat is no fit, and the strict one is.
  const auto out = read_text(
      "3 8\nSample 1  ACGTACGT\nSample 2  ACGTACGA\nSample 3  ACGTACCC\n");
  EXPECT_EQ(out.aln.names,
            (std::vector<std::string>{"Sample 1", "Sample 2", "Sample 3"}));
}

TEST(read_phylip, names_that_repeat_are_read_with_one_warning) {
  // Strict names of two species cut to the same 10 characters.
  const auto out =
      read_text("3 4\nDrosophilaACGT\nDrosophilaACGA\nDrosophilaACGC\n");
  EXPECT_EQ(out.aln.names, (std::vector<std::string>{"Drosophila", "Drosophila",
                                                     "Drosophila"}));
  EXPECT_EQ(rows_of(out.aln),
            (std::vector<std::string>{"ACGT", "ACGA", "ACGC"}));
  EXPECT_EQ(out.warnings,
            (std::vector<std::string>{
                "Warning: names repeat: records 1 and 2 are both named "
                "\"Drosophila\"; output in the tree formats (-f "
                "phylip-relaxed, phylip-strict, paml, nexus, clustal) or with "
                "--safe-names refuses them"}));
  // Relaxed names too, where no strict reading fits.
  const auto relaxed = read_text("2 4\nSample ACGT\nSample ACGA\n");
  EXPECT_EQ(relaxed.aln.names, (std::vector<std::string>{"Sample", "Sample"}));
  EXPECT_EQ(relaxed.warnings.size(), 1u);
}

TEST(read_phylip, layouts_blank_lines_and_line_ends) {
  const std::string interleaved =
      "2 6\r\n\r\nalpha ACG\r\nbeta  AC-\r\n\r\nTTT\r\nT.T\r\n";
  const auto out = read_text(interleaved, {}, {4});
  EXPECT_EQ(rows_of(out.aln), (std::vector<std::string>{"ACGTTT", "AC-T-T"}));
  EXPECT_EQ(out.warnings.size(), 1u);  // '.' after the first row
  EXPECT_THAT(
      [] { read_text("2 6\nalpha ACG\nbeta  AC-\nTTTT\nTT\n"); },
      ThrowsMessage<fatal_error>(HasSubstr(
          "line 5: record 2 (beta) has 2 columns in this block, but the "
          "block's first record has 4 (a ragged block)")));
}

TEST(read_phylip, messages_name_what_is_wrong) {
  EXPECT_THAT([] { read_text("2 4\nalpha AC*T\nbeta  ACGT\n"); },
              ThrowsMessage<fatal_error>(
                  "Error: in, line 2: sequence \"alpha\" holds '*', which is "
                  "neither a residue (a letter) nor a gap"));
  EXPECT_THAT([] { read_text("1 300000000\na ACGT\n"); },
              ThrowsMessage<fatal_error>(HasSubstr(
                  "ERROR: sequence too long.\nThe PHYLIP header of in "
                  "declares 300000000 columns, more than the limit of 45000")));
  EXPECT_THAT(
      [] { read_text("1 4\na " + std::string(100, 'A') + "\n"); },
      ThrowsMessage<fatal_error>(HasSubstr(
          "in any layout: line 2 holds more than the 4 columns the first "
          "line declares")));
}

}  // namespace

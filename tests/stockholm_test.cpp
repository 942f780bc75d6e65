#include "input/stockholm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(read_stockholm, blocks_markup_and_the_end) {
  const std::string text =
      "# STOCKHOLM 1.0\n#=GF ID test\n" + std::string(100000, '#') +
      "\na AC.g\n#=GR a SS ....\nb ACtg\n\na TT\nb T-\n//\n";
  for (const auto& pieces :
       {std::vector<std::size_t>{}, std::vector<std::size_t>{3}}) {
    const auto out = read_text(text, {}, pieces);
    EXPECT_EQ(rows_of(out.aln), (std::vector<std::string>{"AC-GTT", "ACTGT-"}));
  }
}

TEST(read_stockholm, ragged_blocks_and_shuffled_names_are_refused) {
  // Once read as a-ACGTACGTAC, b-ACGTACACGT: every column after the first
  // block shifted.
  EXPECT_THAT(
      [] {
        read_text(
            "# STOCKHOLM 1.0\na ACGT\nb ACGTAC\n\na ACGTAC\nb ACGT\n//\n");
      },
      ThrowsMessage<fatal_error>(
          "Error: in, line 3: sequence \"b\" has 6 columns in this block, "
          "but the block's first sequence (\"a\") has 4 (a ragged block)"));
  // A name missing from one block and doubled in the next.
  EXPECT_THAT(
      [] {
        read_text(
            "# STOCKHOLM 1.0\na AC\nb AC\n\na AC\n\na AC\nb AC\nb AC\n//\n");
      },
      ThrowsMessage<fatal_error>(HasSubstr("line 6: this block has 1 rows")));
}

TEST(read_stockholm, a_second_alignment_and_a_missing_end) {
  EXPECT_THAT(
      [] {
        read_text("# STOCKHOLM 1.0\na AC\n//\n# STOCKHOLM 1.0\na AC\n//\n");
      },
      ThrowsMessage<fatal_error>(
          HasSubstr("holds more than one Stockholm alignment (the second "
                    "starts at line 4)")));
  EXPECT_THAT([] { read_text("# STOCKHOLM 1.0\na AC\n"); },
              ThrowsMessage<fatal_error>(HasSubstr("has no end line")));
}

}  // namespace

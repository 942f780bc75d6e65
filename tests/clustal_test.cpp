#include "input/clustal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using ::testing::ThrowsMessage;

TEST(read_clustal, rows_count_by_position_and_counts_are_dropped) {
  // MAFFT cuts names to 15 characters: two rows may carry the same name.
  const std::string text =
      "\nCLUSTAL format alignment by MAFFT\n\n"
      "H.sapiens_11.1/ AC-GT 4\nH.sapiens_11.1/ ACCGT 5\n"
      "                ** **\n\n"
      "H.sapiens_11.1/ TT 6\nH.sapiens_11.1/ T- 6\n";
  const auto out = read_text(text, {}, {5});
  EXPECT_EQ(rows_of(out.aln), (std::vector<std::string>{"AC-GTTT", "ACCGTT-"}));
  EXPECT_EQ(out.aln.names[1], "H.sapiens_11.1/");
}

TEST(read_clustal, a_later_block_must_repeat_the_names) {
  EXPECT_THAT(
      [] { read_text("CLUSTAL W\n\na AC\nb AC\n\nb AC\na AC\n"); },
      ThrowsMessage<fatal_error>(
          "Error: in, line 6: row 1 of this block is \"b\", but row 1 of the "
          "first block is \"a\""));
  EXPECT_THAT([] { read_text("CLUSTAL W\n\na AC 12x\n"); },
              ThrowsMessage<fatal_error>(
                  "Error: in, line 3: sequence \"a\" holds '1', which is "
                  "neither a residue (a letter) nor a gap"));
}

}  // namespace

#include "input/psiblast.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

// Blocks that are not well formed do not look like PSI-BLAST: they are
// read here as if they did.
loaded_input read_as_psiblast(const std::string& text) {
  string_source src(text);
  read_context ctx;
  ctx.where = "in";
  ctx.limit = 100;
  return read_psiblast(&src, ctx);
}

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(read_psiblast, insert_columns_in_lower_case_are_residues) {
  const std::string text =
      "seq1  pivd-APLS\nseq2  ----VV-SA\nseq3  ----VLLSA\n\n"
      "seq1  Gk\nseq2  G-\nseq3  Ge\n";
  const auto out = read_text(text, {}, {3});
  EXPECT_EQ(
      rows_of(out.aln),
      (std::vector<std::string>{"PIVD-APLSGK", "----VV-SAG-", "----VLLSAGE"}));
}

TEST(read_psiblast, blocks_are_checked_and_the_column_limit_holds) {
  EXPECT_THAT(
      [] { read_as_psiblast("a  ACGT\nb  ACGT\n\na  AC\nb  ACG\n"); },
      ThrowsMessage<fatal_error>(
          "Error: in, line 5: sequence \"b\" has 3 columns in this block, but "
          "the block's first sequence (\"a\") has 2 (a ragged block)"));
  EXPECT_THAT([] { read_as_psiblast("a  ACGT\nb  ACGT\n\na  AC\n"); },
              ThrowsMessage<fatal_error>(
                  "Error: in, line 4: this block has 1 rows, but the first "
                  "block has 2 (\"b\" is missing)"));
  EXPECT_THAT([] { read_as_psiblast("a  ACGT\nbb  ACGT\n"); },
              ThrowsMessage<fatal_error>(HasSubstr(
                  "line 2: the residues of sequence \"bb\" start in column "
                  "5, but those of the block's first row in column 4")));
  input_options opts;
  opts.max_columns = 5;
  EXPECT_THAT([&] { read_text("a  ACGT\nb  ACGT\n\na  AC\nb  AC\n", opts); },
              ThrowsMessage<fatal_error>(
                  HasSubstr("Record 1 (a) has more than 5 columns")));
}

}  // namespace

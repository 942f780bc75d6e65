#include "input/selex.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "input/detect.h"
#include "test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(read_selex, markup_passed_over_and_blanks_within_rows_are_gaps) {
  const std::string text =
      "#=ID test\n# a comment\n#=RF   xxxx.x\nseq1   AC gt.A\n#=SS   ....>.\n"
      "seq22  ACGTT~A\n\n#=RF   xx\nseq1   TA  \nseq22  TT\n";
  for (const auto& pieces :
       {std::vector<std::size_t>{}, std::vector<std::size_t>{1}}) {
    const auto out = read_text(text, {}, pieces);
    EXPECT_EQ(rows_of(out.aln),
              (std::vector<std::string>{"AC-GT-ATA", "ACGTT-ATT"}));
  }
}

TEST(read_selex, rows_that_do_not_line_up_are_refused) {
  // Read by its columns, "b" would start one column later than "a".
  EXPECT_THAT([] { read_text("#=RF xxxx\na ACGT\nbb ACGT\n"); },
              ThrowsMessage<fatal_error>(
                  "Error: in, line 3: the residues of sequence \"bb\" start in "
                  "column 4, but those of the block's first row in column 3 "
                  "(in SELEX the rows of a block line up: a blank within them "
                  "is a gap)"));
  EXPECT_THAT([] { read_text("#=RF xxxx\na  AC\tGT\nb  ACGT\n"); },
              ThrowsMessage<fatal_error>(HasSubstr(
                  "line 2: sequence \"a\" holds byte 0x09, which is neither")));
  EXPECT_THAT(
      [] { read_text("#=RF xxxx\na  ACGT\nb  ACGT\n\nb  AC\na  AC\n"); },
      ThrowsMessage<fatal_error>(
          HasSubstr("line 5: row 1 of this block is \"b\", but row 1 of the "
                    "first block is \"a\"")));
}

TEST(detect_input, rows_without_a_header_are_selex_or_psiblast) {
  const struct {
    const char* head;
    format fmt;
  } cases[] = {
      {"#=SQ a 1.0\n\na AC\n", format::selex},
      {"# made by hand\na  AC-G\nb  ACTG\n", format::selex},
      {"a  AC.G\nb  ACTG\n", format::selex},
      {"a  AC-G\nb  ACTG\n", format::psiblast},
      {"a  AC-G\nb  ACTG\n\na  AC\nb  A", format::psiblast},  // head cut
      {"a  AC-G\nb  AC", format::psiblast},
      {"plain text\n", format::fasta},
      {"hello world\nfoo   bar\n", format::fasta},  // not lined up
      {"a  AC-G\nb  ACT\n", format::fasta},         // ragged
      {"a  AC-G\nb  AC*G\n", format::fasta},
      {"a  AC G\nb  ACTG\n", format::fasta},
      {"a  AC\nb  AC\n\nb  AC\na  AC\n", format::fasta},  // names out of order
      {"a  AC\nb  AC\n\na  AC\n\n", format::fasta},       // a short block
      {" a  AC\n b  AC\n", format::fasta},
  };
  for (const auto& c : cases)
    EXPECT_EQ(detect_input(c.head).fmt, c.fmt) << c.head;
}

}  // namespace

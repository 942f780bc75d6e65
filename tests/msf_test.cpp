#include "input/msf.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "input/detect.h"
#include "test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

const std::string kHeader =
    "!!NA_MULTIPLE_ALIGNMENT 1.0\n\n  x.msf MSF: 12 Type: N 01/08/19 "
    "CompCheck: 8543 ..\n\n  Name: a oo  Len: 12  Check: 4334 Weight: 1.00\n"
    "  Name: 7  Len: 12  Check: 3818 Weight: 1.00\n\n//\n\n";

TEST(read_msf, header_names_blocks_and_column_numbers) {
  // Residues in groups of ten; column numbers above each block; a record
  // named like a number; the second block without a blank line before it.
  const std::string text = kHeader +
                           "        1        10\n"
                           "a  ACGTAC Gtac\n7  ~~GT.C GTAC\n"
                           "   11 12\na  GT\n7  GT\n";
  for (const auto& pieces :
       {std::vector<std::size_t>{}, std::vector<std::size_t>{1}}) {
    const auto out = read_text(text, {}, pieces);
    EXPECT_EQ(rows_of(out.aln),
              (std::vector<std::string>{"ACGTACGTACGT", "--GT-CGTACGT"}));
    EXPECT_EQ(out.aln.names[1], "7");
  }
  EXPECT_EQ(detect_input(text).fmt, format::msf);
  EXPECT_EQ(
      detect_input("PileUp\n\n   MSF: 628  Type: P  Check: 147  ..\n").fmt,
      format::msf);
  EXPECT_EQ(detect_input(" x.msf  MSF: 9  Type: P  Check: 1 ..\n").fmt,
            format::msf);
  EXPECT_EQ(detect_input(">x.msf MSF: 9 ..\nACGT\n").fmt, format::fasta);
}

TEST(read_msf, rows_must_be_the_headers_and_as_long_as_it_says) {
  const struct {
    std::string body, message;
  } cases[] = {
      {"a ACGTACGTACGT\nb ACGTACGTACGT\n",
       "Error: in, line 11: row 2 of this block is \"b\", but sequence 2 of "
       "the header is \"7\""},
      {"a ACGTACGTACGT\n\n7 ACGTACGTACGT\n",
       "Error: in, line 11: the first block has 1 rows, but the header names "
       "2 sequences (\"7\" is missing)"},
      {"a ACGTACGTAC\n7 ACGTACGTAC\n",
       "Error: in: record 1 (a) has 10 columns, but the header says MSF: 12 "
       "(a file cut short?)"},
      {"a ACGTACGTACGT\n7 ACGTAC*TACGT\n",
       "Error: in, line 11: sequence \"7\" holds '*', which is neither a "
       "residue (a letter) nor a gap"},
      {"a ACGTACGTACGT\n7 ACGTACGTAC\n",
       "Error: in, line 11: sequence \"7\" has 10 columns in this block, but "
       "the block's first sequence (\"a\") has 12 (a ragged block)"},
  };
  for (const auto& c : cases)
    EXPECT_THAT([&] { read_text(kHeader + c.body); },
                ThrowsMessage<fatal_error>(c.message))
        << c.body;
  EXPECT_THAT([] { read_text("PileUp\n\n MSF: 4 Type: N ..\n Name: a\n"); },
              ThrowsMessage<fatal_error>(HasSubstr("has no \"//\" line")));
}

TEST(read_msf, the_column_limit_holds_as_rows_come) {
  input_options opts;
  opts.max_columns = 10;
  EXPECT_THAT([&] { read_text(kHeader + "a ACGTACGTACGT\n", opts); },
              ThrowsMessage<fatal_error>(
                  HasSubstr("Record 1 (a) has more than 10 columns")));
}

}  // namespace

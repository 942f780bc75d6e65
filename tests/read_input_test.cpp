// What every format shares: the checks after reading, and the one warning
// on characters the FASTA reader dropped.
#include "input/read_input.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(read_alignment, dropped_characters_draw_one_warning) {
  auto out = read_text(">a\nACGTNNRY?\n>b\nACGTAC-Y?\n");
  EXPECT_EQ(out.aln.lseq, 8u);
  EXPECT_THAT(out.warnings,
              ElementsAre("Warning: 2 '?' were dropped from the residues; -u "
                          "reads lower case as residues and '.', '?', '~' as "
                          "gaps."));
  out = read_text(">a\nAcgt-cgt*\n>b\nAcgt-cgt\n");
  EXPECT_THAT(out.warnings,
              ElementsAre("Warning: 12 lower-case letters and 1 '*' were "
                          "dropped from the residues; -u reads lower case as "
                          "residues and '.', '?', '~' as gaps."));
  input_options fold;
  fold.fold_case = true;
  out = read_text(">a\nAC?G*\n>b\nac.g\n", fold);
  EXPECT_EQ(rows_of(out.aln), (std::vector<std::string>{"AC-G", "AC-G"}));
  EXPECT_THAT(out.warnings,
              ElementsAre("Warning: 1 '*' was dropped from the residues."));
  // Blanks, digits and line ends say nothing.
  EXPECT_TRUE(read_text(">a\n10 AC GT\r\n>b\n10 ACGT\n").warnings.empty());
}

TEST(read_alignment, max_columns_bounds_every_reader_while_reading) {
  input_options opts;
  opts.max_columns = 100;
  const std::string row(1000, 'A');
  for (const std::string& text :
       {"# STOCKHOLM 1.0\na " + row + "\n//\n", "CLUSTAL\n\na " + row + "\n",
        "#NEXUS\nBEGIN DATA; MATRIX\na " + row + "\n;\nEND;\n"})
    EXPECT_THAT([&] { read_text(text, opts, {64}); },
                ThrowsMessage<fatal_error>(HasSubstr(
                    "ERROR: sequence too long.\nRecord 1 (a) has more than "
                    "100 columns")));
}

}  // namespace

#include "input/nexus.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

std::string nexus(const std::string& dims, const std::string& format,
                  const std::string& matrix) {
  return "#NEXUS\nBEGIN DATA;\n DIMENSIONS " + dims + ";\n FORMAT " + format +
         ";\n MATRIX\n" + matrix + "\n;\nEND;\n";
}

TEST(read_nexus, gap_missing_match_and_quoted_names) {
  const auto out = read_text(
      nexus("NTAX=3 NCHAR=4", "GAP=* MISSING=N MATCHCHAR=.",
            "'Homo sapiens' AC*G\n'it''s'       ..NT\nthird [note] {AG}C-G"));
  EXPECT_EQ(rows_of(out.aln),
            (std::vector<std::string>{"AC-G", "AC-T", "-C-G"}));
  EXPECT_EQ(out.aln.names[0], "Homo sapiens");
  EXPECT_EQ(out.aln.names[1], "it's");
  EXPECT_EQ(out.aln.form(0), name_form::quoted);
  EXPECT_EQ(out.aln.form(2), name_form::plain);
}

TEST(read_nexus, interleaved_blocks_by_name) {
  const std::string matrix = "a AC\nb AG\n\na TT\nb T-";
  const auto out =
      read_text(nexus("NTAX=2 NCHAR=4", "INTERLEAVE", matrix), {}, {3});
  EXPECT_EQ(rows_of(out.aln), (std::vector<std::string>{"ACTT", "AGT-"}));
  EXPECT_THAT(
      [] {
        read_text(
            nexus("NTAX=2 NCHAR=4", "INTERLEAVE", "a AC\nb AGT\na TT\nb T"));
      },
      ThrowsMessage<fatal_error>(HasSubstr("(a ragged block)")));
}

TEST(read_nexus, each_fault_is_an_error_naming_its_line) {
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {nexus("NTAX=1 NCHAR=2", "", std::string("a A\0", 4)),
       "Error: in, line 6: sequence \"a\" holds byte 0x00"},
      {nexus("NTAX=-3 NCHAR=2", "", "a AC"),
       "Error: in, line 3: NTAX=-3 is not a count (a whole number above 0)"},
      {nexus("NTAX=1 NCHAR=0", "", "a AC"),
       "Error: in: taxon 1 (a) has 2 characters, but NCHAR says 0"},
      {nexus("NTAX=1 NCHAR=abc", "", "a AC"),
       "line 3: NCHAR=abc is not a count"},
      {"#NEXUS\nBEGIN DATA;\n MATRIX\n'a AC\n",
       "Error: in, line 4: a quoted "
       "name that starts here is "
       "never closed"},
      {"#NEXUS\n[ open\nBEGIN DATA;",
       "Error: in, line 2: a comment '[' that "
       "starts here is never closed"},
      {"#NEXUS\nBEGIN DATA;\n MATRIX\na AC\n",
       "Error: in, line 3: the MATRIX "
       "that starts here has no ';'"},
      {"#NEXUS\nBEGIN DATA;\n MATRIX\na AC\n;\n",
       "Error: in, line 2: the block that starts here has no END"},
      // Cut short within a command: once read for ever.
      {"#NEXUS\nBEGIN DATA;\nFORMAT GAP=",
       "Error: in has no DATA or CHARACTERS block with a MATRIX"},
      {"#NEXUS\nBEGIN TAXA;\nDIMENSIONS NTAX=2",
       "Error: in has no DATA or CHARACTERS block with a MATRIX"},
      {nexus("NTAX=2 NCHAR=2", "MATCHCHAR=.", "a A.\nb AC"),
       "Error: in, line 6: the first taxon (\"a\") holds the match character "
       "'.'"},
  };
  for (const auto& c : cases)
    EXPECT_THAT([&] { read_text(c.text); },
                ThrowsMessage<fatal_error>(HasSubstr(c.message)))
        << c.message;
}

}  // namespace

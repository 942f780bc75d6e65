// Telling inputs apart from their first bytes, in one table.
#include "input/detect.h"

#include <gtest/gtest.h>

namespace {

TEST(detect_input, compression_from_magic_bytes) {
  EXPECT_EQ(detect_input("\x1f\x8b\x08").comp, compression::gzip);
  EXPECT_EQ(detect_input(std::string_view("\xfd"
                                          "7zXZ\0",
                                          6))
                .comp,
            compression::xz);
  EXPECT_EQ(detect_input("BZh9").comp, compression::bzip2);
  EXPECT_EQ(detect_input("BZhx").comp, compression::none);
  EXPECT_EQ(detect_input("\x28\xb5\x2f\xfd").comp, compression::zstd);
  EXPECT_EQ(detect_input("PK\x03\x04").comp, compression::zip);
}

TEST(detect_input, formats_from_the_first_line_that_is_not_blank) {
  const struct {
    const char* head;
    format fmt;
  } cases[] = {
      {">seq\nACGT", format::fasta},
      {"\n\n# STOCKHOLM 1.0\n", format::stockholm},
      {"\r\nCLUSTAL W (1.83)\n", format::clustal},
      {"MUSCLE (3.8) multiple sequence alignment\n", format::clustal},
      {"#nexus\n", format::nexus},
      {" 3 12\nHomo ACGT\n", format::phylip},
      {"@read\nACGT\n+\nIIII\n", format::refused},
      {"  >a\nAC\n", format::refused},
      {"##maf version=1\n", format::refused},
      {"#FormatVersion Mauve1\n", format::refused},
      {"> 1:1-10 + a.fa\nACGT\n=\n", format::refused},
      {"-3 12\n", format::refused},
      {"plain text\n", format::fasta},  // the FASTA reader says "no header"
  };
  for (const auto& c : cases)
    EXPECT_EQ(detect_input(c.head).fmt, c.fmt) << c.head;
  EXPECT_EQ(detect_input("@read\n").refusal.substr(0, 37),
            "Error: no header in fasta file\nHint: ");
}

TEST(format_table, every_reader_has_a_name_and_every_refusal_a_message) {
  for (const format_entry& row : format_table()) {
    EXPECT_NE(row.detect, nullptr) << row.name;
    EXPECT_NE(row.read == nullptr, row.refusal == nullptr) << row.name;
    EXPECT_EQ(row.read == nullptr, row.fmt == format::refused) << row.name;
  }
}

}  // namespace

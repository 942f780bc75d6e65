#include "core/alphabet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

alphabet of(std::string_view residues) {
  alphabet_tally t;
  t.add(residues);
  return t.guess();
}

// Every column selected.
alphabet of_table(const std::vector<std::string>& rows) {
  const alignment aln = make_table(rows);
  return guess_alphabet(aln, std::vector<unsigned char>(aln.lseq, 1));
}

TEST(alphabet_tally, nucleotides_by_iupac_codes_and_90_percent) {
  EXPECT_EQ(of("ACGTACGTAC"), alphabet::dna);
  // One ambiguity code in a DNA alignment leaves it DNA.
  EXPECT_EQ(of("ACGTACGTAR"), alphabet::dna);
  // 9 of 10 plain letters is enough; 8 of 10 is not.
  EXPECT_EQ(of("ACGTNACGTY"), alphabet::dna);
  EXPECT_EQ(of("ACGTNACGRY"), alphabet::protein);
  // A letter that is no nucleotide code makes it protein.
  EXPECT_EQ(of("ACGTACGTAE"), alphabet::protein);
  EXPECT_EQ(of("MKVLAAGIVG"), alphabet::protein);
}

TEST(alphabet_tally, rna_when_u_and_no_t) {
  EXPECT_EQ(of("ACGUACGUAC"), alphabet::rna);
  EXPECT_EQ(of("ACGUACGTAC"), alphabet::dna);
}

TEST(alphabet_tally, gaps_do_not_count_and_no_letter_is_protein) {
  const std::string gaps(20, static_cast<char>(UNALIGNED));
  EXPECT_EQ(of("ACGTACGTAR" + gaps + "-.?"), alphabet::dna);
  EXPECT_EQ(of(gaps), alphabet::protein);
  EXPECT_EQ(of(""), alphabet::protein);
}

TEST(guess_alphabet, every_row_of_the_selected_columns) {
  EXPECT_EQ(of_table({"ACGT", "ACGR", "AC[T"}), alphabet::dna);
  // The protein letter is in the last row only.
  EXPECT_EQ(of_table({"ACGT", "ACGT", "ACGE"}), alphabet::protein);
  EXPECT_EQ(of_table({"ACGU", "ACGU"}), alphabet::rna);
  // Columns that are not selected are not looked at.
  const alignment aln = make_table({"ACGTE", "ACGTQ"});
  EXPECT_EQ(guess_alphabet(aln, {1, 1, 1, 1, 0}), alphabet::dna);
  EXPECT_EQ(guess_alphabet(aln, {1, 1, 1, 1, 1}), alphabet::protein);
  EXPECT_EQ(guess_alphabet(aln, {0, 0, 0, 0, 0}), alphabet::protein);
}

TEST(written_alphabet, the_alignment_decides_where_the_columns_cannot) {
  // Columns of a DNA alignment are DNA: none of them, gaps alone, or more
  // ambiguity codes than the rule allows.
  const std::string plain = "ACGTACGTACGTACGTACGT";
  const alignment dna =
      make_table({plain + "[RY", plain + "[RN", plain + "[YY"});
  const auto only = [](std::vector<std::size_t> cols) {
    std::vector<unsigned char> mask(23, 0);
    for (const std::size_t c : cols) mask[c] = 1;
    return mask;
  };
  EXPECT_EQ(written_alphabet(dna, only({})), alphabet::dna);
  EXPECT_EQ(written_alphabet(dna, only({20})), alphabet::dna);
  EXPECT_EQ(guess_alphabet(dna, only({21, 22})), alphabet::protein);
  EXPECT_EQ(written_alphabet(dna, only({21, 22})), alphabet::dna);
  // A protein alignment stays protein; an RNA one is RNA.
  const alignment protein = make_table({"MKV[", "MKI["});
  EXPECT_EQ(written_alphabet(protein, {0, 0, 0, 0}), alphabet::protein);
  const alignment rna = make_table({"ACGU", "ACGU"});
  EXPECT_EQ(written_alphabet(rna, {0, 0, 0, 0}), alphabet::rna);
}

}  // namespace

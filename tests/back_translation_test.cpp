// Coding sequences threaded onto a protein alignment: matching by name,
// lengths, stops, the translation check under other codes.
#include "core/back_translation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "input/fasta_seq.h"
#include "test_support.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// A protein alignment as a FASTA file holds it (mode 0: lower case and '*'
// take codons but are no columns), and coding sequences.
struct case_data {
  std::vector<std::string> names, letters;
  std::vector<std::string> cds_names, cds;
  int code = 1;
};

struct outcome {
  std::vector<std::string> rows;
  std::vector<std::string> warnings;
};

outcome thread(const case_data& c) {
  const filter_table columns =
      make_filter_table(fasta_rule(0, static_cast<char>(UNALIGNED)));
  std::vector<std::string> table;
  for (const std::string& l : c.letters) {
    std::string row;
    for (const char ch : l)
      if (columns[static_cast<unsigned char>(ch)] != 0)
        row += static_cast<char>(columns[static_cast<unsigned char>(ch)]);
    table.push_back(row);
  }
  const alignment protein = make_alignment(c.names, table);
  sequence_set cds;
  cds.seqs = make_alignment(c.cds_names, c.cds);
  for (const std::string& s : c.cds) cds.lengths.push_back(s.size());
  cds.where = "cds.fa";
  thread_pool pool(1);
  outcome out;
  const alignment codons = thread_codons(
      protein, {c.letters, columns}, cds, *genetic_code::find(c.code), pool,
      [&](const std::string& w) { out.warnings.push_back(w); });
  out.rows = rows_of(codons);
  return out;
}

TEST(thread_codons, matches_by_name_then_first_word_in_any_order) {
  const outcome out = thread({{"rat gene 1", "mouse"},
                              {"MK-", "M-K"},
                              {"mouse strain B", "rat gene 1", "extra"},
                              {"ATGAAA", "ATGAAG", "TTT"}});
  EXPECT_THAT(out.rows, ElementsAre("ATGAAG---", "ATG---AAA"));
  EXPECT_THAT(out.warnings,
              ElementsAre("Warning: 1 coding sequence of cds.fa belongs to "
                          "no record of the alignment"));
}

TEST(thread_codons, letters_that_are_no_columns_still_take_codons) {
  // 'x' and lower case from an insert-marked file, and 'X' (a gap to the
  // weights) writes its codon; a stop after the protein is left out, and a
  // final '*' takes its own.
  const outcome out = thread({{"a", "b"},
                              {"MkX-", "MaX-*"},
                              {"a", "b"},
                              {"ATGAAAYTGTAA", "ATGGCCTGGTAG"}});
  EXPECT_THAT(out.rows, ElementsAre("ATGYTG---", "ATGTGG---"));
}

TEST(thread_codons, each_fault_names_the_first_record_that_has_it) {
  const struct {
    case_data data;
    const char* message;
  } cases[] = {
      {{{"a"}, {"M"}, {"b"}, {"ATG"}},
       "Error: record 1 (a) has no coding sequence in cds.fa: none has its "
       "name, nor its first word alone"},
      {{{"a x"}, {"M"}, {"a y", "a z"}, {"ATG", "ATG"}},
       "Error: record 1 (a x) matches 2 coding sequences in cds.fa (records 1 "
       "and 2 there)"},
      {{{"a", "b"}, {"MK", "MK"}, {"a", "b"}, {"ATGAAA", "ATGAA"}},
       "Error: CDS of record 2 (b) has 5 nucleotides; its protein has 2 "
       "residues, so 6 (or 9 with a stop codon) were expected."},
      {{{"a"}, {"MK*"}, {"a"}, {"ATGAAATAAGGG"}},  // no stop after a '*'
       "so 9 (or 12 with a stop codon) were expected."},
      {{{"rat"}, {"MLL"}, {"rat"}, {"ATGTGGTGG"}},
       "Error: CDS of record 1 (rat) does not code for its protein: codon 2 "
       "is TGG (W), the protein has L; 2 of 3 codons disagree. Do the files "
       "match? (--genetic-code N selects another code)"},
  };
  for (const auto& c : cases)
    EXPECT_THAT([&] { thread(c.data); },
                ThrowsMessage<fatal_error>(HasSubstr(c.message)))
        << c.message;
  // One codon that disagrees draws no hint of other files or codes.
  EXPECT_THAT(
      [] {
        thread({{"rat"}, {"MLK"}, {"rat"}, {"ATGTGGAAA"}});
      },
      ThrowsMessage<fatal_error>(
          "Error: CDS of record 1 (rat) does not code for its "
          "protein: codon 2 is TGG (W), the protein has L (the only "
          "codon that disagrees)"));
}

TEST(thread_codons, a_start_codon_of_the_table_codes_for_m_first) {
  // GTG and TTG start bacterial genes (table 11), ATT and GTG those of
  // vertebrate mitochondria (table 2).
  case_data bacterial{{"a", "b", "c"},
                      {"MV", "MV", "MV"},
                      {"a", "b", "c"},
                      {"GTGGTG", "TTGGTG", "ATGGTG"},
                      11};
  EXPECT_THAT(thread(bacterial).rows,
              ElementsAre("GTGGTG", "TTGGTG", "ATGGTG"));
  EXPECT_THAT(
      thread({{"a", "b"}, {"MI", "MI"}, {"a", "b"}, {"ATTATC", "GTGATT"}, 2})
          .rows,
      ElementsAre("ATTATC", "GTGATT"));
  // Only as the first codon, and only of the table's starts.
  EXPECT_THAT(
      [] {
        thread({{"a"}, {"MM"}, {"a"}, {"ATGGTG"}, 11});
      },
      ThrowsMessage<fatal_error>(HasSubstr("codon 2 is GTG (V), the protein "
                                           "has M (the only codon that")));
  EXPECT_THAT(
      [] {
        thread({{"a"}, {"MK"}, {"a"}, {"GTGAAA"}, 1});
      },
      ThrowsMessage<fatal_error>(
          "Error: CDS of record 1 (a) does not code for its protein: "
          "codon 1 is GTG (V), the protein has M, and GTG is not a "
          "start codon of table 1 (TTG, CTG, ATG)"));
}

TEST(thread_codons, an_incomplete_last_codon_is_left_out_with_one_warning) {
  // Stops that poly(A) completes: T and TA, also after a whole stop codon.
  const outcome out =
      thread({{"a", "b", "c", "d"},
              {"MK", "MK", "MK", "MK*"},
              {"a", "b", "c", "d"},
              {"ATGAAAT", "ATGAAATA", "ATGAAATAAT", "ATGAAATAGT"},
              2});
  EXPECT_THAT(out.rows, ElementsAre("ATGAAA", "ATGAAA", "ATGAAA", "ATGAAA"));
  EXPECT_THAT(out.warnings,
              ElementsAre("Warning: 4 coding sequences of cds.fa end in an "
                          "incomplete codon (1 or 2 nucleotides after the "
                          "last whole codon), left out"));
  EXPECT_THAT(thread({{"a"}, {"MK"}, {"a"}, {"ATGAAA"}}).warnings,
              ElementsAre());
}

TEST(thread_codons, a_star_takes_a_stop_codon_and_x_any_other) {
  // An internal '*' (a pseudogene's) takes its stop; TRA is TAA or TGA.
  EXPECT_THAT(thread({{"a"}, {"M*X*"}, {"a"}, {"ATGTAGNNNTRA"}}).rows,
              ElementsAre("ATGNNN"));
  const struct {
    case_data data;
    const char* message;
  } cases[] = {
      {{{"a"}, {"MK*"}, {"a"}, {"ATGAAAAAA"}},
       "Error: CDS of record 1 (a) does not code for its protein: codon 3 is "
       "AAA (K), the protein has *, and AAA is not a stop codon of table 1 "
       "(TAA, TAG, TGA)"},
      {{{"a"}, {"MXK"}, {"a"}, {"ATGTGAAAA"}},
       "Error: CDS of record 1 (a) does not code for its protein: codon 2 is "
       "TGA (*), the protein has X: X takes any codon but a stop"},
      // A stop of table 2 under table 1, after the protein.
      {{{"a"}, {"MK"}, {"a"}, {"ATGAAAAGA"}},
       "Error: CDS of record 1 (a) ends in AGA (R) after the codons of its 2 "
       "residues, and AGA is not a stop codon of table 1 (TAA, TAG, TGA)"},
  };
  for (const auto& c : cases)
    EXPECT_THAT([&] { thread(c.data); }, ThrowsMessage<fatal_error>(c.message))
        << c.message;
}

TEST(thread_codons, the_genetic_code_decides_what_codes_for_what) {
  // In the vertebrate mitochondrial code TGA is W and AGA a stop.
  case_data mito{{"a"}, {"MW"}, {"a"}, {"ATGTGAAGA"}};
  EXPECT_THROW(thread(mito), fatal_error);  // the standard code: TGA stops
  mito.code = 2;
  EXPECT_THAT(thread(mito).rows, ElementsAre("ATGTGA"));
  // Ambiguity codes: a reading that fits is enough; B takes D or N.
  EXPECT_THAT(thread({{"a"}, {"BZJ"}, {"a"}, {"RAYSARMTN"}}).rows,
              ElementsAre("RAYSARMTN"));
}

TEST(codon_verdict, each_column_for_its_three) {
  selection s;
  s.is_selected = {1, 0};
  s.n_gt_target = 1;
  const selection c = codon_verdict(s);
  EXPECT_EQ(c.is_selected, (std::vector<unsigned char>{1, 1, 1, 0, 0, 0}));
  EXPECT_EQ(c.n_gt_target, 3);
}

}  // namespace

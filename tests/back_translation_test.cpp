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
                              {"ATGAAAYTGTAA", "ATGGCCTGATAG"}});
  EXPECT_THAT(out.rows, ElementsAre("ATGYTG---", "ATGTGA---"));
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
      {{{"a", "b"}, {"MK", "MK"}, {"a", "b"}, {"ATGAAA", "ATGAAAT"}},
       "Error: CDS of record 2 (b) has 7 nucleotides; its protein has 2 "
       "residues, so 6 (or 9 with a stop codon) were expected."},
      {{{"a"}, {"MK*"}, {"a"}, {"ATGAAATAAGGG"}},  // no stop after a '*'
       "so 9 (or 12 with a stop codon) were expected."},
      {{{"rat"}, {"ML"}, {"rat"}, {"ATGTGG"}},
       "Error: CDS of record 1 (rat) does not code for its protein: codon 2 "
       "is TGG (W), the protein has L. Do the files match? (--genetic-code N "
       "selects another code)"},
  };
  for (const auto& c : cases)
    EXPECT_THAT([&] { thread(c.data); },
                ThrowsMessage<fatal_error>(HasSubstr(c.message)))
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

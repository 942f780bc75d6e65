#include "output/report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string page(const alignment& aln, const selection& sel,
                 const selection* selected = nullptr) {
  const std::vector<double> wt(aln.nseq(), 1.0);
  const std::vector<double> score(aln.lseq, 1.0);
  std::FILE* fp = std::tmpfile();
  {
    output_buffer out(fp, "report");
    write_report(out, {"aln.fa", aln, wt, score, sel, 1.0, 0.85, selected});
    out.flush();
  }
  return written_text(fp);
}

selection all_of(std::size_t lseq) {
  selection sel;
  sel.is_selected.assign(lseq, 1);
  sel.n_gt_target = static_cast<int>(lseq);
  return sel;
}

// The nucleotide colours, which the page adds for DNA and RNA only.
constexpr const char* kNucleotide = ".aln .a{background:#8ee08e}";

TEST(write_report, colours_by_the_alphabet_nexus_would_write) {
  // DNA with one ambiguity code: nucleotide colours, as NEXUS says DNA.
  const alignment dna = make_table({"ACGTACGTAR", "ACGTACGTAC"});
  EXPECT_THAT(page(dna, all_of(10)), HasSubstr(kNucleotide));
  const alignment protein = make_table({"MKVLAAGIVE", "MKVLAAGIVQ"});
  EXPECT_THAT(page(protein, all_of(10)), Not(HasSubstr(kNucleotide)));
  // The kept columns decide, as they do for NEXUS.
  selection sel = all_of(10);
  sel.is_selected[9] = 0;
  sel.n_gt_target = 9;
  EXPECT_THAT(page(make_table({"ACGTACGTAE", "ACGTACGTAC"}), sel),
              HasSubstr(kNucleotide));
}

TEST(write_report, shows_what_the_codon_and_ends_rules_changed) {
  const alignment aln = make_table({"ACGTAC", "ACGTAC"});
  selection selected = all_of(6), kept = all_of(6);
  selected.is_selected = {1, 1, 0, 0, 1, 1};  // the selection's verdict
  kept.is_selected = {1, 0, 1, 1, 1, 1};      // after both rules
  const std::string p = page(aln, kept, &selected);
  EXPECT_THAT(p, HasSubstr("*!++**"));  // the marks over the columns
  EXPECT_THAT(p, HasSubstr("class=\"codon\""));
  EXPECT_THAT(page(aln, kept), Not(HasSubstr("class=\"codon\"")));
}

}  // namespace

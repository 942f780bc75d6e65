// The rules that act on the selection's result: stop codons masked before
// weighting, whole codons, ends only; and the verdicts they leave.
#include "core/trimming.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

std::vector<unsigned char> mask(const std::string& bits) {
  std::vector<unsigned char> m;
  for (const char c : bits) m.push_back(c == '1');
  return m;
}

TEST(keep_whole_codons, a_codon_is_kept_only_whole) {
  std::vector<unsigned char> m = mask(
      "111"
      "110"
      "100"
      "000"
      "011");
  keep_whole_codons(m);
  EXPECT_EQ(m, mask("111"
                    "000"
                    "000"
                    "000"
                    "000"));
}

TEST(drop_ends_only, only_the_runs_at_either_end_stay_dropped) {
  for (const auto& [in, out] : std::vector<std::pair<std::string, std::string>>{
           {"0011010100", "0011111100"},  // both ends
           {"1100110011", "1111111111"},  // neither end: nothing dropped
           {"0000", "0000"},              // all dropped: one run
           {"1", "1"}}) {
    std::vector<unsigned char> m = mask(in);
    drop_ends_only(m);
    EXPECT_EQ(m, mask(out)) << in;
  }
}

TEST(mask_stop_codons, terminal_internal_and_what_is_no_stop) {
  const std::vector<std::string> rows = {
      "ATGTAACCCTGA",  // internal TAA, terminal TGA
      "ATGT[ACCCTAG",  // a gap inside: no stop; terminal TAG
      "ATGUAGCCC[[[",  // U as T, internal: the row ends in gaps after CCC
      "ATGCCCTAA[[[",  // terminal: its last codon that is not all gaps
  };
  for (const auto& [which, terminal, internal] :
       std::vector<std::tuple<stop_mask, std::size_t, std::size_t>>{
           {stop_mask::terminal, 3, 0},
           {stop_mask::internal, 0, 2},
           {stop_mask::all, 3, 2},
           {stop_mask::none, 0, 0}}) {
    alignment aln = make_table(rows);
    const stop_counts n = mask_stop_codons(aln, which);
    EXPECT_EQ(n.terminal, terminal);
    EXPECT_EQ(n.internal, internal);
    if (which == stop_mask::all) {
      EXPECT_EQ(rows_of(aln),
                (std::vector<std::string>{"ATG---CCC---", "ATGT-ACCC---",
                                          "ATG---CCC---", "ATGCCC------"}));
    }
  }
}

TEST(trim, the_selection_stays_and_the_verdict_follows_the_rules) {
  // 60 columns: a gap in one of four rows lowers a column's score, so the
  // selection keeps the gap-free ones.
  std::vector<std::string> rows(4, std::string(60, 'A'));
  for (std::size_t j : {4u, 31u, 32u, 58u}) rows[1][j] = UNALIGNED;
  alignment aln = make_table(rows);
  thread_pool pool(1);
  trim_options opts;
  opts.codon = true;
  std::vector<std::string> warnings;
  const trimming t = trim(aln, opts, pool,
                          [&](const std::string& w) { warnings.push_back(w); });
  EXPECT_EQ(t.sel.n_gt_target, 56);   // the selection's own
  EXPECT_EQ(t.kept.n_gt_target, 51);  // codons 2, 11 and 20 dropped whole
  EXPECT_EQ(t.kept.target_wt, t.sel.target_wt);
  EXPECT_TRUE(t.rules);
  EXPECT_TRUE(warnings.empty());
  opts.ends_only = true;
  alignment again = make_table(rows);
  const trimming e = trim(again, opts, pool, nullptr);
  EXPECT_EQ(e.kept.n_gt_target, 57);  // only the last codon is at an end
}

TEST(trim, codons_need_a_length_of_whole_codons) {
  alignment aln = make_table({std::string(1001, 'A')});
  thread_pool pool(1);
  trim_options opts;
  opts.codon = true;
  EXPECT_THAT([&] { trim(aln, opts, pool, nullptr); },
              ThrowsMessage<fatal_error>(
                  "Error: --codon needs whole codons, but the alignment has "
                  "1001 columns (333 codons and 2 more)."));
}

TEST(complement_of, holds_the_dropped_columns) {
  selection s;
  s.is_selected = mask("0110");
  s.n_gt_target = 2;
  const selection c = complement_of(s);
  EXPECT_EQ(c.is_selected, mask("1001"));
  EXPECT_EQ(c.n_gt_target, 2);
}

}  // namespace

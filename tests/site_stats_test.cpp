#include "core/site_stats.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

TEST(column_stats, variable_and_parsimony_informative_sites) {
  // Columns: constant; two states once each (variable, not informative);
  // two states twice each (informative); N and a gap only (missing); an
  // ambiguity code beside one state (not variable).
  const alignment aln = make_table({"AAA[R", "ACAN[", "AGCNA", "AACN["});
  thread_pool pool(1);
  const site_stats all =
      column_stats(aln, std::vector<unsigned char>(5, 1), alphabet::dna, pool);
  EXPECT_EQ(all.columns, 5u);
  EXPECT_EQ(all.variable, 2u);
  EXPECT_EQ(all.parsimony_informative, 1u);
  EXPECT_DOUBLE_EQ(all.missing_percent, 100.0 * 6 / 20);  // 3 N, 3 gaps
  // G + C of A, C, G, T: 1 G and 3 C of 13.
  EXPECT_DOUBLE_EQ(all.gc_percent, 100.0 * 4 / 13);
  const site_stats some =
      column_stats(aln, {0, 0, 1, 0, 0}, alphabet::dna, pool);
  EXPECT_EQ(some.variable, 1u);
  EXPECT_EQ(some.parsimony_informative, 1u);
  // Protein: X is missing, B, J and Z are no states, N is a residue.
  const alignment p = make_table({"NB", "NZ", "KJ", "K["});
  const site_stats ps = column_stats(p, {1, 1}, alphabet::protein, pool);
  EXPECT_EQ(ps.variable, 1u);
  EXPECT_EQ(ps.parsimony_informative, 1u);
  EXPECT_DOUBLE_EQ(ps.missing_percent, 100.0 / 8);
}

TEST(column_stats, threads_count_the_same) {
  const alignment aln = random_alignment(40, 3000, 5);
  thread_pool one(1), three(3);
  three.set_min_work(0);
  const std::vector<unsigned char> mask(3000, 1);
  const site_stats a = column_stats(aln, mask, alphabet::protein, one);
  const site_stats b = column_stats(aln, mask, alphabet::protein, three);
  EXPECT_EQ(a.variable, b.variable);
  EXPECT_EQ(a.parsimony_informative, b.parsimony_informative);
  EXPECT_EQ(a.missing_percent, b.missing_percent);
}

}  // namespace

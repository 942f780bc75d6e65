#include "core/weights.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

// The phases on the caller's thread only.
thread_pool one_thread(1);

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

std::uint64_t bits(double x) { return std::bit_cast<std::uint64_t>(x); }

TEST(weigh_sequences, worked_examples) {
  // One sequence: every column gives it the whole unit.
  weighting w = weigh_sequences(make_table({"ACD[["}), 0, 1e6, one_thread);
  EXPECT_EQ(w.wt, std::vector<double>{5.0});
  EXPECT_EQ(w.cons, 1.0);
  EXPECT_EQ(w.cst, 1.0);  // pow(1, 0)

  w = weigh_sequences(make_table({"AC", "AC"}), 1.0, 1e6, one_thread);
  EXPECT_EQ(w.wt, (std::vector<double>{1.0, 1.0}));

  // A, A, C: two classes; each A gets (1/2)/2, the C gets 1/2.
  w = weigh_sequences(make_table({"A", "A", "C"}), 1.0, 1e6, one_thread);
  EXPECT_EQ(w.wt, (std::vector<double>{0.25, 0.25, 0.5}));
  EXPECT_EQ(w.cons, 2.0 / 3.0);

  // The gap is a class of its own: A, gap, gap.
  w = weigh_sequences(make_table({"A", "[", "["}), 1.0, 1e6, one_thread);
  EXPECT_EQ(w.wt, (std::vector<double>{0.5, 0.25, 0.25}));
  EXPECT_EQ(w.cons, 2.0 / 3.0);

  // A column of gaps only: one class, each sequence gets 1/nseq.
  w = weigh_sequences(make_table({"[", "[", "[", "["}), 1.0, 1e6, one_thread);
  EXPECT_EQ(w.wt, (std::vector<double>(4, 0.25)));
  EXPECT_EQ(w.cons, 1.0);
}

TEST(weigh_sequences, total_weight_is_the_column_count) {
  const alignment aln = random_alignment(57, 1500, 7);
  const weighting w = weigh_sequences(aln, 1.0, 1e6, one_thread);
  EXPECT_NEAR(w.total_wt, 1500.0, 1e-9);
}

TEST(weigh_sequences, automatic_scale_and_its_cap) {
  // 100 sequences; column j has its top class shared by 40 + 20 * (j % 2)
  // sequences, so cons = 0.5 and cst = 100^0.5 = 10.
  std::vector<std::string> rows(100, std::string(2, 'A'));
  for (int i = 40; i < 100; ++i) rows[i][0] = 'C' + i % 3;
  for (int i = 60; i < 100; ++i) rows[i][1] = 'C' + i % 2;
  const alignment aln = make_table(rows);
  weighting w = weigh_sequences(aln, 0, 1e6, one_thread);
  EXPECT_EQ(w.cons, 0.5);
  EXPECT_EQ(w.cst, 10.0);
  EXPECT_EQ(weigh_sequences(aln, -3, 1e6, one_thread).cst, 10.0);
  EXPECT_EQ(weigh_sequences(aln, 0, 4, one_thread).cst, 4.0);  // capped
  EXPECT_EQ(weigh_sequences(aln, 2.5, 1.0, one_thread).cst,
            2.5);  // given: no cap
}

TEST(weigh_sequences, bit_identical_to_the_column_by_column_method) {
  // Sizes cross the tile widths (512 columns for many rows, up to 4096 for
  // few) and the four-sequence interleave; the last is a wide alignment.
  for (auto [nseq, lseq, seed] : {std::tuple{1u, 3u, 1u},
                                  {3u, 700u, 2u},
                                  {37u, 1300u, 3u},
                                  {203u, 9000u, 4u},
                                  {2101u, 1100u, 5u},
                                  {4u, 150001u, 6u}}) {
    const alignment aln = random_alignment(nseq, lseq, seed);
    const reference_weights ref = reference_weigh(aln, 0, 1e6);
    const std::vector<double> ref_score =
        reference_scores(aln, ref.wt, ref.cst, ref.total_wt);
    // One thread, and pools that split rows and columns unevenly.
    for (unsigned threads : {1u, 2u, 3u, 8u}) {
      thread_pool pool(threads);
      pool.set_min_work(0);  // spread even the smallest alignment
      thread_pool& p = pool;
      const weighting w = weigh_sequences(aln, 0, 1e6, p);
      ASSERT_EQ(w.wt.size(), ref.wt.size());
      for (std::size_t i = 0; i < nseq; ++i)
        ASSERT_EQ(bits(w.wt[i]), bits(ref.wt[i]))
            << "sequence " << i << ", " << threads << " threads";
      EXPECT_EQ(bits(w.cons), bits(ref.cons));
      EXPECT_EQ(bits(w.cst), bits(ref.cst));
      EXPECT_EQ(bits(w.total_wt), bits(ref.total_wt));

      const auto score = column_scores(aln, w.wt, w.cst, w.total_wt, p);
      ASSERT_EQ(score.size(), ref_score.size());
      for (std::size_t j = 0; j < lseq; ++j)
        ASSERT_EQ(bits(score[j]), bits(ref_score[j]))
            << "column " << j << ", " << threads << " threads";
    }
  }
}

TEST(weigh_sequences, counts_beyond_65535_sequences) {
  // Column 0 holds one class in all 70,000 sequences: a 16-bit count would
  // wrap. Column 1 splits them 69,999 to 1.
  std::vector<std::string> rows(70000, "AC");
  rows.back()[1] = 'D';
  const alignment aln = make_table(rows);
  const weighting w = weigh_sequences(aln, 0, 1e6, one_thread);
  const reference_weights ref = reference_weigh(aln, 0, 1e6);
  EXPECT_EQ(bits(w.wt.front()), bits(ref.wt.front()));
  EXPECT_EQ(bits(w.wt.back()), bits(ref.wt.back()));
  EXPECT_EQ(w.wt.back(), 1.0 / 70000 + 0.5);
  EXPECT_EQ(bits(w.cons), bits(ref.cons));
  EXPECT_EQ(bits(w.total_wt), bits(ref.total_wt));
}

TEST(column_scores, sums_weights_in_input_order) {
  // Weights chosen so that the order of addition shows in the last bit:
  // 1 + 2^-53 + 2^-53 is 1 in order, but 1 + 2^-52 when the small ones go
  // first.
  const alignment aln = make_table({"AA", "A[", "A["});
  const std::vector<double> wt = {1.0, 0x1p-53, 0x1p-53};
  const auto score = column_scores(aln, wt, 1.0, 1.0, one_thread);
  EXPECT_EQ(score[0], 1.0);
  EXPECT_EQ(score[1], 1.0);
  const auto reversed =
      column_scores(make_table({"A[", "A[", "AA"}), {0x1p-53, 0x1p-53, 1.0},
                    1.0, 1.0, one_thread);
  EXPECT_EQ(reversed[0], 1.0 + 0x1p-52);  // the same terms, other order
}

TEST(column_scores, scale_multiplies_before_dividing) {
  const alignment aln = make_table({"A", "["});
  const auto score = column_scores(aln, {1.0, 2.0}, 3.0, 10.0, one_thread);
  EXPECT_EQ(bits(score[0]), bits((3.0 * 1.0) / 10.0));
  EXPECT_NE(bits(score[0]), bits(3.0 * (1.0 / 10.0)));
}

std::vector<double> scores(std::initializer_list<std::pair<int, double>> runs) {
  std::vector<double> s;
  for (auto [n, v] : runs) s.insert(s.end(), n, v);
  return s;
}

TEST(select_columns, one_pass_when_40_pass_at_once) {
  const selection sel = select_columns(scores({{100, 1.0}}), 0.85);
  EXPECT_EQ(sel.passes, 1);
  EXPECT_EQ(sel.n_gt_target, 100);
  EXPECT_EQ(sel.target_wt, 0.85);
}

TEST(select_columns, keeps_the_final_pass_only) {
  // 39 pass at 0.85; the second pass, at 0.85 - 0.05, adds the 0.8 ones.
  const selection sel =
      select_columns(scores({{39, 0.9}, {6, 0.8}, {155, 0.1}}), 0.85);
  EXPECT_EQ(sel.passes, 2);
  EXPECT_EQ(sel.n_gt_target, 45);
  EXPECT_EQ(bits(sel.target_wt), bits(0.7999999999999999));
  EXPECT_EQ(sel.is_selected[44], 1);
  EXPECT_EQ(sel.is_selected[45], 0);
}

TEST(select_columns, target_falls_by_repeated_subtraction) {
  // After three subtractions the target is 0.6999999999999998, just below
  // 0.7; 0.85 - 3 * 0.05 would be 0.7 and take one more pass.
  const selection sel =
      select_columns(scores({{39, 0.9}, {1, 0.7}, {60, 0.0}}), 0.85);
  EXPECT_EQ(sel.passes, 4);
  EXPECT_EQ(sel.n_gt_target, 40);
  EXPECT_EQ(bits(sel.target_wt), bits(0.6999999999999998));

  // From 2, twenty subtractions leave 0.9999999999999991: 1.0 then passes.
  const selection high = select_columns(scores({{40, 1.0}}), 2.0);
  EXPECT_EQ(high.passes, 21);
  EXPECT_EQ(bits(high.target_wt), bits(0.9999999999999991));
}

TEST(select_columns, fewer_than_40_columns_end_when_all_pass) {
  const selection sel = select_columns(scores({{10, 0.32}}), 0.85);
  EXPECT_EQ(sel.passes, 12);  // 0.85 - 11 * 0.05 is about 0.30
  EXPECT_EQ(sel.n_gt_target, 10);
  // Columns of gaps only score 0: the pass at about -2e-16 takes them.
  const selection zero = select_columns(scores({{5, 0.5}, {3, 0.0}}), 0.85);
  EXPECT_EQ(zero.passes, 18);
  EXPECT_EQ(zero.n_gt_target, 8);
  EXPECT_LT(zero.target_wt, 0.0);
}

TEST(select_columns, passes_that_cannot_end_are_refused) {
  // 1e15 - 0.05 is 1e15: the target never moves.
  EXPECT_THAT(
      [] {
        select_columns(scores({{50, 1.0}}), 1e15);
      },
      ThrowsMessage<fatal_error>(HasSubstr("Error")));
  // Negative scores far below any reachable target.
  EXPECT_THROW(select_columns(scores({{50, -1e300}}), 0.85), fatal_error);
  // Many passes, but within the bound: about 200,000.
  EXPECT_EQ(select_columns(scores({{50, 1.0}}), 10000.0).n_gt_target, 50);
}

TEST(select_columns, a_score_equal_to_the_target_is_not_above_it) {
  // Gap-free columns score exactly 1.0: with -t 1 the first pass selects
  // none of them, and the second, at 0.95, all.
  const selection sel = select_columns(scores({{40, 1.0}, {10, 0.5}}), 1.0);
  EXPECT_EQ(sel.passes, 2);
  EXPECT_EQ(sel.n_gt_target, 40);
  EXPECT_EQ(bits(sel.target_wt), bits(1.0 - 0.05));
  // The same with fewer than 40 columns, which must all pass.
  const selection few = select_columns(scores({{5, 0.85}}), 0.85);
  EXPECT_EQ(few.passes, 2);
  EXPECT_EQ(few.n_gt_target, 5);
}

TEST(select_columns, mask_holds_one_byte_a_column) {
  const selection sel =
      select_columns(scores({{2, 0.9}, {1, 0.1}, {38, 0.95}}), 0.85);
  ASSERT_EQ(sel.is_selected.size(), 41u);
  EXPECT_EQ(sel.is_selected[0], 1);
  EXPECT_EQ(sel.is_selected[2], 0);
  EXPECT_EQ(sel.is_selected[40], 1);
  EXPECT_EQ(sel.n_gt_target, 40);
}

// The passes as the method describes them: every pass counts the columns
// above the target, and the loop stops at 40 of them or all.
selection plain_passes(const std::vector<double>& score, double target) {
  selection sel;
  for (sel.passes = 1;; ++sel.passes, target -= 0.05) {
    sel.n_gt_target = 0;
    for (const double s : score) sel.n_gt_target += s > target;
    if (sel.n_gt_target > 39 ||
        static_cast<std::size_t>(sel.n_gt_target) >= score.size())
      break;
  }
  sel.target_wt = target;
  for (const double s : score) sel.is_selected.push_back(s > target);
  return sel;
}

TEST(select_columns, same_as_the_plain_passes) {
  // Scores on a few levels, so that ties, scores equal to a target, NaN
  // (never above a target), infinities and signed zeros all occur; NaN
  // only where enough other columns let the passes end.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double levels[] = {1.0, 0.95, 0.9, 0.85, 0.8, 0.5, 0.0, -0.0, inf};
  std::mt19937 gen(11);
  for (int round = 0; round < 400; ++round) {
    const std::size_t lseq = 1 + gen() % 90;
    std::vector<double> score(lseq);
    for (double& s : score) s = levels[gen() % std::size(levels)];
    for (std::size_t j = 0; j + 40 < lseq; ++j)
      if (gen() % 4 == 0) score[j] = nan;
    for (const double target : {0.85, 1.0, 0.9, 2.0}) {
      const selection want = plain_passes(score, target);
      const selection got = select_columns(score, target);
      ASSERT_EQ(got.passes, want.passes) << "round " << round;
      ASSERT_EQ(got.n_gt_target, want.n_gt_target) << "round " << round;
      ASSERT_EQ(bits(got.target_wt), bits(want.target_wt));
      ASSERT_EQ(got.is_selected, want.is_selected) << "round " << round;
    }
  }
}

}  // namespace

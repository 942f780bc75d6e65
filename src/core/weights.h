// Sequence weights, column scores and column selection.
#ifndef COLSIEVE_CORE_WEIGHTS_H
#define COLSIEVE_CORE_WEIGHTS_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/alignment.h"
#include "core/parallel.h"

// Result of the weighting phase.
struct weighting {
  std::vector<double> wt;  // one weight per sequence, in input order
  double cons = 0.0;       // mean share of a column's most common class
  double cst = 0.0;        // scale constant after the automatic rule
  double total_wt = 0.0;   // sum of wt, in order
};

// Henikoff & Henikoff weights with the gap marker as class 26. When cst is 0
// or less it becomes pow(nseq, 1 - cons), capped by maxcst.
// The result is the same to the last bit for every number of threads.
weighting weigh_sequences(const alignment& aln, double cst, double maxcst,
                          thread_pool& pool);

// Score of every column: (cst * sum) / total_wt, where sum adds the weights
// of the sequences that have a residue there, in input order.
std::vector<double> column_scores(const alignment& aln,
                                  const std::vector<double>& wt, double cst,
                                  double total_wt, thread_pool& pool);

// The classes of every column (27 counters a column, the gap class last)
// of rows given one at a time, a batch of rows and a tile of columns at a
// time, so that the counters in use stay in the first-level cache: the
// counting of weigh_sequences, for rows that are counted as they are read.
class column_counter {
 public:
  explicit column_counter(std::size_t lseq);
  // Counts a row of lseq columns, gaps marked.
  void add(const char* row);
  // The counts of every row added.
  std::vector<std::uint32_t> take();

 private:
  void flush();
  std::size_t lseq_;
  std::vector<std::uint32_t> counts_;
  std::size_t batch_;             // rows held before they are counted
  std::unique_ptr<char[]> rows_;  // never touched past what is held
  std::size_t held_ = 0;
};

// Most selection passes before a run is refused.
inline constexpr long MAX_PASSES = 1000000;

// Result of the selection passes.
struct selection {
  // One byte a column: 1 where the final pass selected it, else 0.
  std::vector<unsigned char> is_selected;
  int n_gt_target = 0;     // columns selected by the final pass
  double target_wt = 0.0;  // target of the final pass
  long passes = 0;
};

// Selects the columns that score above target_wt, lowering the target by
// 0.05 after each pass until at least 40 columns, or all, are selected.
// Throws fatal_error if that takes more than MAX_PASSES passes.
selection select_columns(const std::vector<double>& score, double target_wt);

#endif  // COLSIEVE_CORE_WEIGHTS_H

// Weighting, column scores and selection.
//
// Every sum keeps the order of the plain column-by-column method, so results
// are bit-identical to it, whatever the number of threads: a sequence's
// weight adds its shares column by column, a column's sum adds weights
// sequence by sequence, total_wt adds weights in input order. The loops run
// row by row over tiles of columns so that the counters and shares of a tile
// stay in cache. Threads split the weights by sequence (each sequence's sum
// stays on one thread) and the column sums by column; class counts are
// integers, so threads count their own rows and the counts are added up.
#include "core/weights.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <barrier>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <memory>

#include "base/error.h"
#include "base/platform.h"

namespace {

constexpr int kClasses = 27;        // 'A'-'Z' and the gap class
constexpr std::size_t kTile = 512;  // columns per tile, for many sequences
constexpr std::size_t kAhead = 4;   // rows to prefetch ahead

// Adds to each wt[i] the shares of its residues in columns [c0, c0 + width),
// in column order. share holds kClasses entries per column of the tile.
void add_shares(const std::vector<const unsigned char*>& rows,
                std::size_t first, std::size_t nseq, std::size_t c0,
                std::size_t width, const double* share, double* wt) {
  std::size_t i = first;
  // Four sequences at a time: independent sums keep the adder busy.
  for (; i + 4 <= nseq; i += 4) {
    if (i + 4 + kAhead < nseq)
      for (std::size_t a = i + kAhead; a < i + 4 + kAhead; ++a)
        for (std::size_t k = 0; k < width; k += 64)
          __builtin_prefetch(rows[a] + c0 + k);
    const unsigned char* r0 = rows[i] + c0;
    const unsigned char* r1 = rows[i + 1] + c0;
    const unsigned char* r2 = rows[i + 2] + c0;
    const unsigned char* r3 = rows[i + 3] + c0;
    double a0 = wt[i], a1 = wt[i + 1], a2 = wt[i + 2], a3 = wt[i + 3];
    for (std::size_t j = 0; j < width; ++j) {
      const double* s = share + j * kClasses;
      a0 += s[r0[j] - 'A'];
      a1 += s[r1[j] - 'A'];
      a2 += s[r2[j] - 'A'];
      a3 += s[r3[j] - 'A'];
    }
    wt[i] = a0;
    wt[i + 1] = a1;
    wt[i + 2] = a2;
    wt[i + 3] = a3;
  }
  for (; i < nseq; ++i) {
    const unsigned char* r = rows[i] + c0;
    double a = wt[i];
    for (std::size_t j = 0; j < width; ++j)
      a += share[j * kClasses + (r[j] - 'A')];
    wt[i] = a;
  }
}

// Adds the residues of rows [first, nseq) in columns [c0, c0 + width) to
// the class counts of the tile, kClasses counters a column.
template <class Counter>
void count_classes(const unsigned char* const* rows, std::size_t first,
                   std::size_t nseq, std::size_t c0, std::size_t width,
                   Counter* count) {
  for (std::size_t i = first; i < nseq; ++i) {
    const unsigned char* r = rows[i] + c0;
    // Rows lie far apart: fetch a later row's stretch while counting this one.
    if (i + kAhead < nseq)
      for (std::size_t k = 0; k < width; k += 64)
        __builtin_prefetch(rows[i + kAhead] + c0 + k);
    Counter* c = count;
    std::size_t j = 0;
    // Unrolled: four columns, four independent counters.
    for (; j + 4 <= width; j += 4, c += 4 * kClasses) {
      ++c[r[j] - 'A'];
      ++c[kClasses + r[j + 1] - 'A'];
      ++c[2 * kClasses + r[j + 2] - 'A'];
      ++c[3 * kClasses + r[j + 3] - 'A'];
    }
    for (; j < width; ++j, c += kClasses) ++c[r[j] - 'A'];
  }
}

// Rows a thread fetches at once where they are read from their file.
constexpr std::size_t kGroup = 16;

// The tables a weighting works in, kept by the thread that runs it and used
// again by its next weighting (a batch weighs thousands of small
// alignments): they only grow, and are never cleared beyond what a tile
// uses.
struct weigh_tables {
  // Grown, never filled: what a tile reads, it has written first.
  template <class T>
  struct table {
    std::unique_ptr<T[]> data;
    std::size_t size = 0;
  };
  table<double> share, cons;
  table<std::uint16_t> count16;
  table<std::uint32_t> count32;
  template <class T>
  static T* at_least(table<T>& v, std::size_t n) {
    if (v.size < n) {
      v.data.reset(new T[n]);
      v.size = n;
    }
    return v.data.get();
  }
  std::uint16_t* counts(std::size_t n, std::uint16_t*) {
    return at_least(count16, n);
  }
  std::uint32_t* counts(std::size_t n, std::uint32_t*) {
    return at_least(count32, n);
  }
};
thread_local weigh_tables t_tables;

template <class Counter>
weighting weigh(const alignment& aln, double cst, double maxcst,
                thread_pool& pool) {
  const std::size_t nseq = aln.nseq();
  const std::size_t lseq = aln.lseq;
  const std::size_t work = nseq * lseq;
  // The threads meet at barriers: one task a thread, all at once.
  const std::size_t threads = std::max<std::size_t>(
      1, std::min<std::size_t>(pool.threads_for(work), nseq));
  // Classes counted when the rows were first read need no counting here.
  const bool counted = !aln.class_counts.empty();

  weighting w;
  w.wt.assign(nseq, 0.0);
  // Each thread's counts of its own rows, then the tile's shares and the
  // conservation of each of its columns. Wider tiles when each thread has
  // few rows, so that the threads meet at the tile's barriers less often
  // (wide alignments); as wide as the shares stay in cache where the
  // classes were counted already.
  const std::size_t rows_each = std::max<std::size_t>(1, nseq / threads);
  const std::size_t tile = std::max<std::size_t>(
      1,
      std::min(lseq, counted ? 8 * kTile
                             : std::clamp<std::size_t>(kTile * 2048 / rows_each,
                                                       kTile, 8 * kTile)));
  Counter* const count = counted
                             ? nullptr
                             : t_tables.counts(threads * tile * kClasses,
                                               static_cast<Counter*>(nullptr));
  double* const share = weigh_tables::at_least(t_tables.share, tile * kClasses);
  double* const column_cons = weigh_tables::at_least(t_tables.cons, tile);
  double cons = 0.0;
  long lalign = 0;
  std::barrier sync(static_cast<std::ptrdiff_t>(threads));
  // A read that fails (a file changed under the run) must not leave the
  // other threads waiting at a barrier: the failing thread keeps meeting
  // them, and every thread stops working, until the end.
  std::vector<std::exception_ptr> errors(threads);
  std::atomic<bool> failed{false};
  // Each thread's rows of a tile, a group at a time: pointers into the
  // table (all of its rows at once), or rows read into its buffer (made
  // here, so that no thread fails before it meets the others).
  const std::size_t group = aln.in_memory() ? rows_each + 1 : kGroup;
  std::vector<std::unique_ptr<char[]>> bufs(threads);
  std::vector<std::vector<const unsigned char*>> pointers(threads);
  for (std::size_t t = 0; t < threads; ++t) {
    bufs[t].reset(new char[aln.in_memory() ? 0 : group * tile]);
    pointers[t].resize(group);
  }

  const auto thread = [&](std::size_t t) {
    const std::size_t r0 = piece_begin(nseq, threads, t);
    const std::size_t r1 = piece_begin(nseq, threads, t + 1);
    Counter* mine = counted ? nullptr : &count[t * tile * kClasses];
    char* buf = bufs[t].get();
    std::vector<const unsigned char*>& rows = pointers[t];
    const auto each_group = [&](std::size_t c0, std::size_t width,
                                const auto& use) {
      try {
        for (std::size_t g = r0; g < r1 && !failed.load(); g += group) {
          const std::size_t n = std::min(group, r1 - g);
          aln.segments(g, g + n, c0, c0 + width, buf, tile,
                       reinterpret_cast<const char**>(rows.data()));
          use(g, n);
        }
      } catch (...) {
        errors[t] = std::current_exception();
        failed.store(true);
      }
    };
    for (std::size_t c0 = 0; c0 < lseq; c0 += tile) {
      const std::size_t width = std::min(tile, lseq - c0);
      if (!counted) {
        std::fill_n(mine, width * kClasses, Counter{0});
        each_group(c0, width, [&](std::size_t, std::size_t n) {
          count_classes(rows.data(), 0, n, 0, width, mine);
        });
        if (threads > 1) sync.arrive_and_wait();
      }
      // Each thread turns a piece of the tile's columns into shares.
      const std::size_t j1 = piece_begin(width, threads, t + 1);
      for (std::size_t j = piece_begin(width, threads, t); j < j1; ++j) {
        std::uint32_t cnt[kClasses];
        if (counted) {
          std::copy_n(&aln.class_counts[(c0 + j) * kClasses], kClasses, cnt);
        } else {
          const Counter* c = &count[j * kClasses];
          for (int k = 0; k < kClasses; ++k) cnt[k] = c[k];
          for (std::size_t u = 1; u < threads; ++u) {
            c = &count[(u * tile + j) * kClasses];
            for (int k = 0; k < kClasses; ++k) cnt[k] += c[k];
          }
        }
        // The classes that occur, as bits: most columns hold a few of the
        // 27, and only those are ever read.
        std::uint32_t present = 0, high = 0;
        for (int k = 0; k < kClasses; ++k) {
          present |= static_cast<std::uint32_t>(cnt[k] > 0) << k;
          high = std::max(high, cnt[k]);
        }
        // Each sequence of a class gets (1 / total) / count, in that order.
        const double per_class = 1.0 / std::popcount(present);
        double* s = &share[j * kClasses];
        for (std::uint32_t m = present; m != 0; m &= m - 1) {
          const int k = std::countr_zero(m);
          s[k] = per_class / static_cast<double>(cnt[k]);
        }
        // Every sequence takes a share, so nalignedseq is nseq.
        column_cons[j] = static_cast<double>(high) / static_cast<double>(nseq);
      }
      if (threads > 1) sync.arrive_and_wait();
      if (t == 0) {
        for (std::size_t j = 0; j < width; ++j) cons += column_cons[j];
        lalign += static_cast<long>(width);
      }
      each_group(c0, width, [&](std::size_t g, std::size_t n) {
        add_shares(rows, 0, n, 0, width, share, w.wt.data() + g);
      });
      // The next tile's shares replace these once every thread is done
      // with them (where the threads count, they meet after counting).
      if (counted && threads > 1) sync.arrive_and_wait();
    }
  };
  if (nseq > 0) pool.run(threads, work, thread);
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
  // The rows read were those the first pass read.
  aln.check_unchanged();

  w.cons = cons / static_cast<double>(lalign);
  if (cst <= 0) {
    cst = std::pow(static_cast<double>(nseq), 1.0 - w.cons);
    if (cst > maxcst) cst = maxcst;
  }
  w.cst = cst;
  for (double x : w.wt) w.total_wt += x;
  return w;
}

// Adds w to sum[j] for every column j where row r has a residue. Adding
// +0.0 for a gap leaves a sum of +0.0 or more unchanged, so this equals
// skipping gapped sequences, and it vectorises; wider vectors where the
// processor has them (COLSIEVE_CLONES).
COLSIEVE_CLONES void add_aligned(const unsigned char* __restrict r, double w,
                                 double* __restrict sum, std::size_t n) {
  for (std::size_t j = 0; j < n; ++j) sum[j] += r[j] != UNALIGNED ? w : 0.0;
}

}  // namespace

weighting weigh_sequences(const alignment& aln, double cst, double maxcst,
                          thread_pool& pool) {
  // Narrow counters keep a tile's counts in the first-level cache.
  if (aln.nseq() <= UINT16_MAX)
    return weigh<std::uint16_t>(aln, cst, maxcst, pool);
  return weigh<std::uint32_t>(aln, cst, maxcst, pool);
}

std::vector<double> column_scores(const alignment& aln,
                                  const std::vector<double>& wt, double cst,
                                  double total_wt, thread_pool& pool) {
  const std::size_t lseq = aln.lseq;
  std::vector<double> sum(lseq, 0.0);
  // Each thread sums a range of columns over all sequences, in order.
  const auto columns = [&](std::size_t c0, std::size_t c1) {
    const std::unique_ptr<char[]> buf(new char[c1 - c0]);
    for (std::size_t i = 0; i < aln.nseq(); ++i)
      add_aligned(reinterpret_cast<const unsigned char*>(
                      aln.segment(i, c0, c1, buf.get())),
                  wt[i], sum.data() + c0, c1 - c0);
    for (std::size_t j = c0; j < c1; ++j) sum[j] = (cst * sum[j]) / total_wt;
  };
  pool.for_ranges(lseq, aln.nseq() * lseq, columns);
  aln.check_unchanged();
  return sum;
}

selection select_columns(const std::vector<double>& score, double target_wt) {
  const std::size_t lseq = score.size();
  selection sel;

  // A pass stops the loop when it selects 40 columns, or all of them: when
  // the k-th highest score is above the target, k = min(40, lseq). Passes
  // then cost one comparison each. A score that is not a number is never
  // above a target, so it ranks lowest. The k highest are kept in a small
  // heap whose top is the lowest of them, so no copy of the scores is made.
  constexpr std::size_t kMost = 40;
  const std::size_t k = std::min(kMost, lseq);
  double kth = std::numeric_limits<double>::infinity();
  if (k > 0) {
    std::array<double, kMost> top{};
    const auto lower = std::greater<double>();  // top[0] is the lowest
    std::size_t n = 0;
    for (const double s : score) {
      const double v =
          std::isnan(s) ? -std::numeric_limits<double>::infinity() : s;
      if (n < k) {
        top[n++] = v;
        std::push_heap(top.begin(), top.begin() + n, lower);
      } else if (v > top[0]) {
        std::pop_heap(top.begin(), top.begin() + n, lower);
        top[n - 1] = v;
        std::push_heap(top.begin(), top.begin() + n, lower);
      }
    }
    kth = top[0];
  }

  double target = target_wt;
  long passes = 1;
  for (; !(k == 0 || kth > target); ++passes) {
    if (passes == MAX_PASSES)
      throw fatal_error("Error: column selection did not end within " +
                        std::to_string(MAX_PASSES) +
                        " passes (check the -t, -c and -m values)");
    target -= 0.05;
  }

  sel.is_selected.resize(lseq);
  for (std::size_t j = 0; j < lseq; ++j) {
    const bool on = score[j] > target;
    sel.is_selected[j] = on;
    sel.n_gt_target += on;
  }
  sel.target_wt = target;
  sel.passes = passes;
  return sel;
}

column_counter::column_counter(std::size_t lseq)
    : lseq_(lseq),
      counts_(lseq * 27, 0),
      batch_(std::clamp<std::size_t>(
          (std::size_t{12} << 20) / std::max<std::size_t>(1, lseq), 1, 65535)),
      rows_(new char[batch_ * lseq]) {}

void column_counter::add(const char* row) {
  if (lseq_ == 0) return;  // no columns to count, and no room for a row
  std::memcpy(rows_.get() + held_ * lseq_, row, lseq_);
  if (++held_ == batch_) flush();
}

void column_counter::flush() {
  std::array<std::uint16_t, kTile * kClasses> tile;  // batch_ < 65536 rows
  std::vector<const unsigned char*> rows(held_);
  for (std::size_t i = 0; i < held_; ++i)
    rows[i] = reinterpret_cast<const unsigned char*>(rows_.get() + i * lseq_);
  for (std::size_t c0 = 0; c0 < lseq_; c0 += kTile) {
    const std::size_t width = std::min(kTile, lseq_ - c0);
    std::fill_n(tile.begin(), width * kClasses, std::uint16_t{0});
    count_classes(rows.data(), 0, held_, c0, width, tile.data());
    std::uint32_t* c = counts_.data() + c0 * kClasses;
    for (std::size_t k = 0; k < width * kClasses; ++k) c[k] += tile[k];
  }
  held_ = 0;
}

std::vector<std::uint32_t> column_counter::take() {
  flush();
  rows_.reset();
  return std::move(counts_);
}

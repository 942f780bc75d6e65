// libFuzzer target: a whole run in memory. The first two bytes choose the
// settings and the thread count; the rest is the input, in whatever format
// it looks like. The input is read once with one thread and once with
// several (a plain file is then split into pieces however small): both give
// the same table or the same error. Weights and scores are checked bit for
// bit against the plain column-by-column method and across thread counts,
// the selection against its stopping rule, the written alignment across
// thread counts, and the side files' content for its bounds.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/weights.h"
#include "input/read_input.h"
#include "output/column_map.h"
#include "output/report.h"
#include "output/writer.h"

namespace {

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void check_weights(const alignment& aln, const weighting& w, double cst,
                   double maxcst) {
  const std::size_t nseq = aln.nseq(), lseq = aln.lseq;
  std::vector<double> wt(nseq, 0.0);
  double cons = 0;
  for (std::size_t j = 0; j < lseq; ++j) {
    int count[27] = {};
    for (std::size_t i = 0; i < nseq; ++i) ++count[aln.row(i)[j] - 'A'];
    int total = 0, high = 0;
    for (int c : count) {
      total += c > 0;
      high = c > high ? c : high;
    }
    for (std::size_t i = 0; i < nseq; ++i)
      wt[i] += (1.0 / total) / count[aln.row(i)[j] - 'A'];
    cons += static_cast<double>(high) / static_cast<double>(nseq);
  }
  cons /= static_cast<double>(lseq);
  if (cst <= 0) {
    cst = std::pow(static_cast<double>(nseq), 1.0 - cons);
    if (cst > maxcst) cst = maxcst;
  }
  for (std::size_t i = 0; i < nseq; ++i)
    if (!same(wt[i], w.wt[i])) std::abort();
  if (!same(cons, w.cons) || !same(cst, w.cst)) std::abort();
}

// The alignment or the error message, read with a pool of `threads`.
struct read_result {
  bool ok = false;
  alignment aln;
  std::string error;
};

read_result read_with(int fd, unsigned threads, const input_options& opts) {
  read_result r;
  thread_pool pool(threads);
  pool.set_min_work(0);  // split even the smallest file
  try {
    r.aln = read_alignment(fd, "fuzz", opts, pool, [](const std::string&) {});
    r.ok = true;
  } catch (const fatal_error& e) {
    r.error = e.what();
  }
  return r;
}

std::string written(const alignment& aln, const selection& sel, int remove_cols,
                    int phylip, thread_pool& pool) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* fp = open_memstream(&text, &size);
  {
    output_buffer ob(fp, "memory");
    const trimmed_writer writer(sel.is_selected, remove_cols, phylip);
    write_records(ob, aln, writer, pool);
    ob.flush();
  }
  std::fclose(fp);
  std::string s(text, size);
  std::free(text);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 3) return 0;
  const unsigned opts = data[0];
  const unsigned threads = 2 + data[1] % 3;
  static const double kTargets[] = {0.85, 0.0, 2.0, -1.7e308};
  static const double kScales[] = {1.0, 0.0, 1.7e308, 2.5};
  static const double kCaps[] = {1000000.0, 1.5, -1.0, -1e300};
  const int remove_cols = opts & 1, phylip = (opts >> 1) & 1,
            henikoff = (opts >> 2) & 1;
  const double target = kTargets[(opts >> 3) & 3];
  const double cst = kScales[(opts >> 5) & 3];
  const double maxcst = kCaps[(opts >> 6) & 3];
  input_options in_opts;
  in_opts.fold_case = (data[1] >> 4) & 1;
  in_opts.max_columns = (data[1] >> 5) & 1 ? 64 : 45000;

  const int fd = memfd_create("fuzz", 0);
  if (fd < 0 || write(fd, data + 2, size - 2) != static_cast<ssize_t>(size - 2))
    std::abort();
  lseek(fd, 0, SEEK_SET);
  const read_result one = read_with(fd, 1, in_opts);
  lseek(fd, 0, SEEK_SET);
  const read_result many = read_with(fd, threads, in_opts);
  close(fd);
  if (one.ok != many.ok || one.error != many.error) std::abort();
  if (!one.ok) return 0;
  const alignment& aln = one.aln;
  if (aln.names != many.aln.names || aln.lseq != many.aln.lseq) std::abort();
  for (std::size_t i = 0; i < aln.nseq(); ++i)
    if (aln.row_view(i) != many.aln.row_view(i)) std::abort();

  try {
    thread_pool pool(threads), serial(1);
    pool.set_min_work(0);  // spread even the smallest alignment
    const weighting w = weigh_sequences(aln, cst, maxcst, serial);
    const weighting wp = weigh_sequences(aln, cst, maxcst, pool);
    for (std::size_t i = 0; i < aln.nseq(); ++i)
      if (!same(w.wt[i], wp.wt[i])) std::abort();
    if (!same(w.total_wt, wp.total_wt) || !same(w.cons, wp.cons)) std::abort();
    if (aln.nseq() * aln.lseq <= 20000) check_weights(aln, w, cst, maxcst);
    const double scale = henikoff ? 1.0 : w.cst;
    const std::vector<double> score =
        column_scores(aln, w.wt, scale, w.total_wt, serial);
    const std::vector<double> score_p =
        column_scores(aln, w.wt, scale, w.total_wt, pool);
    for (std::size_t j = 0; j < aln.lseq; ++j)
      if (!same(score[j], score_p[j])) std::abort();
    const selection sel = select_columns(score, target);
    // The final pass stops the loop; the one before it did not.
    const std::size_t need = aln.lseq < 40 ? aln.lseq : 40;
    if (static_cast<std::size_t>(sel.n_gt_target) < need) std::abort();
    if (written(aln, sel, remove_cols, phylip, serial) !=
        written(aln, sel, remove_cols, phylip, pool))
      std::abort();

    // The side files' content: the report is bounded and every number in
    // it is finite.
    char* page = nullptr;
    std::size_t page_size = 0;
    std::FILE* page_fp = open_memstream(&page, &page_size);
    {
      output_buffer ob(page_fp, "report");
      write_report(ob, {"fuzz", aln, w.wt, score, sel, w.cst, target});
      ob.flush();
    }
    std::fclose(page_fp);
    const std::string text(page, page_size);
    std::free(page);
    if (text.size() > REPORT_MAX_BYTES) std::abort();
    for (const char* bad : {"=\"nan", "=\"-nan", "=\"inf", "=\"-inf"})
      if (text.find(bad) != std::string::npos) std::abort();
    // A destination that fills up part-way reports it, naming itself.
    char small[16];  // less than the map's header line
    std::FILE* full = fmemopen(small, sizeof small, "w");
    bool refused = false;
    try {
      output_buffer ob(full, "column map full.tsv", 16);
      write_column_map(ob, score, sel);
      ob.flush();
    } catch (const fatal_error& e) {
      refused = std::string(e.what()).find("full.tsv") != std::string::npos;
    }
    std::fclose(full);
    if (!refused) std::abort();
  } catch (const fatal_error&) {  // selection that cannot end
  }
  return 0;
}

// libFuzzer target: the input layer every way the tool reads, and the run's
// phases in memory. Four bytes choose the settings; the rest is the input,
// in whatever format it looks like.
//
//   byte 0: -r, -p, -H, the target, the scale and its cap
//   byte 1: threads (2 to 4), -u, a small column limit, gzip or not
//   byte 2: the pieces the input is handed out in (see pieces_of)
//   byte 3: the gzip framing: optional header fields, members, field size,
//           compression level
//
// The input is read from a file with one thread and with several (a plain
// file is then split into pieces however small), through a pipe, from
// memory in the pieces byte 2 chooses, and, when byte 1 says so, as gzip
// of one or more members read in those pieces: every reading gives the same
// table, or the same error. Weights and scores are checked bit for bit
// against the plain column-by-column model and across thread counts, the
// selection against its stopping rule, the written alignment across thread
// counts, and the side files' content for its bounds.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/weights.h"
#include "fuzz_support.h"
#include "input/detect.h"
#include "input/read_input.h"
#include "output/column_map.h"
#include "output/report.h"
#include "output/writer.h"

namespace {

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void check_weights(const alignment& aln, const weighting& w, double cst,
                   double maxcst, double scale,
                   const std::vector<double>& score) {
  const reference_weights ref = reference_weigh(aln, cst, maxcst);
  for (std::size_t i = 0; i < aln.nseq(); ++i)
    if (!same(ref.wt[i], w.wt[i])) fault("weight " + std::to_string(i));
  if (!same(ref.cons, w.cons) || !same(ref.cst, w.cst) ||
      !same(ref.total_wt, w.total_wt))
    fault("conservation, scale or total weight");
  const std::vector<double> ref_score =
      reference_scores(aln, ref.wt, scale, ref.total_wt);
  for (std::size_t j = 0; j < aln.lseq; ++j)
    if (!same(ref_score[j], score[j])) fault("score " + std::to_string(j));
}

// The input through a pipe, as standard input would give it; only for
// input that fits the pipe's buffer, written whole before reading.
bool read_pipe(const std::string& text, const input_options& opts,
               read_result* out) {
  if (text.size() > 60000) return false;
  int p[2];
  if (pipe2(p, O_CLOEXEC) != 0) fault("pipe");
  if (fcntl(p[1], F_GETPIPE_SZ) < static_cast<int>(text.size()) ||
      write(p[1], text.data(), text.size()) !=
          static_cast<ssize_t>(text.size())) {
    close(p[0]);
    close(p[1]);
    return false;
  }
  close(p[1]);
  *out = read_input(p[0], nullptr, opts, 1);
  close(p[0]);
  return true;
}

void agree(const read_result& want, const read_result& got, const char* how) {
  const std::string why = outcome_difference(want, got);
  if (!why.empty()) fault(std::string(how) + ": " + why);
}

std::string written(const alignment& aln, const selection& sel, int remove_cols,
                    int phylip, thread_pool& pool) {
  capped_file mem;
  {
    output_buffer ob(mem.fp(), "memory");
    const trimmed_writer writer(sel.is_selected, remove_cols, phylip);
    write_records(ob, aln, writer, pool);
    ob.flush();
  }
  mem.close();
  return mem.text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 5) return 0;
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
  const bool gzip = (data[1] >> 6) != 0;
  const std::vector<std::size_t> pieces = pieces_of(data[2]);
  const std::string text(reinterpret_cast<const char*>(data) + 4, size - 4);

  // Every way of reading it gives what one thread reading the file gives.
  const int fd = memory_fd(text);
  const read_result one = read_input(fd, nullptr, in_opts, 1);
  lseek(fd, 0, SEEK_SET);
  agree(one, read_input(fd, nullptr, in_opts, threads), "threads");
  close(fd);
  agree(one, read_pieces(text, pieces, in_opts), "pieces");
  read_result piped;
  if (read_pipe(text, in_opts, &piped)) agree(one, piped, "pipe");
  if (gzip) {
    const unsigned frame = data[3];
    // Fields of 0 to 7 bytes; with bit 7, of 300, or past 64 KiB with bit
    // 0 as well.
    const std::size_t field = (frame & 0x80) == 0 ? frame & 7
                              : (frame & 1) != 0  ? 70000
                                                  : 300;
    const std::string gz = gzip_of(text, 1 + ((frame >> 5) & 3), frame & 0x1e,
                                   field, frame & 1 ? 1 : 6);
    const read_result unzipped = read_pieces(gz, pieces, in_opts);
    // Input that is compressed itself is refused inside gzip as binary.
    if (detect_compression(text) == compression::none)
      agree(one, unzipped, "gzip");
    else if (unzipped.ok)
      fault("compressed data inside gzip was read");
  }
  if (!one.ok) return 0;
  const alignment& aln = one.aln;

  try {
    thread_pool pool(threads), serial(1);
    pool.set_min_work(0);  // spread even the smallest alignment
    const weighting w = weigh_sequences(aln, cst, maxcst, serial);
    const weighting wp = weigh_sequences(aln, cst, maxcst, pool);
    for (std::size_t i = 0; i < aln.nseq(); ++i)
      if (!same(w.wt[i], wp.wt[i])) fault("weights across threads");
    if (!same(w.total_wt, wp.total_wt) || !same(w.cons, wp.cons))
      fault("total weight or conservation across threads");
    const double scale = henikoff ? 1.0 : w.cst;
    const std::vector<double> score =
        column_scores(aln, w.wt, scale, w.total_wt, serial);
    const std::vector<double> score_p =
        column_scores(aln, w.wt, scale, w.total_wt, pool);
    for (std::size_t j = 0; j < aln.lseq; ++j)
      if (!same(score[j], score_p[j])) fault("scores across threads");
    if (aln.nseq() * aln.lseq <= 20000)
      check_weights(aln, w, cst, maxcst, scale, score);
    const selection sel = select_columns(score, target);
    // The final pass stops the loop; the one before it did not.
    const std::size_t need = aln.lseq < 40 ? aln.lseq : 40;
    if (static_cast<std::size_t>(sel.n_gt_target) < need)
      fault("selection stopped early");
    if (written(aln, sel, remove_cols, phylip, serial) !=
        written(aln, sel, remove_cols, phylip, pool))
      fault("written alignment across threads");

    // The side files' content: the report is bounded and every number in
    // it is finite.
    capped_file page;
    {
      output_buffer ob(page.fp(), "report");
      write_report(ob, {"fuzz", aln, w.wt, score, sel, w.cst, target});
      ob.flush();
    }
    page.close();
    const std::string& html = page.text();
    if (html.size() > REPORT_MAX_BYTES) fault("report too large");
    for (const char* bad : {"=\"nan", "=\"-nan", "=\"inf", "=\"-inf"})
      if (html.find(bad) != std::string::npos) fault("report number");
    // A destination that fills up part-way reports it, naming itself.
    capped_file full(16);  // less than the map's header line
    bool refused = false;
    try {
      output_buffer ob(full.fp(), "column map full.tsv", 16);
      write_column_map(ob, score, sel);
      ob.flush();
    } catch (const fatal_error& e) {
      refused = std::string(e.what()).find("full.tsv") != std::string::npos;
    }
    if (!refused) fault("full column map not refused");
  } catch (const fatal_error&) {  // selection that cannot end
  }
  return 0;
}

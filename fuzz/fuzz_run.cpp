// libFuzzer target: the input layer every way the tool reads, and the run's
// phases in memory. Four bytes choose the settings; the rest is the input,
// in whatever format it looks like.
//
//   byte 0: -r, -p, -H, the target, the scale and its cap
//   byte 1: threads (2 to 4), -u, a small column limit, gzip or not
//   byte 2: the pieces the input is handed out in (see pieces_of)
//   byte 3: the gzip framing: optional header fields, members, field size,
//           compression level; and the whole run's rules: the output
//           format, --codon, --mask-stops, --ends-only
//
// The input is read from a file with one thread and with several (a plain
// file is then split into pieces however small), each time into the table
// and read again from the file in each pass (the streaming path of large
// FASTA files), through a pipe, from memory in the pieces byte 2 chooses,
// and, when byte 1 says so, as gzip of one or more members read in those
// pieces: every reading gives the same table, or the same error. Weights
// and scores are checked bit for bit against the plain column-by-column
// model and across thread counts, the selection against its stopping rule,
// the written alignment across thread counts, and the side files' content
// for its bounds. A streamed table's class counts must be those of its
// rows, and any stretch of a row read from the file the same bytes as the
// row. Then each of the four file readings (one thread or several, in the
// table or streamed) goes through the whole run: the same warnings,
// errors, weights, scores, verdicts and outputs, to the byte.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/alphabet.h"
#include "core/site_stats.h"
#include "core/trimming.h"
#include "core/weights.h"
#include "fuzz_support.h"
#include "input/detect.h"
#include "input/read_input.h"
#include "output/column_map.h"
#include "output/formats.h"
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

// A streamed table's class counts are those of its rows, and every stretch
// of a row it reads (the writers read windows of columns) is that stretch
// of the whole row; the file is then as it was. `seed` chooses the
// stretches.
void check_streamed(const alignment& aln, unsigned seed) {
  if (aln.in_memory()) return;
  const std::vector<std::uint32_t>& counts = aln.class_counts;
  if (counts.size() != 27 * aln.lseq) fault("class counts size");
  std::vector<std::uint32_t> want(27 * aln.lseq, 0);
  std::vector<char> buf(aln.lseq + 1);
  for (std::size_t i = 0; i < aln.nseq(); ++i) {
    const std::string row = row_text(aln, i);
    for (std::size_t j = 0; j < aln.lseq; ++j) {
      const int c = static_cast<unsigned char>(row[j]) - 'A';
      if (c < 0 || c > 26 || row[j] == 'X') fault("streamed residue");
      ++want[27 * j + static_cast<std::size_t>(c)];
    }
    // The row in three stretches, four times over: as the passes read
    // rows, whole each time, so that the pieces' checks add up.
    for (unsigned k = 0; k < 4; ++k) {
      seed = seed * 1103515245u + 12345u;
      const std::size_t c0 = (seed >> 8) % (aln.lseq + 1);
      const std::size_t c1 = c0 + (seed >> 20) % (aln.lseq - c0 + 1);
      const std::size_t cuts[4] = {0, c0, c1, aln.lseq};
      for (unsigned s = 0; s < 3; ++s) {
        const std::size_t a = cuts[s], b = cuts[s + 1];
        const char* got = aln.segment(i, a, b, buf.data());
        if (std::string_view(got, b - a) != row.substr(a, b - a))
          fault("streamed stretch " + std::to_string(a) + ".." +
                std::to_string(b) + " of row " + std::to_string(i));
      }
    }
  }
  if (counts != want) fault("class counts");
  aln.source->check_unchanged();  // the file is as it was
}

std::string bits(double v) {
  std::uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  return std::to_string(u);
}

// The whole run on the alignment one reading gave (stop codons masked in
// it), as one text: the reading's error, or the warnings, the weights and
// scores to the bit, both verdicts, the figures of the kept columns, the
// alignment written in format f, the column map and the report, or the
// error that stopped it.
std::string run_outputs(read_result& in, const trim_options& topts,
                        out_format f, int remove_cols, unsigned threads) {
  if (!in.ok) return "error: " + in.error;
  std::string out;
  for (const std::string& w : in.warnings) out += "warning: " + w + "\n";
  alignment& aln = in.aln;
  thread_pool pool(threads);
  pool.set_min_work(0);
  const warn_fn warn = [&out](const std::string& w) {
    out += "warning: " + w + "\n";
  };
  try {
    const trimming t = trim(aln, topts, pool, warn);
    out += "masked " + std::to_string(t.masked.terminal) + " " +
           std::to_string(t.masked.internal) + "\nweights";
    for (const double v : t.w.wt) out += " " + bits(v);
    out += "\ncons " + bits(t.w.cons) + " cst " + bits(t.w.cst) + " total " +
           bits(t.w.total_wt) + " scale " + bits(t.cst) + "\nscores";
    for (const double v : t.score) out += " " + bits(v);
    for (const selection* s : {&t.sel, &t.kept}) {
      out += "\nverdict " + std::to_string(s->n_gt_target) + " " +
             bits(s->target_wt) + " " + std::to_string(s->passes) + " ";
      for (const unsigned char k : s->is_selected) out += k ? '1' : '0';
    }
    const site_stats st = column_stats(
        aln, t.kept.is_selected, guess_alphabet(aln, t.kept.is_selected), pool);
    out += "\nsites " + std::to_string(st.columns) + " " +
           std::to_string(st.variable) + " " +
           std::to_string(st.parsimony_informative) + " " +
           bits(st.missing_percent) + " " + bits(st.gc_percent) + "\n";
    const std::vector<std::string> names = output_names(aln, f, false, warn);
    const selection* selected = t.rules ? &t.sel : nullptr;
    capped_file mem;
    {
      output_buffer ob(mem.fp(), "memory");
      write_alignment(ob, aln, names, t.kept, f, remove_cols, pool);
      write_column_map(ob, t.score, t.kept, selected);
      write_report(ob, {"fuzz", aln, t.w.wt, t.score, t.kept, t.cst,
                        topts.target_wt, selected});
      ob.flush();
    }
    mem.close();
    out += mem.text();
    if (!aln.in_memory()) aln.source->check_unchanged();
  } catch (const fatal_error& e) {
    out += std::string("error: ") + e.what();
  }
  return out;
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

// The phases in memory on the table one thread read: weights and scores
// against the model and across threads, the stopping rule, the written
// alignment across threads, the side files' bounds.
void check_phases(const alignment& aln, unsigned threads, double cst,
                  double maxcst, double target, int henikoff, int remove_cols,
                  int phylip);

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

  // Every way of reading it gives what one thread reading the file into
  // the table gives. The streamed tables read their rows from fd, which
  // stays open while they are in use.
  using streaming = input_options::streaming;
  const int fd = memory_fd(text);
  in_opts.stream = streaming::never;
  read_result one = read_input(fd, nullptr, in_opts, 1);
  read_result files[3];  // several threads; streamed, one thread, several
  const unsigned file_threads[3] = {threads, 1, threads};
  for (int k = 0; k < 3; ++k) {
    in_opts.stream = k == 0 ? streaming::never : streaming::always;
    lseek(fd, 0, SEEK_SET);
    files[k] = read_input(fd, nullptr, in_opts, file_threads[k]);
    agree(one, files[k], k == 0 ? "threads" : "streamed");
    if (files[k].ok) check_streamed(files[k].aln, data[2] + 257u * data[3]);
  }
  in_opts.stream = streaming::automatic;
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
  if (one.ok)
    check_phases(one.aln, threads, cst, maxcst, target, henikoff, remove_cols,
                 phylip);

  // The whole run on each file reading: the same to the byte.
  static constexpr out_format kFormats[] = {
      out_format::default_layout, out_format::phylip,        out_format::fasta,
      out_format::phylip_relaxed, out_format::phylip_strict, out_format::nexus,
      out_format::clustal,        out_format::paml,          out_format::pir};
  const unsigned rules = data[3];
  trim_options topts;
  topts.target_wt = target;
  topts.cst = cst;
  topts.maxcst = maxcst;
  topts.henikoff = henikoff != 0;
  topts.codon = (rules >> 5) & 1;
  topts.stops =
      topts.codon ? static_cast<stop_mask>(rules >> 6) : stop_mask::none;
  topts.ends_only = (rules >> 4) & 1;
  const out_format f = kFormats[rules % 9];
  const std::string want = run_outputs(one, topts, f, remove_cols, 1);
  for (int k = 0; k < 3; ++k)
    if (run_outputs(files[k], topts, f, remove_cols, file_threads[k]) != want)
      fault(std::string("whole run ") +
            (k == 0 ? "across threads" : "streamed") +
            (k == 2 ? " across threads" : ""));
  close(fd);
  return 0;
}

namespace {

void check_phases(const alignment& aln, unsigned threads, double cst,
                  double maxcst, double target, int henikoff, int remove_cols,
                  int phylip) {
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
}

}  // namespace

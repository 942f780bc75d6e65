#include "run/pipeline.h"

#include <algorithm>
#include <cstdio>

#include "core/alphabet.h"
#include "core/genetic_code.h"
#include "core/site_stats.h"
#include "input/cds.h"
#include "input/records.h"
#include "output/buffer.h"
#include "output/column_map.h"
#include "output/formats.h"
#include "output/report.h"
#include "run/join.h"

namespace {

// The summary row of a run that completed: its figures are those of the
// alignment written, before trimming and after.
summary_row row_of(const std::string& input, const loaded& l, const trimmed& r,
                   bool figures, thread_pool& pool) {
  const alignment& aln = written_alignment(l, r);
  summary_row row;
  row.input = input;
  row.format = l.summary.format;
  row.ok = true;
  row.sequences = aln.nseq();
  row.columns = aln.lseq;
  row.kept_columns = static_cast<std::size_t>(r.kept.n_gt_target);
  // Of what is written: with --codon, --ends-only or --cds the kept columns
  // differ from the selection's, whose fraction the summary line reports.
  row.kept_fraction =
      static_cast<double>(row.kept_columns) / static_cast<double>(row.columns);
  row.target = r.t.sel.target_wt;
  if (figures) {
    const std::vector<unsigned char> all(aln.lseq, 1);
    const alphabet kind = guess_alphabet(aln, all);
    row.nucleotides = kind != alphabet::protein;
    row.before = column_stats(aln, all, kind, pool);
    row.after = column_stats(aln, r.kept.is_selected, kind, pool);
  }
  return row;
}

std::string printed(const char* fmt, double a, double b) {
  char line[900];  // room for two doubles in "%f"
  std::snprintf(line, sizeof line, fmt, a, b);
  return line;
}

}  // namespace

sequence_set load_coding_sequences(const run_settings& set, thread_pool& pool,
                                   const warn_fn& warn) {
  return load_coding_sequences(set, *set.cds, pool, warn);
}

sequence_set load_coding_sequences(const run_settings& set,
                                   const std::string& path, thread_pool& pool,
                                   const warn_fn& warn) {
  const std::size_t limit = set.max_columns == 0 ? MAX_WIDTH : set.max_columns;
  // A codon for each column, a stop codon and an incomplete last codon.
  return read_coding_sequences(path, std::min(MAX_WIDTH, 3 * limit + 5), pool,
                               warn);
}

loaded load(const run_settings& set, const input_ref& in,
            run_progress* progress, thread_pool& pool, const warn_fn& warn) {
  input_options opts = input_options_of(set);
  opts.progress = progress;
  loaded l;
  l.aln = read_alignment(in.fd, in.name, opts, pool, warn, &l.summary);
  if (in.cds) l.cds = load_coding_sequences(set, *in.cds, pool, warn);
  return l;
}

trimmed trim_loaded(const run_settings& set, alignment& aln,
                    const input_summary& summary, const sequence_set* cds,
                    thread_pool& pool, const warn_fn& warn) {
  trimmed r;
  r.t = trim(aln, trim_options_of(set), pool, warn);
  r.kept = r.t.kept;
  if (cds != nullptr) {
    const genetic_code& code =
        *genetic_code::find(std::max(1, set.genetic_code));
    r.codons = thread_codons(aln, {summary.letters, summary.columns}, *cds,
                             code, pool, warn);
    r.kept = codon_verdict(r.t.kept);
  }
  if (set.outputs.complement) r.dropped = complement_of(r.kept);
  return r;
}

summary_row write_outputs(const run_settings& set, const input_ref& in,
                          side_files& files, const loaded& l, const trimmed& r,
                          bool figures, thread_pool& pool, const warn_fn& warn,
                          const supermatrix* join) {
  const alignment& aln = written_alignment(l, r);
  const trimming& t = r.t;
  const selection* selected = t.rules ? &t.sel : nullptr;
  summary_row row = row_of(in.name, l, r, figures, pool);
  if (join != nullptr) {
    row.concat_start = 1;
    row.concat_end = join->columns();
  }
  // Names the output format cannot take stop the run here, before any
  // output.
  const std::vector<std::string> names =
      names_to_write(aln, set.format, set.safe_names, warn);
  if (set.outputs.complement && r.dropped.n_gt_target == 0)
    warn(
        "Warning: no column was dropped, so the --complement file holds no "
        "columns");
  const auto alignment_of = [&](const selection& sel, int remove_cols) {
    return buffered([&, remove_cols](output_buffer& out) {
      write_alignment(out, aln, names, sel, set.format, remove_cols, pool);
    });
  };
  output_contents contents;
  // The map and the report are of the input's columns (with --cds, the
  // protein's), under the input's verdict.
  contents.column_map = buffered([&](output_buffer& out) {
    write_column_map(out, t.score, t.kept, selected);
  });
  contents.report = buffered([&](output_buffer& out) {
    write_report(out, {input_label(in.name), l.aln, t.w.wt, t.score, t.kept,
                       t.cst, set.target_wt, selected});
  });
  contents.summary = buffered([&](output_buffer& out) {
    write_summary_table(out, {row}, summary_format_of(*set.outputs.summary),
                        set.command_line, set.outputs.concat.has_value());
  });
  // The supermatrix's files go side by side with the others: one thread
  // each.
  if (join != nullptr)
    join_contents(set, *join, contents, thread_pool::serial());
  contents.complement = alignment_of(r.dropped, 1);  // only what -r removes
  contents.alignment = alignment_of(r.kept, set.remove_cols);
  contents.side_work = l.aln.nseq() * l.aln.lseq;
  contents.verify = [&l] { l.aln.check_unchanged(); };
  files.write(contents, pool);
  return row;
}

std::vector<std::string> closing_lines(const run_settings& set, const loaded& l,
                                       const trimmed& r) {
  std::vector<std::string> lines;
  const trimming& t = r.t;
  if (set.mask_stops != stop_mask::none) {
    const std::size_t all = t.masked.terminal + t.masked.internal;
    lines.push_back("Masked " + std::to_string(all) + " stop codon" +
                    (all == 1 ? "" : "s") + " (" +
                    std::to_string(t.masked.terminal) + " terminal, " +
                    std::to_string(t.masked.internal) + " internal).\n");
  }
  lines.push_back(
      printed("fraction of positions with total weight over target (%f): %f\n",
              t.sel.target_wt,
              static_cast<double>(t.sel.n_gt_target) /
                  static_cast<double>(l.aln.lseq)));
  return lines;
}

input_ids inputs_of(const input_ref& in) {
  input_ids ids;
  for (const std::optional<file_id>& id :
       {regular_file_id(in.fd),
        in.cds ? regular_file_id(*in.cds) : std::nullopt})
    if (id) ids.push_back(*id);
  return ids;
}

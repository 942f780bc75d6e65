// One input's run, phase by phase, and a batch of inputs (--out-dir), each
// on its own, on the pool's threads, with a summary table.
#ifndef COLSIEVE_RUN_TRIM_RUN_H
#define COLSIEVE_RUN_TRIM_RUN_H

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/colsieve.h"
#include "core/parallel.h"
#include "core/progress.h"
#include "core/trimming.h"
#include "input/read_input.h"
#include "output/destination.h"
#include "output/side_files.h"
#include "output/summary_table.h"

// How one input is read, and where its messages and outputs go.
struct input_run {
  std::string in_name;  // as given; "-" is standard input
  int fd = -1;          // open on the input
  output_paths outputs;
  std::vector<open_stream> streams;  // the streams the run writes already
  warn_fn warn;                      // warnings, a line each
  // The lines of standard error that are no warnings: the masked stop
  // codons and the summary line, with their line ends.
  std::function<void(const std::string&)> note;
  bool figures = false;              // fill the figures of the summary row
  run_progress* progress = nullptr;  // counts for a progress line
};

// The trimming options of a run's settings.
trim_options trim_options_of(const run_settings& set);

// What a run writes: the alignment it trimmed, or with --cds the codon
// alignment of its coding sequences; and the verdict for its columns.
struct written {
  alignment codons;                // with --cds
  const alignment* aln = nullptr;  // the alignment written: &codons or the
                                   // trimmed one, so never moved or copied
  selection kept, dropped;         // its verdict, and the complement's
};

// Fills *w for the trimming t of aln (read with summary; with set.cds, read
// with input_options::keep_letters): with set.cds reads the coding
// sequences and threads them onto aln's columns. The complement is made
// with set.outputs.complement. Throws fatal_error as read_coding_sequences
// and thread_codons do.
void written_of(const run_settings& set, const alignment& aln,
                const input_summary& summary, const trimming& t,
                thread_pool& pool, const warn_fn& warn, written* w);

// Reads, trims and writes one input; with outputs.summary, the summary
// table of this one input is among its outputs. Returns its summary row.
// Throws fatal_error, having replaced no file.
summary_row trim_input(const run_settings& set, const input_run& in,
                       thread_pool& pool);

// With --out-dir: every input of set.inputs on its own, small ones side by
// side on the pool's threads, their messages in input order, each line
// prefixed by the input's name; a failed input writes nothing of its own
// and stops nothing else. Writes the summary table last, and one line that
// counts the results. Returns the exit status: 1 if any input failed.
// Throws fatal_error for what stops every input (outputs that would
// collide or overwrite an input, templates without {stem} or {name}).
int trim_inputs(const run_settings& set, std::FILE* msg);

// The file extension of a format's output: "fa", "phy", "nex", "aln",
// "pir".
const char* out_extension(out_format f);

#endif  // COLSIEVE_RUN_TRIM_RUN_H

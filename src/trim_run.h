// One input's run, phase by phase, and a batch of inputs (--out-dir), each
// on its own, on the pool's threads, with a summary table.
#ifndef COLSIEVE_TRIM_RUN_H
#define COLSIEVE_TRIM_RUN_H

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "colsieve.h"
#include "core/parallel.h"
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
  bool figures = false;  // fill the figures of the summary row
};

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
// collide or overwrite an input, templates without {stem}).
int trim_inputs(const run_settings& set, std::FILE* msg);

// The file extension of a format's output: "fa", "phy", "nex", "aln",
// "pir".
const char* out_extension(out_format f);

#endif  // COLSIEVE_TRIM_RUN_H

// The run of every input, by one driver: one alignment (-i) is a batch of
// one; many (--out-dir) each run on their own, small ones side by side on
// the pool's threads, large ones one after the other on all of them.
// Every failure of an input stays that input's.
#ifndef COLSIEVE_RUN_DRIVER_H
#define COLSIEVE_RUN_DRIVER_H

#include <cstdio>
#include <functional>
#include <string>

#include "core/progress.h"
#include "output/destination.h"
#include "run/settings.h"

// How the face hears of the run.
struct run_hooks {
  // A message, from one thread at a time: a warning or an error (note
  // false; the text without its last line end, maybe several lines) for
  // the message stream, or a closing line (note true: the masked stop
  // codons, the summary line, a batch's count; with its line end) for
  // standard error.
  std::function<void(bool note, const std::string& text)> say;
  // Counts how far a run of one input read in place is (may be null).
  run_progress* progress = nullptr;
  // Told every file the run reads, once they are known (in a batch, the
  // files of its folders and coding sequences too) and before any work:
  // throws fatal_error where a file of the face's own (the -e file) is one
  // of them. May be empty.
  std::function<void(const input_ids&)> check_inputs;
};

// Runs the inputs of set: set.in_name, open on in_fd (not owned), or with
// set.out_dir every input of set.inputs (a folder standing for the
// alignment files in it), each opened here. In a batch, every message of
// an input is prefixed by its name, in input order; the files of the whole
// batch (the supermatrix of --concat with its partitions and taxa table,
// then the summary table) are written last, and one closing line counts
// the results and what was joined. msg is the message stream, which
// outputs may name. Returns the exit status: 0, or 1 when an input or the
// join failed. Throws fatal_error, before any work, for what stops every
// input: outputs that would collide or be an input (or the coding
// sequences of one), templates without {stem} or {name}, a folder that
// cannot be made or read, a file of the whole run that cannot be written.
int run_inputs(const run_settings& set, int in_fd, std::FILE* msg,
               const run_hooks& hooks);

#endif  // COLSIEVE_RUN_DRIVER_H

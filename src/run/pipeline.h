// One input's run in three calls, each returning what the next takes:
// load reads everything the run reads (the alignment, and with --cds its
// letters and the coding sequences), so that a bad side input fails before
// any work; trim runs the core; write writes every output and puts it in
// place.
#ifndef COLSIEVE_RUN_PIPELINE_H
#define COLSIEVE_RUN_PIPELINE_H

#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "core/back_translation.h"
#include "core/parallel.h"
#include "core/progress.h"
#include "core/trimming.h"
#include "input/read_input.h"
#include "output/side_files.h"
#include "output/summary_table.h"
#include "output/supermatrix.h"
#include "run/settings.h"

// An input of the run.
struct input_ref {
  std::string name;  // as given; "-" is standard input
  int fd = -1;       // open on it; not owned
  // Its coding sequences (--cds, or in a batch the file --cds's template
  // names for it).
  std::optional<std::string> cds;
};

// What one input's run reads.
struct loaded {
  alignment aln;
  input_summary summary;            // its format; with --cds its letters
  std::optional<sequence_set> cds;  // with --cds
};

// Reads the input and, with in.cds, its coding sequences. progress (may be
// null) counts a file read in place. Throws fatal_error.
loaded load(const run_settings& set, const input_ref& in,
            run_progress* progress, thread_pool& pool, const warn_fn& warn);

// The coding sequences of set.cds, read as --cds reads them. Throws
// fatal_error.
sequence_set load_coding_sequences(const run_settings& set, thread_pool& pool,
                                   const warn_fn& warn);
// The same from the file at path.
sequence_set load_coding_sequences(const run_settings& set,
                                   const std::string& path, thread_pool& pool,
                                   const warn_fn& warn);

// The trimming of a loaded alignment, and what is written of it.
struct trimmed {
  trimming t;
  // With --cds: the codon alignment of the coding sequences, which is
  // written instead of the protein alignment.
  std::optional<alignment> codons;
  selection kept;     // the verdict of what is written: t.kept, per codon
  selection dropped;  // its complement, with --complement
};

// Trims aln (stop codons are masked in it) and, with cds, threads the
// coding sequences onto its columns (summary holds its letters). Throws
// fatal_error as trim and thread_codons do.
trimmed trim_loaded(const run_settings& set, alignment& aln,
                    const input_summary& summary, const sequence_set* cds,
                    thread_pool& pool, const warn_fn& warn);

// The alignment that is written: the codon alignment, or the trimmed one.
inline const alignment& written_alignment(const alignment& aln,
                                          const trimmed& r) {
  return r.codons ? *r.codons : aln;
}
inline const alignment& written_alignment(const loaded& l, const trimmed& r) {
  return written_alignment(l.aln, r);
}

// Writes every output of files (made before the input was loaded, so that
// every path was checked before any work) and puts them in place; with
// files holding a summary path, this input's summary table is among them.
// Returns the input's summary row, its figures filled when `figures`.
// With join (a single run's supermatrix, of this input alone), the
// supermatrix's files are among the outputs too. Warns when the output
// format changed names. Throws fatal_error, having replaced no file.
summary_row write_outputs(const run_settings& set, const input_ref& in,
                          side_files& files, const loaded& l, const trimmed& r,
                          bool figures, thread_pool& pool, const warn_fn& warn,
                          const supermatrix* join = nullptr);

// The lines of standard error that close a run: the masked stop codons
// (with --mask-stops) and the summary line, each with its line end.
std::vector<std::string> closing_lines(const run_settings& set, const loaded& l,
                                       const trimmed& r);

// The files an input's run reads, which none of its outputs may be: the
// input open on in.fd and its coding sequences.
input_ids inputs_of(const input_ref& in);

#endif  // COLSIEVE_RUN_PIPELINE_H

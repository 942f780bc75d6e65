// colsieve: trims a multiple sequence alignment down to its well-aligned
// columns. The run has four phases, each over the same alignment table:
// loading, weighting (Henikoff & Henikoff position-based weights, a gap being
// a class of its own), column selection with a falling target, and writing.
#ifndef COLSIEVE_COLSIEVE_H
#define COLSIEVE_COLSIEVE_H

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/trimming.h"
#include "input/read_input.h"
#include "output/formats.h"
#include "output/side_files.h"

// Run settings, as the options leave them.
struct run_settings {
  double target_wt = 0.85;
  double cst = 1.0;
  double maxcst = 1000000.0;
  int henikoff = 0;      // -H: every selection pass uses a scale of 1.0
  int normSeqs = 0;      // -N: accepted, no effect
  int remove_cols = 0;   // -r: leave unselected columns out
  int fold_case = 0;     // -u: FASTA lower case and '.' read as in Stockholm
  unsigned threads = 0;  // -j: 0 means one per CPU the process may use
  std::size_t max_columns = 45000;      // --max-columns: 0 means no limit
  input_options::streaming streaming =  // --streaming
      input_options::streaming::automatic;
  std::string in_name;   // -i as given; "-" is standard input
  output_paths outputs;  // -l, -w, -o
  out_format format = out_format::default_layout;  // -f, --out-format, -p
  bool safe_names = false;  // --safe-names: tree-program names for fasta, pir
  bool codon = false;       // --codon: columns kept in whole codons
  stop_mask mask_stops = stop_mask::none;  // --mask-stops
  bool ends_only = false;  // --ends-only: only the dropped runs at the ends
  std::optional<std::string> cds;  // --cds: coding sequences to thread
  int genetic_code = 0;            // --genetic-code: 0 for the standard one
  // Batch runs (--out-dir): the inputs (-i's, then the other arguments),
  // the folder, the name template of their outputs (--out-name).
  std::optional<std::string> out_dir;
  std::optional<std::string> out_name;
  std::vector<std::string> inputs;
  // The arguments as given, argv[0] first: --summary names the run by them.
  std::vector<std::string> command_line;
};

// Writes the help text of -h to fp.
void usage(std::FILE* fp);

// Writes the help text of --help to fp: every option, its argument and its
// default, grouped.
void full_usage(std::FILE* fp);

// The whole run: options, loading, weighting, selection, writing, summary.
// Returns the exit status.
int colsieve_main(int argc, char** argv);

#endif  // COLSIEVE_COLSIEVE_H

// The settings of a run as every face leaves them (the command line's
// options, the Python module's arguments): their defaults, and the rules
// between them, checked in one place so that no face can skip one.
#ifndef COLSIEVE_RUN_SETTINGS_H
#define COLSIEVE_RUN_SETTINGS_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/trimming.h"
#include "input/read_input.h"
#include "output/formats.h"
#include "output/side_files.h"
#include "output/supermatrix.h"
#include "run/taxa.h"

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
  output_paths outputs;  // -l, -w, -o, --complement, --summary
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
  // The join of the trimmed alignments (--concat, whose file is among the
  // outputs with --partitions and --taxa-table): the options are unset
  // when not given, as the rules between them need to know.
  std::optional<taxon_rule> taxa;       // --taxon-field, --taxon-regex
  std::optional<char> missing_char;     // --missing-char: - or ?
  std::optional<std::size_t> min_taxa;  // --min-taxa
  std::optional<partition_style> partitions_format;  // --partitions-format
  std::optional<partition_split> partition_by;       // --partition-by
  std::optional<std::string> partition_name;         // --partition-name
  // The arguments as given, argv[0] first: --summary names the run by them.
  std::vector<std::string> command_line;
};

// How a face names the settings in its messages: the command line by its
// options ("--codon"), the Python module by its arguments ("codon"). The
// settings of files and batches only the command line has, and they are
// named by their options.
struct setting_names {
  const char* codon;
  const char* mask_stops;
  const char* cds;
  const char* genetic_code;
};

// Throws fatal_error, naming settings as `names` does, for settings that do
// not go together: --cds with --codon or --mask-stops; --genetic-code
// without --cds, or a table colsieve does not have; --mask-stops without
// --codon; with --out-dir, a --cds that is no template with {stem} or
// {name}, and -o; --out-name without --out-dir; the join's options without
// --concat (and those that shape the partitions without --partitions),
// --partition-by codon without --codon or --cds.
void check_settings(const run_settings& set, const setting_names& names);

// What the readers and the core take of the settings.
input_options input_options_of(const run_settings& set);
trim_options trim_options_of(const run_settings& set);

#endif  // COLSIEVE_RUN_SETTINGS_H

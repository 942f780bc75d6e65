// The summary table of --summary: one row per input, tab-separated with a
// header line of the field names (for MultiQC, after the lines that make it
// a section of MultiQC's report), or JSON with the run's tool, version and
// command line.
#ifndef COLSIEVE_OUTPUT_SUMMARY_TABLE_H
#define COLSIEVE_OUTPUT_SUMMARY_TABLE_H

#include <cstddef>
#include <string>
#include <vector>

#include "core/site_stats.h"
#include "output/buffer.h"

struct summary_row {
  std::string input;
  std::string format;  // empty when it was not told
  bool ok = false;
  std::string error;  // the first line of its error, when it failed
  // The figures, when ok.
  std::size_t sequences = 0, columns = 0, kept_columns = 0;
  double kept_fraction = 0;  // kept_columns / columns
  double target = 0;         // the summary line's
  site_stats before, after;
  bool nucleotides = false;  // gc_percent applies
  // Where it is in the supermatrix (--concat): its first and last column,
  // from 1; 0 when it was not joined.
  std::size_t concat_start = 0, concat_end = 0;
};

// The field names, in their order.
extern const char* const SUMMARY_FIELDS[16];
// The fields after them in the table of a run that joins its alignments.
extern const char* const SUMMARY_JOIN_FIELDS[2];

// How a table is written.
enum class summary_format {
  tsv,          // the header line of the field names, then a line per row
  multiqc_tsv,  // the same after '#' lines MultiQC reads as custom content
  json,
};

// The format a file of that name gets: json for names ending in ".json",
// multiqc_tsv for "_mqc.tsv" (the names MultiQC looks for), else tsv.
summary_format summary_format_of(const std::string& path);

// Writes the rows of a run of colsieve whose arguments (argv[0] first) were
// command_line; with `joined`, each row ends with the fields of
// SUMMARY_JOIN_FIELDS (empty, or null, for a row that was not joined).
//   tsv: tab-separated, a field that does not apply empty; tabs and line
//     ends in a field become blanks.
//   multiqc_tsv: the tsv table after a header of '#' lines, YAML that
//     MultiQC 1.14 takes as the settings of a table section with the id
//     "colsieve" (so that the tables of several runs join into one section),
//     one row per input keyed by the first column; the header also gives
//     "tool", "version" and "command_line". In the cells, what MultiQC
//     would take as a line end (control characters, line separators)
//     becomes a blank and a byte that is not UTF-8 a '?', and an input
//     named "#..." is written "./#..." (MultiQC skips lines starting '#').
//   json: an object of "tool" ("colsieve"), "version", "command_line" (an
//     array of strings) and "rows", an array of objects keyed by the field
//     names, numbers as numbers and null where a field does not apply.
void write_summary_table(output_buffer& fp,
                         const std::vector<summary_row>& rows,
                         summary_format format,
                         const std::vector<std::string>& command_line,
                         bool joined = false);

#endif  // COLSIEVE_OUTPUT_SUMMARY_TABLE_H

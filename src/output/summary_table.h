// The summary table of --summary: one row per input, tab-separated with a
// header line of the field names, or a JSON array of objects.
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
  double kept_fraction = 0, target = 0;  // the summary line's
  site_stats before, after;
  bool nucleotides = false;  // gc_percent applies
};

// The field names, in their order.
extern const char* const SUMMARY_FIELDS[16];

// Writes the rows: tab-separated, a field that does not apply empty; or,
// with json, an array of objects keyed by the field names, with numbers as
// numbers and null where a field does not apply.
void write_summary_table(output_buffer& fp,
                         const std::vector<summary_row>& rows, bool json);

#endif  // COLSIEVE_OUTPUT_SUMMARY_TABLE_H

// The column map (-l): one line per column of the input.
#ifndef COLSIEVE_OUTPUT_COLUMN_MAP_H
#define COLSIEVE_OUTPUT_COLUMN_MAP_H

#include <vector>

#include "core/weights.h"
#include "output/buffer.h"

// Writes the column map: a header row, then for each column its 1-based
// number, its score ("%f") and 1 if kept (the final verdict), else 0,
// separated by tabs; with `selected` (when whole codons or ends-only may
// have changed the verdict), a fourth column gives the selection's own.
void write_column_map(output_buffer& fp, const std::vector<double>& score,
                      const selection& kept,
                      const selection* selected = nullptr);

#endif  // COLSIEVE_OUTPUT_COLUMN_MAP_H

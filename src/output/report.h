// The HTML report of a run (-w).
#ifndef COLSIEVE_OUTPUT_REPORT_H
#define COLSIEVE_OUTPUT_REPORT_H

#include <cstddef>
#include <string>
#include <vector>

#include "core/alignment.h"
#include "core/weights.h"
#include "output/buffer.h"

// What the HTML report shows.
struct report_input {
  std::string input_name;
  const alignment& aln;
  const std::vector<double>& wt;
  const std::vector<double>& score;
  const selection& sel;  // the final verdict
  double cst;            // the scale the scores used
  double start_target;   // the first pass's target
  // The selection's own verdict, when whole codons or ends-only may have
  // changed it: the columns they dropped or kept are shown apart.
  const selection* selected = nullptr;
};

// The report shows at most this much of the alignment itself, so that the
// page stays light; the score profile always covers every column.
inline constexpr std::size_t REPORT_MAX_ROWS = 100;
inline constexpr std::size_t REPORT_MAX_COLUMNS = 2000;
// The page never grows past this many bytes: the alignment view stops at
// the last block of columns that fits.
inline constexpr std::size_t REPORT_MAX_BYTES = 4000000;

// Writes the HTML report: one self-contained page (inline CSS and SVG, no
// script) with the run's figures, the score profile with the final target,
// and the alignment coloured by residue with trimmed columns dimmed.
void write_report(output_buffer& fp, const report_input& r);

#endif  // COLSIEVE_OUTPUT_REPORT_H

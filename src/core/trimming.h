// A whole trimming, phase by phase: stop codons masked (for coding
// sequences), weights, scores, the selection, and the rules that act on the
// selection's result: whole codons, then ends only. The selection itself
// never changes; the final verdict is what every output writes.
#ifndef COLSIEVE_CORE_TRIMMING_H
#define COLSIEVE_CORE_TRIMMING_H

#include <cstddef>
#include <vector>

#include "base/error.h"
#include "core/alignment.h"
#include "core/parallel.h"
#include "core/weights.h"

// Which in-frame stop codons become gaps before weighting.
enum class stop_mask { none, terminal, internal, all };

struct trim_options {
  double target_wt = 0.85;
  double cst = 1.0;
  double maxcst = 1000000.0;
  bool henikoff = false;              // every pass scales by 1.0
  bool codon = false;                 // columns are kept in whole codons
  stop_mask stops = stop_mask::none;  // REQUIRES: codon, unless none
  bool ends_only = false;  // only the runs of dropped columns at the ends
};

struct stop_counts {
  std::size_t terminal = 0, internal = 0;
};

struct trimming {
  weighting w;
  double cst = 0;  // the scale the scores used
  std::vector<double> score;
  selection sel;   // the selection's own verdict: the summary line's
  selection kept;  // the final verdict (its target and passes are sel's)
  stop_counts masked;
  bool rules = false;  // codon or ends-only: the two verdicts may differ
};

// Masks the in-frame stop codons of every row as `which` says: TAA, TAG or
// TGA (U read as T), none of whose characters is a gap, become three gaps.
// A row's terminal codon is its last that is not all gaps. REQUIRES:
// aln.lseq is a multiple of 3.
stop_counts mask_stop_codons(alignment& aln, stop_mask which);

// Drops every codon of which not all three columns are kept.
void keep_whole_codons(std::vector<unsigned char>& kept);

// Keeps every dropped column but those of the run that starts at the first
// column and the run that ends at the last.
void drop_ends_only(std::vector<unsigned char>& kept);

// The selection as a verdict with its own mask: count and mask agree.
selection with_mask(const selection& sel, std::vector<unsigned char> mask);

// The columns a verdict drops, as a verdict of their own.
selection complement_of(const selection& kept);

// Runs every phase on aln (stop codons are masked in it). Warns, through
// warn, when --codon keeps fewer columns than the selection's floor.
// Throws fatal_error: for --codon on a length that is not whole codons,
// and when the selection cannot end.
trimming trim(alignment& aln, const trim_options& opts, thread_pool& pool,
              const warn_fn& warn);

#endif  // COLSIEVE_CORE_TRIMMING_H

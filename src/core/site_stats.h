// Figures of an alignment's columns, as AMAS's summary defines them, for
// the summary table of batch runs: variable and parsimony-informative
// sites, missing data and GC content.
#ifndef COLSIEVE_CORE_SITE_STATS_H
#define COLSIEVE_CORE_SITE_STATS_H

#include <cstddef>
#include <vector>

#include "core/alignment.h"
#include "core/alphabet.h"
#include "core/parallel.h"

struct site_stats {
  std::size_t columns = 0;
  std::size_t variable = 0;               // two states or more
  std::size_t parsimony_informative = 0;  // two states, each twice or more
  double missing_percent = 0;  // gaps, '?' and N (nucleotides) or X, of all
  // (G + C) / (A + C + G + T + U), in percent; nucleotides only.
  double gc_percent = 0;
};

// The figures of the columns of aln whose mask entry is not 0. A state is
// a residue other than missing data and ambiguity codes: for nucleotides
// A, C, G, T (U as T); for protein every letter but B, J, Z and X.
// `kind` says which alphabet aln is.
site_stats column_stats(const alignment& aln,
                        const std::vector<unsigned char>& mask, alphabet kind,
                        thread_pool& pool);

#endif  // COLSIEVE_CORE_SITE_STATS_H

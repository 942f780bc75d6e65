// Back-translation: the coding sequences of a protein alignment's records
// threaded onto its columns, codon by codon, after checking that each codon
// codes for its residue.
#ifndef COLSIEVE_CORE_BACK_TRANSLATION_H
#define COLSIEVE_CORE_BACK_TRANSLATION_H

#include <cstddef>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/residue_filter.h"
#include "core/alignment.h"
#include "core/genetic_code.h"
#include "core/parallel.h"
#include "core/weights.h"

// Sequences of their own lengths: the coding sequences, upper case.
struct sequence_set {
  alignment seqs;  // names and rows; lseq is not used
  std::vector<std::size_t> lengths;
  std::string where;  // the file, as messages name it
};

// The protein alignment as its file holds its letters: each row's letters
// (every letter, either case, and '*' takes the next codon) and, for each
// byte of them, what it is in the table (0: no column, a dropped letter).
struct protein_letters {
  const std::vector<std::string>& rows;
  const filter_table& columns;
};

// The codon alignment of protein (whose rows `letters` holds as read): each
// record takes the coding sequence of its name, or of its first word when
// that is unique on both sides; three columns for every protein column: the
// residue's codon, or three gaps. The CDS holds three nucleotides for every
// letter, and three more when they are a stop codon and the protein ends in
// no '*'; 1 or 2 more after the last whole codon are left out. A first
// codon that is a start codon of the code codes for M. Warns once on coding
// sequences that no record takes, and once on those that end in an
// incomplete codon. Throws fatal_error, for the first record in order that
// has none, shares one, has another length, or whose codons do not code for
// its residues.
alignment thread_codons(const alignment& protein,
                        const protein_letters& letters, const sequence_set& cds,
                        const genetic_code& code, thread_pool& pool,
                        const warn_fn& warn);

// A protein verdict as the codon alignment's: each column's verdict for its
// three columns.
selection codon_verdict(const selection& protein);

#endif  // COLSIEVE_CORE_BACK_TRANSLATION_H

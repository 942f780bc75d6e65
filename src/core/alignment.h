// The alignment table: every record of the input in input order, all of the
// same length, gaps marked.
#ifndef COLSIEVE_CORE_ALIGNMENT_H
#define COLSIEVE_CORE_ALIGNMENT_H

#include <cstddef>
#include <memory>
#include <vector>

#include "fasta_seq.h"

// Gap marker: after loading, every '-' and 'X' of a residue string is this
// character, the one after 'Z', so that it minus 'A' is the gap class 26.
inline constexpr int UNALIGNED = 91;

// The alignment table: records in input order, all lseq residues long.
struct alignment {
  std::vector<std::unique_ptr<fasta_seq>> seq;
  int lseq = 0;
  std::size_t nseq() const { return seq.size(); }
};

// Reads every record of fp (filter mode 0), turns '-' and 'X' into
// UNALIGNED, and checks that all records have the same, non-zero length.
// Throws fatal_error (no records, lengths differ, no columns) or fasta_error.
alignment load_alignment(fasta_stream* fp);

#endif  // COLSIEVE_CORE_ALIGNMENT_H

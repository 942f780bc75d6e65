// The coding sequences of --cds: FASTA or PIR, plain or gzip, unaligned.
#ifndef COLSIEVE_INPUT_CDS_H
#define COLSIEVE_INPUT_CDS_H

#include <cstddef>
#include <string>

#include "base/error.h"
#include "core/back_translation.h"
#include "core/parallel.h"

// Reads and checks the coding sequences in the file `path` on the pool's
// threads: upper case, U kept as it is. Throws fatal_error when the file
// cannot be read, is not FASTA or PIR, or a record holds a gap ("the coding
// sequences must be unaligned") or a letter that is no nucleotide; the
// first such record in the file is named.
sequence_set read_coding_sequences(const std::string& path,
                                   std::size_t max_length, thread_pool& pool,
                                   const warn_fn& warn);

#endif  // COLSIEVE_INPUT_CDS_H

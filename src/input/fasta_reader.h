// FASTA and PIR alignments, read straight into the table's residue buffer.
#ifndef COLSIEVE_INPUT_FASTA_READER_H
#define COLSIEVE_INPUT_FASTA_READER_H

#include <sys/types.h>

#include <cstddef>

#include "core/parallel.h"
#include "fasta_seq.h"
#include "input/records.h"

struct fasta_input_options {
  bool fold_case = false;  // -u: lower case as residues; '.', '_', '~' gaps
  std::size_t max_residues = MAX_SEQLEN;
};

// Reads every record of src. size_hint, when not 0, is the input's size,
// which bounds the residues. Throws fatal_error for a record over the limit
// (naming it) and fasta_error for input that does not start with '>' or a
// read error.
loaded_input read_fasta(byte_source* src, const fasta_input_options& opts,
                        std::size_t size_hint);

// The same for the regular file open on fd, size bytes long from offset 0:
// split at record starts into pieces that the pool's threads read at once.
// The result, and the first fault in input order, are those of read_fasta.
loaded_input read_fasta_file(int fd, off_t size,
                             const fasta_input_options& opts,
                             thread_pool& pool);

#endif  // COLSIEVE_INPUT_FASTA_READER_H

// FASTA and PIR alignments, read straight into the table's residue buffer.
#ifndef COLSIEVE_INPUT_FASTA_READER_H
#define COLSIEVE_INPUT_FASTA_READER_H

#include <sys/types.h>

#include <cstddef>
#include <string_view>

#include "base/byte_stream.h"
#include "core/parallel.h"
#include "input/records.h"

// True when the input starts with '>'.
bool looks_like_fasta(std::string_view line, std::string_view head);

// Reads every record of src (see read_fasta_record; with ctx.fold_case by
// the full-alignment rule). Throws fatal_error for a record over the limit
// (naming it), for input that does not start with '>', or a read error.
loaded_input read_fasta(byte_source* src, const read_context& ctx);

// The same for the regular file open on fd, whose records span the bytes
// [begin, end): split at record starts into pieces that the pool's threads
// read at once when the file is worth it. The result, and the first fault
// in input order, are those of read_fasta.
loaded_input read_fasta_file(int fd, off_t begin, off_t end,
                             const read_context& ctx, thread_pool& pool);

// The same, streaming: the records are read once, keeping their names,
// lengths, where their rows stand in the file and a hash of each, and
// counting the classes of every column (alignment::class_counts); the table
// then holds no rows, and its source (see mapped_rows) reads them again
// from the file, a piece at a time, however their lines are laid out. The
// names, lengths, drops and faults are those of read_fasta.
loaded_input index_fasta_file(int fd, off_t begin, off_t end,
                              const read_context& ctx, thread_pool& pool);

#endif  // COLSIEVE_INPUT_FASTA_READER_H

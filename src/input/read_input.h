// Reading the input alignment: the byte source (file, standard input,
// gzip), the format (told from the first bytes, in this one place), and the
// checks every format shares, with messages that say what to do.
#ifndef COLSIEVE_INPUT_READ_INPUT_H
#define COLSIEVE_INPUT_READ_INPUT_H

#include <cstddef>
#include <functional>
#include <string>

#include "core/alignment.h"
#include "core/parallel.h"
#include "fasta_seq.h"

struct input_options {
  bool fold_case = false;                // -u, for FASTA and PIR
  std::size_t max_columns = MAX_SEQLEN;  // 0: no limit
};

// Reads the alignment from fd (the file named input_name, or standard input
// when input_name is "-") and checks it: at least one record, all of the
// same length, at least one column. Warnings go to warn. Throws fatal_error
// with the message (and hint lines) for the user.
alignment read_alignment(int fd, const std::string& input_name,
                         const input_options& opts, thread_pool& pool,
                         const std::function<void(const std::string&)>& warn);

#endif  // COLSIEVE_INPUT_READ_INPUT_H

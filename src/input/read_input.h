// Reading the input alignment: the byte source (file, standard input,
// gzip), the compression and the format (told by detect_compression and
// detect_format), and the checks every format shares, with messages that
// say what to do.
#ifndef COLSIEVE_INPUT_READ_INPUT_H
#define COLSIEVE_INPUT_READ_INPUT_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_stream.h"
#include "base/error.h"
#include "core/alignment.h"
#include "core/parallel.h"
#include "core/progress.h"
#include "input/fasta_seq.h"
#include "input/records.h"
#include "input/source.h"

struct input_options {
  bool fold_case = false;                // -u, for FASTA and PIR
  std::size_t max_columns = MAX_SEQLEN;  // 0: no limit but MAX_WIDTH
  bool keep_letters = false;             // fill input_summary::letters (--cds)
  // Whether a plain FASTA file is read again in each pass instead of into
  // the table: automatic does so from 64 MiB on. Such a file is mapped,
  // and a SIGBUS handler is installed for the process (a file cut short
  // while mapped becomes an error of the read); never installs none.
  enum class streaming { automatic, always, never };
  streaming stream = streaming::automatic;
  run_progress* progress = nullptr;  // how far a file read in place is
};

// What was read, besides the table.
struct input_summary {
  std::string format;  // "FASTA", "Stockholm", ...
  // With input_options::keep_letters: each row as the file holds its
  // letters (FASTA: lower case and '*' too), and for each byte of those rows
  // the column it is in the table (0: none, a dropped letter).
  std::vector<std::string> letters;
  filter_table columns{};
};

// Reads the alignment from fd (the file named input_name, or standard input
// when input_name is "-") and checks it: at least one record, all of the
// same length, at least one column. Warnings go to warn (among them one
// line when a FASTA reader dropped characters other than blanks and
// digits). Throws fatal_error with the message (and hint lines) for the
// user.
alignment read_alignment(int fd, const std::string& input_name,
                         const input_options& opts, thread_pool& pool,
                         const warn_fn& warn, input_summary* summary = nullptr);

// Where the records of a regular, uncompressed file open on fd lie, for
// reading it in pieces: from start, where the descriptor stood, past a
// byte-order mark, to its end. False for any other input.
bool plain_file(int fd, off_t start, const input_bytes& bytes, off_t* begin,
                off_t* end);

// Reads the FASTA records of bytes (which fd, standing at start before it
// was read, is open on; fd -1 for none): in pieces on the pool's threads
// from a plain file, else as a stream. Throws fatal_error as read_fasta.
loaded_input read_plain_or_stream(input_bytes& bytes, int fd, off_t start,
                                  const read_context& ctx, thread_pool& pool);

// The same from raw bytes (which it then owns), as tests feed them.
alignment read_alignment(std::unique_ptr<byte_source> raw,
                         const std::string& input_name,
                         const input_options& opts, thread_pool& pool,
                         const warn_fn& warn, input_summary* summary = nullptr);

#endif  // COLSIEVE_INPUT_READ_INPUT_H

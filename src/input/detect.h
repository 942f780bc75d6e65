// Telling inputs apart, in one place: how the input is compressed and what
// format it is, from its first bytes (as htslib's hts_detect_format2 fills
// one struct), and the table of formats: each with its detector and its
// reader, or the message that refuses it. A new format is one row here and
// one file beside this one.
#ifndef COLSIEVE_INPUT_DETECT_H
#define COLSIEVE_INPUT_DETECT_H

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "base/byte_stream.h"

struct loaded_input;
struct read_context;

enum class compression { none, gzip, xz, bzip2, zstd, zip };

enum class format {
  fasta,  // FASTA, PIR and A2M
  stockholm,
  clustal,
  nexus,
  phylip,
  msf,
  mega,
  selex,
  psiblast,
  refused,  // a kind of input colsieve does not read
};

struct input_kind {
  compression comp = compression::none;
  format fmt = format::fasta;
  // For refused input: the message, its first line the error, then a hint.
  std::string_view refusal;
};

// One compression colsieve knows, by its first bytes: gzip is inflated as
// it is read; the others are refused, with the command that decompresses
// them.
struct compression_entry {
  compression comp;
  const char* name;  // as messages name it: "gzip", "xz", ...
  bool (*detect)(std::string_view head);
  const char* tool;  // for refused ones: "xz -dc"; nullptr for gzip
};

// The row of compression c.
const compression_entry& compression_row(compression c);

// The compression told by the first bytes.
compression detect_compression(std::string_view head);

// What the head of an input is: its compression from the first bytes,
// and, when it has none, its format from the first lines (see
// detect_format).
input_kind detect_input(std::string_view head);

// The format of a head that is not compressed (after inflating): the first
// row of the format table that recognises it. A head that is still
// compressed is binary, and refused. Input that no row recognises is
// FASTA, whose reader refuses it when it does not start with '>'.
input_kind detect_format(std::string_view head);

// Reads an alignment of one format from src. Throws fatal_error.
using format_reader = loaded_input (*)(byte_source* src,
                                       const read_context& ctx);

// One row of the table: a format colsieve reads, or input it refuses.
struct format_entry {
  format fmt;
  const char* name;  // as messages and the summary name it
  // True when the input's head is of this kind. `line` is its first line
  // that is not blank.
  bool (*detect)(std::string_view line, std::string_view head);
  format_reader read;   // null for input that is refused
  const char* refusal;  // for refused input: the message
};

// The table, in the order its rows are tried.
std::span<const format_entry> format_table();

// The row of a format.
const format_entry& format_row(format f);

// The input's first line that is not blank (without its line end).
std::string_view first_line(std::string_view head);

#endif  // COLSIEVE_INPUT_DETECT_H

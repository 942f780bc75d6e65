// FASTA records: the record type, a buffered reader of FASTA and PIR with a
// choice of character filters, and a dump form. A small library of its own,
// shared by colsieve and usable by other tools; it reads through the byte
// stream of byte_stream.h.
#ifndef COLSIEVE_INPUT_FASTA_SEQ_H
#define COLSIEVE_INPUT_FASTA_SEQ_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/byte_stream.h"
#include "base/error.h"
#include "base/residue_filter.h"

// One sequence record.
struct fasta_seq {
  std::string comment;  // header text after '>', without the line end
  std::string seq;      // residues kept by the filter mode, one byte each
  int seqlen() const { return static_cast<int>(seq.size()); }
};

// Most residues one record may hold, unless the reader is told otherwise.
inline constexpr int MAX_SEQLEN = 45000;

// Filter mode of the full-alignment rule (-u): 'a'-'z' are read as 'A'-'Z',
// and '.', '_', '~' and '?' as '-'.
inline constexpr int FOLD_CASE = 3;

// The characters each filter mode keeps besides 'A'-'Z':
//   0: '-' (everything else is dropped, lower case and '.' included);
//   2: '-', '.' and 'a'-'z', unchanged;
//   FOLD_CASE: 'a'-'z' as 'A'-'Z', and '-', '.', '_', '~', '?' as '-';
//   any other value: 'a'-'z', turned into upper case.
// With a gap_mark, '-' and 'X' (and what FOLD_CASE reads as them) are
// stored as that character instead.
residue_rule fasta_rule(int flag, char gap_mark = 0);

// How read_fasta_record reads residues: the rule, built once into its
// table and fast kernel.
struct fasta_rules {
  explicit fasta_rules(int flag = 0, char gap_mark = 0,
                       std::size_t max_residues = MAX_SEQLEN);
  fasta_rules(const residue_rule& rule, std::size_t max_residues);
  std::size_t max_residues;
  filter_table table;
  filter16 fast;
  line_filter line;
};

// Bytes a reader dropped, counted by value.
using drop_counts = std::array<std::uint64_t, 256>;

// Room for a record's residues, which may move as it grows.
class residue_sink {
 public:
  virtual ~residue_sink() = default;
  // Makes room for n bytes in all, keeping the first ones; returns where
  // they start. Throws std::bad_alloc.
  virtual char* reserve(std::size_t n) = 0;
};

// What read_fasta_record found besides the residues.
struct fasta_record_info {
  std::size_t residues = 0;  // stored in the sink
  bool too_long = false;     // more than max_residues; the record is unread
  bool pir = false;          // read as PIR: the header's first line was a
                             // description, and a '*' ended the residues
  // Where the residues stood, for reading them again from the file: even
  // when every line holds `width` residues (the last one up to that) and
  // nothing else, each line ended by `line_end` bytes ("\n" or "\r\n"),
  // with only line ends after the last, column j is byte
  // start + j / width * (width + line_end) + j % width of the stream.
  bool even = false;
  std::uint64_t start = 0;
  std::size_t width = 0;
  unsigned line_end = 1;
};

// True when a header text begins with a PIR type code and ';' ("P1;",
// "F1;", "DL;", "DC;", "RL;", "RC;", "N3;", "N1;", "XX;").
bool has_pir_code(std::string_view comment);

// Reads the next record: its header text into *comment, its residues to
// the sink. The header ends at the first line end ("\n", "\r\n" or "\r").
// A record is read as PIR when its header begins with a PIR type code and
// ';' and its residue lines end with the terminator '*': its first line
// after the header is then a description, not residues. Every other record
// is read as FASTA. Bytes the rule drops, other than blanks, digits and
// line ends (and a PIR record's description and terminator), are counted
// in *drops when it is not null. Returns false at the end of input. Throws
// fatal_error when the input does not start with '>' ("Error: no header in
// fasta file"), or on a read error.
bool read_fasta_record(byte_stream* fp, const fasta_rules& rules,
                       std::string* comment, residue_sink* out,
                       fasta_record_info* info, drop_counts* drops = nullptr);

// Reads the next record from fp into *seq, which then owns it; flag is the
// filter mode (see fasta_rule). A '>' ends the record wherever it stands
// and is left for the next call. PIR records are read as read_fasta_record
// says. Returns 1 when a record was read, -1 at the end of input (nothing
// stored). Throws fatal_error when the input does not start with '>'
// ("Error: no header in fasta file"), when a record would hold more than
// MAX_SEQLEN residues ("ERROR: sequence too long."), or on a read error.
int read_fasta_seq(byte_stream* fp, std::unique_ptr<fasta_seq>* seq, int flag);

// Releases the record *seq owns and leaves *seq empty.
void free_fasta_seq(std::unique_ptr<fasta_seq>* seq);

// Writes seq in a readable dump form: ">comment sequence length = N", then
// the residues, 61 a line. Write errors are left in fp's error flag.
void print_fasta_seq(std::FILE* fp, const fasta_seq& seq);

#endif  // COLSIEVE_INPUT_FASTA_SEQ_H

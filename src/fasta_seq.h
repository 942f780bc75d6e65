// FASTA records: the record type, a buffered reader of FASTA and PIR with a
// choice of character filters, and a dump form. A small library of its own,
// shared by colsieve and usable by other tools.
#ifndef COLSIEVE_FASTA_SEQ_H
#define COLSIEVE_FASTA_SEQ_H

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "error.h"

// One sequence record.
struct fasta_seq {
  std::string comment;  // header text after '>', without the line end
  std::string seq;      // residues kept by the filter mode, one byte each
  int seqlen() const { return static_cast<int>(seq.size()); }
};

// Most residues one record may hold, unless the reader is told otherwise.
inline constexpr int MAX_SEQLEN = 45000;

// A failure while reading records. what() is the message for the user,
// without a line end.
struct fasta_error : fatal_error {
  using fatal_error::fatal_error;
};

// Where a reader gets its bytes: blocks handed out one after the other.
class byte_source {
 public:
  virtual ~byte_source() = default;
  // Points *data at the next block of input, *size > 0 bytes long, valid
  // until the next call. Returns false at the end of input. Throws
  // fatal_error on a read error.
  virtual bool next(const char** data, std::size_t* size) = 0;
};

// A byte_source over a C stream, read in blocks of block_size bytes. Does
// not own the stream.
class stdio_source : public byte_source {
 public:
  explicit stdio_source(std::FILE* fp, std::size_t block_size = 1 << 18);
  bool next(const char** data, std::size_t* size) override;

 private:
  std::FILE* fp_;
  std::vector<char> buf_;
};

// Input stream for the readers: the current block of a byte_source, which
// a reader can look into without consuming it.
class fasta_stream {
 public:
  // Reads from src, which must outlive the stream.
  explicit fasta_stream(byte_source* src) : src_(src) {}
  // Reads the C stream fp (not owned) in blocks of block_size bytes.
  explicit fasta_stream(std::FILE* fp, std::size_t block_size = 1 << 18);
  fasta_stream(const fasta_stream&) = delete;
  fasta_stream& operator=(const fasta_stream&) = delete;

  // Makes sure unread bytes are at hand. Returns false at the end of input.
  // Throws fatal_error on a read error.
  bool fill() { return pos_ < end_ || refill(); }
  const char* begin() const { return pos_; }
  const char* end() const { return end_; }
  void skip(std::size_t n) { pos_ += n; }
  // Working buffer for one record's residues, reused from call to call.
  std::vector<char>& tseq() { return tseq_; }

 private:
  bool refill();

  std::unique_ptr<byte_source> owned_;
  byte_source* src_;
  const char* pos_ = nullptr;
  const char* end_ = nullptr;
  bool eof_ = false;
  std::vector<char> tseq_;
};

// Filter mode of the full-alignment rule: 'a'-'z' are read as 'A'-'Z', and
// '.', '_' and '~' as '-'.
inline constexpr int FOLD_CASE = 3;

// How read_fasta_record reads residues.
struct fasta_rules {
  int flag = 0;  // filter mode: see read_fasta_seq, or FOLD_CASE
  // When not 0, '-' and 'X' (and what FOLD_CASE reads as them) are stored
  // as this character instead.
  char gap_mark = 0;
  std::size_t max_residues = MAX_SEQLEN;
};

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
  std::size_t dropped = 0;   // lower-case letters and '.' the filter dropped
  bool too_long = false;     // more than max_residues; the record is unread
};

// True when a header text begins with a PIR type code and ';' ("P1;",
// "F1;", "DL;", "DC;", "RL;", "RC;", "N3;", "N1;", "XX;").
bool has_pir_code(const std::string& comment);

// Reads the next record: its header text into *comment, its residues to
// the sink. A record is read as PIR when its header begins with a PIR type
// code and ';' (">P1;", ">F1;", ">DL;", ">DC;", ">RL;", ">RC;", ">N3;",
// ">N1;", ">XX;") and its residue lines end with the terminator '*': its
// first line after the header is then a description, not residues. Every
// other record is read as FASTA. Returns false at the end of input. Throws
// fasta_error when the input does not start with '>', or on a read error.
bool read_fasta_record(fasta_stream* fp, const fasta_rules& rules,
                       std::string* comment, residue_sink* out,
                       fasta_record_info* info);

// Reads the next record from fp into *seq, which then owns it.
// flag selects which characters besides 'A'-'Z' are kept:
//   0: '-' (everything else is dropped, lower case and '.' included);
//   2: '-', '.' and 'a'-'z', unchanged;
//   any other value: 'a'-'z', turned into upper case.
// A '>' ends the record wherever it stands and is left for the next call.
// PIR records are read as read_fasta_record says.
// Returns 1 when a record was read, -1 at the end of input (nothing stored).
// Throws fasta_error when the input does not start with '>' ("no header"),
// when a record would hold more than MAX_SEQLEN residues, or on a read error.
int read_fasta_seq(fasta_stream* fp, std::unique_ptr<fasta_seq>* seq, int flag);

// Releases the record *seq owns and leaves *seq empty.
void free_fasta_seq(std::unique_ptr<fasta_seq>* seq);

// Writes seq in a readable dump form: ">comment sequence length = N", then
// the residues, 61 a line. Write errors are left in fp's error flag.
void print_fasta_seq(std::FILE* fp, const fasta_seq& seq);

#endif  // COLSIEVE_FASTA_SEQ_H

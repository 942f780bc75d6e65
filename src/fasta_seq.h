// FASTA records: the record type, a buffered reader with a choice of
// character filters, and a dump form. A small library of its own, shared by
// colsieve and usable by other tools.
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

// Most residues one record may hold.
inline constexpr int MAX_SEQLEN = 45000;

// A failure while reading records. what() is the message for the user,
// without a line end.
struct fasta_error : fatal_error {
  using fatal_error::fatal_error;
};

// Input stream for read_fasta_seq: reads the underlying C stream in large
// blocks and hands them to the reader, which can look ahead one character
// without consuming it. Does not own the C stream.
class fasta_stream {
 public:
  explicit fasta_stream(std::FILE* fp, std::size_t block_size = 1 << 18);
  fasta_stream(const fasta_stream&) = delete;
  fasta_stream& operator=(const fasta_stream&) = delete;

  // Makes sure unread bytes are buffered. Returns false at the end of input.
  // Throws fasta_error on a read error.
  bool fill() { return pos_ < end_ || refill(); }
  const char* begin() const { return buf_.data() + pos_; }
  const char* end() const { return buf_.data() + end_; }
  void skip(std::size_t n) { pos_ += n; }
  // Working buffer for one record's residues, reused from call to call.
  char* tseq() { return tseq_.data(); }

 private:
  bool refill();

  std::FILE* fp_;
  std::vector<char> buf_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  std::vector<char> tseq_;
};

// Reads the next record from fp into *seq, which then owns it.
// flag selects which characters besides 'A'-'Z' are kept:
//   0: '-' (everything else is dropped, lower case and '.' included);
//   2: '-', '.' and 'a'-'z', unchanged;
//   any other value: 'a'-'z', turned into upper case.
// A '>' ends the record wherever it stands and is left for the next call.
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

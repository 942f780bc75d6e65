// Line-by-line reading for the text formats (Stockholm, Clustal, PHYLIP,
// NEXUS), over a byte source read in large blocks.
#ifndef COLSIEVE_INPUT_TEXT_LINES_H
#define COLSIEVE_INPUT_TEXT_LINES_H

#include <cstddef>
#include <string>
#include <string_view>

#include "fasta_seq.h"

class line_reader {
 public:
  explicit line_reader(byte_source* src) : in_(src) {}

  // The next line, without its line end (and without a carriage return
  // before it); valid until the next call. Returns false at the end of
  // input. Throws fatal_error on a read error.
  bool next(std::string_view* line);
  // 1-based number of the line returned last.
  std::size_t number() const { return number_; }

 private:
  fasta_stream in_;
  std::string long_line_;  // a line that crosses blocks
  std::size_t number_ = 0;
};

// Splits off the first blank-separated word of *rest (leading blanks
// skipped); returns it and leaves the remainder in *rest.
std::string_view take_word(std::string_view* rest);

// True for ' ', '\t' and the other ASCII blanks.
inline bool is_blank_char(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' ||
         c == '\n';
}

// The line without blanks at either end.
std::string_view trim(std::string_view line);

#endif  // COLSIEVE_INPUT_TEXT_LINES_H

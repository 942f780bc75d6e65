// Line-by-line reading for the text formats (Stockholm, Clustal, PHYLIP,
// NEXUS and the others), over a byte stream read in large blocks. A line
// ends at "\n", "\r\n" or a lone "\r". Lines can be taken whole, or in
// pieces, so that a reader never has to store a line it only passes over.
#ifndef COLSIEVE_INPUT_TEXT_LINES_H
#define COLSIEVE_INPUT_TEXT_LINES_H

#include <cstddef>
#include <string>
#include <string_view>

#include "base/byte_stream.h"

// Blanks and line ends: where a word within a line stops.
inline constexpr byte_set kBlankOrEnd = kBlank | kLineEnd;

class line_reader {
 public:
  static constexpr std::size_t npos = byte_stream::npos;
  explicit line_reader(byte_source* src) : in_(src) {}

  // Reads the next line, without its line end, into *line (valid until the
  // next call), keeping at most `max` bytes of it: the rest of a longer line
  // is passed over unstored, and cut() says so. Returns false at the end of
  // input. Throws fatal_error on a read error.
  bool next(std::string_view* line, std::size_t max = npos);
  bool cut() const { return cut_; }

  // A line in pieces: start() begins the next line (false at the end of
  // input); peek() and take() look into it without crossing its end;
  // finish() passes over the rest of it, unstored, and its line end.
  bool start();
  // The line's next byte, left unread, or -1 at the line's end.
  int peek();
  // Takes the line's bytes before the next byte of `stops` (which must hold
  // the line ends), at most `max` of them, appending them to *out (or
  // passing them over when out is null). Returns the stop byte, left unread
  // (-1 for the line's end), or byte_stream::kFull after `max` bytes.
  int take(const byte_set& stops, std::string* out, std::size_t max = npos);
  // Passes over blanks.
  void skip_blanks() { take(kNotBlank, nullptr); }
  void finish();
  // Passes over the lines that follow and are empty (nothing but a line
  // end), in one sweep: runs of blank lines cost no more than their bytes.
  void skip_empty_lines();

  // 1-based number of the line read or started last.
  std::size_t number() const { return number_; }

 private:
  static constexpr byte_set kNotBlank = ~kBlank;

  void end_line(int line_end);

  byte_stream in_;
  std::string long_line_;  // a line that crosses blocks, or is cut
  bool after_cr_ = false;  // the last line ended in '\r': a '\n' may follow
  bool cut_ = false;
  std::size_t number_ = 0;
};

// Splits off the first blank-separated word of *rest (leading blanks
// skipped); returns it and leaves the remainder in *rest.
std::string_view take_word(std::string_view* rest);

// True for ' ', '\t' and the other ASCII blanks, line ends included.
inline bool is_blank_char(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f' ||
         c == '\n';
}

// The line without blanks at either end.
std::string_view trim(std::string_view line);

#endif  // COLSIEVE_INPUT_TEXT_LINES_H

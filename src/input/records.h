// What the format readers hand back, and the pieces they share: the records
// as read, the rows of interleaved blocks with their checks, the letter and
// gap rule of full alignments, and the messages that name a place in the
// input.
#ifndef COLSIEVE_INPUT_RECORDS_H
#define COLSIEVE_INPUT_RECORDS_H

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/error.h"
#include "base/text.h"
#include "core/alignment.h"
#include "core/progress.h"
#include "input/fasta_seq.h"
#include "input/text_lines.h"

// A reader's result: the table (lseq not set yet), each record's own length,
// and what the reader left out.
struct loaded_input {
  alignment aln;
  std::vector<std::size_t> lengths;
  drop_counts drops{};  // FASTA: bytes dropped from residue lines
  // Rows read in place: whether a row the class counts leave out (one not
  // as long as the first) holds a residue that is no gap.
  bool uncounted_residue = false;
};

// What every reader is told.
struct read_context {
  std::string where;       // the input as messages name it
  std::size_t limit;       // most columns a record may have
  bool fold_case = false;  // -u: FASTA read by the full-alignment rule
  // Rows as the file holds its letters, for threading coding sequences:
  // FASTA rows keep lower case, '*' and what -u reads as gaps; the other
  // formats keep 'X' apart from the gaps.
  bool keep_letters = false;
  // Unaligned sequences (--cds): FASTA keeps every letter, either case,
  // and '-' and '.', which the caller refuses.
  bool unaligned = false;
  warn_fn warn;
  run_progress* progress = nullptr;  // counts a file read in place
};

// The records of a format whose sequences come in pieces: rows hold
// residues already read by the full-alignment rule (gaps marked).
class record_set {
 public:
  std::size_t size() const { return names_.size(); }
  const std::string& name(std::size_t i) const { return names_[i]; }
  std::string& row(std::size_t i) { return rows_[i]; }
  const std::string& row(std::size_t i) const { return rows_[i]; }

  // Adds a record; returns its index.
  std::size_t add(std::string name, name_form form = name_form::plain);

  // Moves the records into a table.
  loaded_input take();

 private:
  std::vector<std::string> names_, rows_;
  std::vector<name_form> forms_;
};

// The table of the full-alignment rule: every character is a column.
// Letters of either case are residues (upper case; 'x' and 'X' are gaps,
// unless keep_x keeps them as 'X'), the characters of `gaps` are gaps; gaps
// are stored as UNALIGNED.
filter_table full_row_table(const char* gaps, bool keep_x = false);

// Appends the residues of text to *row by table; blanks are skipped.
// Returns the first byte that is neither residue nor gap nor blank (0-255),
// or -1.
int append_row(const filter_table& table, std::string_view text,
               std::string* row);

// The rows of an alignment written in interleaved blocks, checked as they
// come: every row of a block must be as long as the block's first row, and
// every block must hold each record of the first block once. Records are
// known by name (Stockholm, interleaved NEXUS: rows in any order, but two
// rows with one name in a block are an error) or by position (Clustal,
// whose writers cut names: the n-th row of every block is record n, and
// must carry its name).
class block_rows {
 public:
  enum class key { name, position };
  block_rows(key k, const read_context& ctx, filter_table table);

  // Starts a row of the current block, on the given line. Throws
  // fatal_error when its name breaks the block rules.
  void begin_row(std::string_view name, std::size_t line,
                 name_form form = name_form::plain);
  // Appends residue text to the row begun last. Throws fatal_error for a
  // character that is neither residue nor gap, or when the record grows
  // past the column limit.
  void add(std::string_view text);
  // Appends the rest of the line `lines` is in to the row begun last, a
  // piece at a time, so that a row is never held twice; the line end is
  // left unread.
  void add_rest_of_line(line_reader& lines);
  // Ends the row begun last: checks its width.
  void end_row();
  // Ends the current block, if it has rows: checks that it holds every
  // record of the first block. `line` is where the block ended.
  void end_block(std::size_t line);
  // Rows in the current block.
  std::size_t block_size() const { return in_block_; }
  // Records of the first block (all the records there are).
  std::size_t records() const { return recs_.size(); }
  // The record of the row begun last, and a record's name.
  std::size_t current() const { return row_; }
  const std::string& name(std::size_t k) const { return recs_.name(k); }
  // Whether a record of that name is in the first block (by name only).
  bool in_first_block(std::string_view name) const;

  // Ends the last block and moves the records into a table.
  loaded_input take(std::size_t last_line);

 private:
  [[noreturn]] void fail(std::size_t line, const std::string& what) const;

  key key_;
  const read_context& ctx_;
  filter_table table_;
  record_set recs_;
  std::unordered_map<std::string, std::size_t> index_;  // by name: first block
  bool first_block_ = true;
  std::size_t in_block_ = 0;       // rows of the current block so far
  std::size_t width_ = 0;          // the current block's first row's width
  std::size_t row_ = 0;            // the record of the row begun last
  std::size_t row_start_ = 0;      // its length before the row
  std::size_t row_line_ = 0;       // the line of the row begun last
  std::size_t block_first_ = 0;    // the record of the block's first row
  std::vector<std::size_t> seen_;  // by name: block in which each was seen
  std::size_t block_ = 0;          // the current block's number
  std::string piece_;              // add_rest_of_line's text
};

// "Error: sequence lengths differ!" and a line that names record i (from
// 0) and record 1 with their lengths in columns.
std::string lengths_differ(std::size_t i, std::string_view name,
                           std::size_t length, std::string_view first,
                           std::size_t first_length);

// What the readers of MEGA and NEXUS store for a match character ('.' in
// MEGA, MATCHCHAR in NEXUS), which stands for the first record's residue
// in its column.
inline constexpr char kMatchMark = '\x01';

// Puts the first record's residue in place of every kMatchMark of the other
// rows (a gap where the first row is shorter).
void resolve_match_marks(loaded_input* in);

// "line 12: sequence \"abc\" holds '*', which is neither a residue (a
// letter) nor a gap" style message for such a byte.
std::string bad_character(std::size_t line, std::string_view name, int byte);

// The input as messages name it: the file name, or "standard input" for "-".
std::string input_label(const std::string& input_name);

// Throws the error for record `record` (1-based) holding more than `limit`
// columns: "ERROR: sequence too long." and a line on --max-columns.
[[noreturn]] void record_too_long(std::size_t record, std::string_view name,
                                  std::size_t limit);

#endif  // COLSIEVE_INPUT_RECORDS_H

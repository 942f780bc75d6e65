// What the format readers hand back, and the pieces they share: the table
// of records as read, names kept in order of first appearance, and the
// letter and gap rules of full alignments.
#ifndef COLSIEVE_INPUT_RECORDS_H
#define COLSIEVE_INPUT_RECORDS_H

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/alignment.h"
#include "text.h"

// A reader's result: the table (lseq not set yet), each record's own length,
// and what the reader left out.
struct loaded_input {
  alignment aln;
  std::vector<std::size_t> lengths;
  std::size_t dropped = 0;  // FASTA: lower-case letters and '.' dropped
  std::string format;       // "FASTA", "Stockholm", ...
};

// Records of a format whose sequences come in pieces (interleaved blocks):
// a piece is appended to the record of its name, and records keep the
// order in which their names first appear.
class record_set {
 public:
  // The index of the record called name, added if it is new.
  std::size_t find_or_add(std::string_view name);
  std::size_t find(std::string_view name) const;  // npos if absent
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  std::size_t size() const { return names_.size(); }
  const std::string& name(std::size_t i) const { return names_[i]; }
  std::string& row(std::size_t i) { return rows_[i]; }
  const std::string& row(std::size_t i) const { return rows_[i]; }

  // Adds a record without looking for its name (formats that allow the
  // same name twice, or number their rows).
  std::size_t add(std::string name);

  // Moves the records into a table, marking gaps ('-' and 'X').
  loaded_input take(std::string format);

 private:
  std::vector<std::string> names_, rows_;
  std::unordered_map<std::string, std::size_t> index_;
};

// The letter rule of full alignments: every character is a column. Letters
// of either case are residues (upper case; 'x' and 'X' are gaps), the
// characters of `gaps` are gaps, blanks are skipped. Appends the residues of
// text to *row as upper-case letters and '-'. Returns the first byte that
// is neither (0-255), or -1.
int append_full_row(std::string_view text, const char* gaps, std::string* row);

// "line 12: record \"abc\" has '*', which is neither a residue nor a gap"
// style message for such a byte.
std::string bad_character(std::size_t line, std::string_view name, int byte);

// The input as messages name it: the file name, or "standard input" for "-".
std::string input_label(const std::string& input_name);

// Throws the error for record `record` (1-based) holding more than `limit`
// columns: "ERROR: sequence too long." and a line on --max-columns.
[[noreturn]] void record_too_long(std::size_t record, std::string_view name,
                                  std::size_t limit);

#endif  // COLSIEVE_INPUT_RECORDS_H

// The alignment table: every record of the input in input order, all of the
// same length, gaps marked.
#ifndef COLSIEVE_CORE_ALIGNMENT_H
#define COLSIEVE_CORE_ALIGNMENT_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/big_buffer.h"
#include "core/rows.h"

// Gap marker: after loading, every gap and every 'X' of a residue string is
// this character, the one after 'Z', so that it minus 'A' is the gap class
// 26.
inline constexpr int UNALIGNED = 91;

// The most columns an alignment may have: the outputs count columns in
// 32-bit integers.
inline constexpr std::size_t MAX_WIDTH = 2147483647;

// How a record's name stood in the input, where the names that tree
// formats write depend on it.
enum class name_form : unsigned char {
  plain,   // the header text as it is
  quoted,  // a quoted NEXUS name ('Homo sapiens'): one word, blanks and all
  pir,     // a PIR record's header: a type code and ';' ("P1;") come first
};

// The alignment table. The residues of all records live in one buffer of
// huge pages; each row holds 'A'-'Z' (never 'X') and UNALIGNED.
struct alignment {
  std::vector<std::string> names;    // header text of each record
  std::vector<std::size_t> offsets;  // where each row starts in residues
  big_buffer residues;
  std::size_t lseq = 0;  // the common length of the rows
  // One entry a record, or none when every name is plain.
  std::vector<name_form> forms;
  // Where the rows are when the table holds none (a large plain file):
  // offsets and residues are then empty.
  std::shared_ptr<row_source> source;

  std::size_t nseq() const { return names.size(); }
  name_form form(std::size_t i) const {
    return forms.empty() ? name_form::plain : forms[i];
  }
  bool in_memory() const { return source == nullptr; }
  // Columns [c0, c1) of row i: in the table, or read into buf (room for
  // c1 - c0 bytes) from where the rows are.
  const char* segment(std::size_t i, std::size_t c0, std::size_t c1,
                      char* buf) const {
    return source ? source->read(i, c0, c1, buf) : row(i) + c0;
  }
  // REQUIRES: in_memory().
  const char* row(std::size_t i) const { return residues.data() + offsets[i]; }
  std::string_view row_view(std::size_t i) const { return {row(i), lseq}; }

  // Adds a record after the last one, copying its residues (gaps already
  // marked) to the end of the buffer, which ends at `used` bytes and grows
  // as needed. Returns the new end. The readers of interleaved formats build
  // their table this way; the FASTA reader writes straight into the buffer.
  std::size_t append(std::string name, std::string_view marked,
                     std::size_t used);
};

// Builds a table from rows of equal length that are already gap-marked.
alignment make_alignment(const std::vector<std::string>& names,
                         const std::vector<std::string>& rows);

#endif  // COLSIEVE_CORE_ALIGNMENT_H

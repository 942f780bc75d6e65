// The alignment table: every record of the input in input order, all of the
// same length, gaps marked.
#ifndef COLSIEVE_CORE_ALIGNMENT_H
#define COLSIEVE_CORE_ALIGNMENT_H

#include <cstddef>
#include <cstdint>
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
  // The classes of every column (27 a column, the gap class last), where
  // they were counted as the rows were first read; else empty.
  std::vector<std::uint32_t> class_counts;

  std::size_t nseq() const { return names.size(); }
  name_form form(std::size_t i) const {
    return forms.empty() ? name_form::plain : forms[i];
  }
  // Whether the table holds the rows (a source reads them otherwise).
  bool in_memory() const { return source == nullptr; }
  // Columns [c0, c1) of row i: in the table, or read into buf (room for
  // c1 - c0 bytes) from where the rows are. Every pass reads rows so.
  const char* segment(std::size_t i, std::size_t c0, std::size_t c1,
                      char* buf) const {
    return source ? source->read(i, c0, c1, buf) : row(i) + c0;
  }
  // The same for rows [i0, i1): rows[k] points at row i0 + k's columns, in
  // the table or read into buf + k * stride.
  void segments(std::size_t i0, std::size_t i1, std::size_t c0, std::size_t c1,
                char* buf, std::size_t stride, const char** rows) const {
    if (source) {
      source->read_rows(i0, i1, c0, c1, buf, stride, rows);
      return;
    }
    for (std::size_t i = i0; i < i1; ++i) rows[i - i0] = row(i) + c0;
  }
  // Makes the three columns from 3 * codon on of each (row, codon) gaps
  // (class_counts are the caller's to mend).
  void mask_codons(
      const std::vector<std::pair<std::size_t, std::size_t>>& codons);
  // Throws input_changed when the rows' file changed since it was first
  // read (see row_source); nothing for rows in the table.
  void check_unchanged() const {
    if (source) source->check_unchanged();
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

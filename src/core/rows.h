// Where the residues of an alignment are when its table does not hold them:
// a large plain FASTA file is read again, a tile of rows at a time, in each
// pass of the run, so that no copy of its residues is ever made. Every pass
// reads rows through alignment::segment and segments, which hide whether
// they come from the table or from such a source (as htslib's iterators
// hide whether records come from memory or a file).
#ifndef COLSIEVE_CORE_ROWS_H
#define COLSIEVE_CORE_ROWS_H

#include <cstddef>
#include <utility>
#include <vector>

class row_source {
 public:
  virtual ~row_source() = default;

  // Columns [c0, c1) of row i, gaps marked as the table marks them, into
  // buf (room for c1 - c0 bytes). Returns buf. Throws fatal_error when the
  // file cannot be read, input_changed when it has changed.
  virtual const char* read(std::size_t i, std::size_t c0, std::size_t c1,
                           char* buf) const = 0;

  // Columns [c0, c1) of rows [i0, i1): row i0 + k read into buf + k *
  // stride, and rows[k] pointed at it. The same as read() row by row; a
  // source may fetch the next rows while it reads one.
  virtual void read_rows(std::size_t i0, std::size_t i1, std::size_t c0,
                         std::size_t c1, char* buf, std::size_t stride,
                         const char** rows) const {
    for (std::size_t i = i0; i < i1; ++i)
      rows[i - i0] = read(i, c0, c1, buf + (i - i0) * stride);
  }

  // Makes the three columns from 3 * codon on of each (row, codon) gaps in
  // every later read.
  virtual void mask_codons(
      const std::vector<std::pair<std::size_t, std::size_t>>& codons) = 0;

  // Throws input_changed when the file is not as it was when it was first
  // read: its identity, size or modification time, or the residues of the
  // rows read whole since the last call.
  virtual void check_unchanged() const = 0;
};

#endif  // COLSIEVE_CORE_ROWS_H

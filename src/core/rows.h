// Where the residues of an alignment are when its table does not hold them:
// a large plain FASTA file is read again, row by row, in each pass of the
// run, so that no copy of its residues is ever made.
#ifndef COLSIEVE_CORE_ROWS_H
#define COLSIEVE_CORE_ROWS_H

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class row_source {
 public:
  virtual ~row_source() = default;

  // Columns [c0, c1) of row i, gaps marked as the table marks them, into
  // buf (room for c1 - c0 bytes). Returns buf. Throws fatal_error when the
  // file cannot be read or has changed.
  virtual const char* read(std::size_t i, std::size_t c0, std::size_t c1,
                           char* buf) const = 0;

  // How many residues of each class (27 a column, the gap class last) every
  // column holds, counted when the rows were first read.
  virtual const std::vector<std::uint32_t>& class_counts() const = 0;

  // Makes the three columns from 3 * codon on of each (row, codon) gaps, in
  // every later read and in the class counts. REQUIRES: they are no gaps.
  virtual void mask_codons(
      const std::vector<std::pair<std::size_t, std::size_t>>& codons) = 0;

  // Throws fatal_error when the file is not as it was when it was first
  // read (its size or its modification time changed).
  virtual void check_unchanged() const = 0;
};

#endif  // COLSIEVE_CORE_ROWS_H

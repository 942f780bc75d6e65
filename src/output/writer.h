// The trimmed-alignment writer: default and PHYLIP layouts.
#ifndef COLSIEVE_OUTPUT_WRITER_H
#define COLSIEVE_OUTPUT_WRITER_H

#include <cstddef>
#include <string>
#include <vector>

#include "core/alignment.h"
#include "output/buffer.h"

// Writes records after selection: selected columns in upper case with '-'
// for gaps; unselected ones in lower case with '.' for gaps, or left out
// when remove_cols is set. Default layout: ">name", then lines of 61
// characters; PHYLIP layout: name, a space and all characters on one line.
// Per-column tables are built once, so one writer serves a whole alignment.
class trimmed_writer {
 public:
  trimmed_writer(const std::vector<int>& is_selected, int remove_cols,
                 int phylip);
  // REQUIRES: seq.seqlen() <= is_selected.size().
  void write(output_buffer& fp, const fasta_seq& seq);

 private:
  struct run {
    std::size_t begin, end;  // columns [begin, end) written side by side
  };
  std::vector<run> runs_;
  std::vector<unsigned char> case_bit_;  // 0x20 where letters go lower case
  std::vector<unsigned char> gap_char_;  // '-' or '.'
  std::string line_;                     // the record's written characters
  int phylip_;
};

// Writes one record; see trimmed_writer.
void print_trimmed_align(output_buffer& fp, const std::vector<int>& is_selected,
                         int remove_cols, int phylip, const fasta_seq& seq);

#endif  // COLSIEVE_OUTPUT_WRITER_H

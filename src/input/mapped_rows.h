// The rows of a large plain FASTA file, read again from the file in each
// pass instead of held in memory: a read-only mapping of the file, with a
// guard that turns a file cut short under the mapping into an error of the
// read. Rows laid out evenly are read where they stand; the others, from
// checkpoints every kCheckpoint columns. Every row is checked against a
// hash of what the first pass read, so that a file changed in place (same
// size, same modification time) is an error, never wrong weights or
// garbled output.
#ifndef COLSIEVE_INPUT_MAPPED_ROWS_H
#define COLSIEVE_INPUT_MAPPED_ROWS_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/file_state.h"
#include "core/progress.h"
#include "core/rows.h"
#include "input/fasta_seq.h"

// Where a record's residues stand in its file.
struct row_place {
  std::uint64_t start = 0;  // the byte of its first residue
  // Rows laid out evenly (every line `width` residues and nothing else):
  // column j is byte start + j / width * (width + line_end) + j % width.
  // Uneven rows (width 0) are read from their checkpoints.
  std::uint32_t width = 0;
  std::uint8_t line_end = 1;
  std::uint32_t checkpoint = 0;  // uneven: the first of theirs in the table
};

// Columns between the checkpoints of an uneven row: checkpoint k is the
// offset, from the row's start, of the byte of column k * kCheckpoint.
inline constexpr std::size_t kCheckpoint = 512;

// The hash of columns [c0, c1) of a row, given as the table holds them
// (codes[0] is column c0): two 32-bit sums over the row's 4-column words,
// each word times multipliers of its own, so that the hashes of pieces of a
// row add up (add_terms) to the hash of the whole.
std::uint64_t row_hash(const char* codes, std::size_t c0, std::size_t c1);

// The sum of two hashes of pieces of a row, and n times a hash.
inline std::uint64_t add_terms(std::uint64_t a, std::uint64_t b) {
  return (((a >> 32) + (b >> 32)) & 0xFFFFFFFFu) << 32 |
         ((a + b) & 0xFFFFFFFFu);
}
inline std::uint64_t times(std::uint64_t h, std::uint64_t n) {
  return (((h >> 32) * n) & 0xFFFFFFFFu) << 32 | ((h * n) & 0xFFFFFFFFu);
}

// Appends the checkpoints of an uneven row to *out: `bytes` (n of them) are
// the row's residue lines from the byte of its start on, read by `rules`;
// the row has `residues` columns.
void add_checkpoints(const char* bytes, std::size_t n, std::size_t residues,
                     const fasta_rules& rules, std::vector<std::uint32_t>* out);

// What the first pass learnt of a file's rows.
struct row_index {
  std::vector<row_place> places;
  std::vector<std::uint32_t> checkpoints;
  std::vector<std::uint64_t> hashes;  // row_hash of each whole row
};

// The rows of the file open on fd (duplicated: the rows keep their own
// descriptor), lseq columns each, as its first pass found them; `before` is
// the file as it was when that pass began, `where` how messages name it.
// progress (may be null) counts the residues read. Throws fatal_error when
// the file cannot be mapped, input_changed when it is not as it was.
std::shared_ptr<row_source> map_rows(int fd, const file_state& before,
                                     std::string where, std::size_t lseq,
                                     row_index index, const fasta_rules& rules,
                                     run_progress* progress);

#endif  // COLSIEVE_INPUT_MAPPED_ROWS_H

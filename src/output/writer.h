// The trimmed-alignment writer: default and PHYLIP layouts, and writing a
// whole alignment with records formatted on several threads.
#ifndef COLSIEVE_OUTPUT_WRITER_H
#define COLSIEVE_OUTPUT_WRITER_H

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/alignment.h"
#include "core/parallel.h"
#include "input/fasta_seq.h"
#include "output/buffer.h"

// Formats one record at a time into memory; const, so that threads can
// share one formatter.
class record_formatter {
 public:
  virtual ~record_formatter() = default;
  // Most bytes format() writes for a record with this name and length.
  virtual std::size_t bound(std::string_view name, std::size_t len) const = 0;
  // Writes record `index` (its name and its len residues) to dst, which has
  // room for bound() bytes; returns the bytes written.
  virtual std::size_t format(char* dst, std::size_t index,
                             std::string_view name, const char* row,
                             std::size_t len) const = 0;
};

// Writes records after selection: selected columns in upper case with '-'
// for gaps; unselected ones in lower case with '.' for gaps, or left out
// when remove_cols is set. Default layout: ">name", then lines of 61
// characters; PHYLIP layout: name, a space and all characters on one line.
// The writer reads is_selected (one byte a column: 1 selected, 0 not; no
// other value), which must outlive it; with remove_cols it also keeps the runs
// of selected columns (8 bytes a run). One writer serves a whole alignment.
// Throws fatal_error when is_selected has 2^32 columns or more.
class trimmed_writer : public record_formatter {
 public:
  trimmed_writer(const std::vector<unsigned char>& is_selected, int remove_cols,
                 int phylip);
  std::size_t bound(std::string_view name, std::size_t len) const override;
  // Throws fatal_error when len > is_selected.size().
  std::size_t format(char* dst, std::size_t index, std::string_view name,
                     const char* row, std::size_t len) const override;
  void write(output_buffer& fp, const fasta_seq& seq) const;

  // Writes the selected columns of row only, as they are written (upper
  // case, '-' for gaps), to dst; returns how many. Run by run with
  // remove_cols, else column by column.
  std::size_t kept(char* dst, const char* row, std::size_t len) const;

 private:
  struct run {
    std::uint32_t begin, end;  // columns [begin, end) selected side by side
  };

  const std::vector<unsigned char>& mask_;
  std::vector<run> kept_runs_;  // the selected columns, with remove_cols
  int remove_cols_;
  int phylip_;
};

// Writes one record; see trimmed_writer.
void print_trimmed_align(output_buffer& fp,
                         const std::vector<unsigned char>& is_selected,
                         int remove_cols, int phylip, const fasta_seq& seq);

// Writes every record of aln in input order through fmt. When the output is
// worth threads, the records are formatted in batches, each thread its own
// share into its own buffer, and the buffers written in order: the bytes
// are the same.
void write_records(output_buffer& fp, const alignment& aln,
                   const record_formatter& fmt, thread_pool& pool);

#endif  // COLSIEVE_OUTPUT_WRITER_H

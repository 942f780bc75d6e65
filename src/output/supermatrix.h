// The join of many trimmed alignments by taxon: the supermatrix, written in
// any output format taxon by taxon from the kept columns of each alignment
// (never a second copy of them), its partitions for the tree programs
// (RAxML and IQ-TREE lines, or NEXUS for IQ-TREE and MrBayes) and the
// table of each taxon's occupancy.
#ifndef COLSIEVE_OUTPUT_SUPERMATRIX_H
#define COLSIEVE_OUTPUT_SUPERMATRIX_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/alignment.h"
#include "core/alphabet.h"
#include "core/parallel.h"
#include "core/weights.h"
#include "output/buffer.h"
#include "output/formats.h"

// How the partitions are written.
enum class partition_style {
  raxml,  // "DNA, gene = 1-300" lines, which RAxML (-q) and IQ-TREE read
  nexus,  // a sets block of charsets (IQ-TREE -p) and a mrbayes block
};

// What a partition is.
enum class partition_split {
  gene,   // one a gene
  codon,  // one a codon position of a gene of whole codons
};

// The model a protein gene's line of RAxML partitions names: RAxML needs a
// protein model there, and IQ-TREE reads it as "protein".
inline constexpr const char* kProteinModel = "LG";

// What the join keeps of one trimmed alignment.
struct join_gene {
  std::string name;               // in the partitions: a plain word
  std::vector<std::string> taxa;  // one a record, all different
  std::size_t width = 0;          // kept columns
  std::unique_ptr<char[]> cells;  // the rows' kept columns, row after row,
                                  // as the table holds them (gaps UNALIGNED)
  std::vector<std::uint32_t> missing;  // a row: its gaps (and N in DNA)
  alphabet kind = alphabet::protein;
  bool codons = false;  // whole codons from its first column
};

// The gene of aln's kept columns (kept.is_selected): their cells, their
// alphabet and each row's missing cells. Reads rows that are not in memory
// one at a time. REQUIRES: taxa has one name a record, all different.
join_gene make_join_gene(std::string name, std::vector<std::string> taxa,
                         const alignment& aln, const selection& kept,
                         bool codons);

// A name as the partitions take it: letters, digits, '_' and '.' kept,
// every other byte '_' (so that RAxML, IQ-TREE and MrBayes read it as one
// word).
std::string partition_word(const std::string& text);

// The supermatrix of genes, in their order: the taxa in the order they
// first occur, each row the genes' rows side by side, a taxon missing from
// a gene filled with `missing` ('-' or '?').
class supermatrix {
 public:
  // REQUIRES: each gene's taxa differ. Takes the genes.
  supermatrix(std::vector<join_gene> genes, char missing);
  ~supermatrix();
  supermatrix(const supermatrix&) = delete;
  supermatrix& operator=(const supermatrix&) = delete;

  std::size_t taxa() const { return taxa_.size(); }
  std::size_t columns() const { return columns_; }
  std::size_t genes() const { return genes_.size(); }
  // The first column of gene k, from 0.
  std::size_t start(std::size_t k) const { return starts_[k]; }
  std::size_t columns_of(std::size_t k) const {
    return starts_[k + 1] - starts_[k];
  }
  // Columns [c0, c1) of taxon t's row, as the table holds rows (gaps
  // UNALIGNED), into buf (room for c1 - c0 bytes); returns buf. The
  // writers read the rows so.
  const char* segment(std::size_t t, std::size_t c0, std::size_t c1,
                      char* buf) const;
  // True when the genes are not all nucleotides or all protein.
  bool mixed() const;

  // Writes the matrix in format f (the taxa as its names), streamed row by
  // row; the bytes are the same for every number of threads.
  void write(output_buffer& out, out_format f, thread_pool& pool) const;

  // Writes the partitions: one a gene, or with split codon, one a codon
  // position of each gene of whole codons (name_pos1 = 1-300\3, ...).
  // Nucleotide genes are DNA, protein ones kProteinModel.
  void write_partitions(output_buffer& out, partition_style style,
                        partition_split split) const;

  // Writes the taxa table: a header line, then a line per taxon: its name,
  // the genes it is in, their columns, and the percent of the supermatrix's
  // columns it misses (gaps, N in DNA, and the genes it is not in).
  void write_taxa_table(output_buffer& out) const;

 private:
  class rows;

  std::vector<join_gene> genes_;
  char missing_;
  std::vector<std::string> taxa_;
  // For each gene, its rows by taxon: (taxon, row) sorted by taxon.
  std::vector<std::vector<std::pair<std::uint32_t, std::uint32_t>>> rows_of_;
  std::vector<std::size_t> starts_;  // one a gene, and the total last
  std::size_t columns_ = 0;
};

#endif  // COLSIEVE_OUTPUT_SUPERMATRIX_H

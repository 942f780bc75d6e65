// Loading the alignment table.
#include "core/alignment.h"

#include "error.h"

alignment load_alignment(fasta_stream* fp) {
  alignment aln;
  std::unique_ptr<fasta_seq> rec;
  while (read_fasta_seq(fp, &rec, 0) == 1) {
    // 'X' is an unknown residue: it counts and prints as a gap. (Written
    // without a branch so that it vectorises.)
    for (char& c : rec->seq) c = c == '-' || c == 'X' ? UNALIGNED : c;
    aln.seq.push_back(std::move(rec));
  }
  if (aln.seq.empty()) throw fatal_error("Error: no sequences in input file");
  aln.lseq = aln.seq[0]->seqlen();
  for (std::size_t i = 1; i < aln.seq.size(); ++i)
    if (aln.seq[i]->seqlen() != aln.lseq)
      throw fatal_error("Error: sequence lengths differ!");
  if (aln.lseq == 0)
    throw fatal_error(
        "Error: alignment has no columns (lower-case letters and '.' are "
        "read as insertions and dropped)");
  return aln;
}

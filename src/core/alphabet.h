// Telling nucleotides from protein by the letters of an alignment, for the
// formats and views that depend on it (NEXUS's DATATYPE, the report's
// colours).
#ifndef COLSIEVE_CORE_ALPHABET_H
#define COLSIEVE_CORE_ALPHABET_H

#include <cstddef>
#include <string_view>
#include <vector>

#include "core/alignment.h"

enum class alphabet { protein, dna, rna };

// Counts the letters it is shown and applies the rule: nucleotides when
// every letter is an IUPAC nucleotide code (A C G T U R Y S W K M B D H V N)
// and at least 90 % of them are A, C, G, T, U or N; then RNA when U occurs
// and T does not, else DNA. Protein otherwise, and when there is no letter.
// Characters other than 'A'-'Z' (gaps) are not counted.
class alphabet_tally {
 public:
  void add(std::string_view residues);
  alphabet guess() const;
  // True once a letter that is no nucleotide code was seen: the guess is
  // protein, whatever follows.
  bool settled() const;

 private:
  friend alphabet guess_alphabet(const alignment&,
                                 const std::vector<unsigned char>&);
  // Adds the n characters of row whose mask entry is not 0.
  void add_masked(const unsigned char* row, const unsigned char* mask,
                  std::size_t n);

  std::size_t letters_ = 0, plain_ = 0;
  unsigned char seen_ = 0;  // what the characters were, one bit a kind
};

// The alphabet of the columns of aln whose is_selected entry is not 0, by
// the rule above, over every row.
// REQUIRES: is_selected.size() >= aln.lseq.
alphabet guess_alphabet(const alignment& aln,
                        const std::vector<unsigned char>& is_selected);

// The alphabet of the selected columns as a file must name it: theirs, but
// the whole alignment's where that is nucleotides and the selected columns
// alone look like protein (no letter at all, none selected, or more
// ambiguity codes than the rule allows): columns of a nucleotide alignment
// hold nucleotide codes only. The NEXUS writer and the report both ask it
// about the columns they show, so that they always agree.
// REQUIRES: is_selected.size() >= aln.lseq.
alphabet written_alphabet(const alignment& aln,
                          const std::vector<unsigned char>& is_selected);

#endif  // COLSIEVE_CORE_ALPHABET_H

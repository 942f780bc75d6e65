// Nucleotides or protein.
#include "core/alphabet.h"

#include <array>
#include <memory>

namespace {

// What a character is, one bit each.
constexpr unsigned char kLetter = 1;  // 'A'-'Z'
constexpr unsigned char kPlain = 2;   // A, C, G, T, U or N
constexpr unsigned char kOther = 4;   // a letter that is no nucleotide code
constexpr unsigned char kU = 8, kT = 16;

constexpr std::array<unsigned char, 256> make_table() {
  std::array<unsigned char, 256> f{};
  const char* codes = "ACGTURYSWKMBDHVN";
  for (int c = 'A'; c <= 'Z'; ++c) {
    unsigned char bits = kLetter | kOther;
    for (const char* p = codes; *p != 0; ++p)
      if (*p == c) bits = kLetter | (p - codes < 5 || c == 'N' ? kPlain : 0);
    if (c == 'U') bits |= kU;
    if (c == 'T') bits |= kT;
    f[static_cast<std::size_t>(c)] = bits;
  }
  return f;
}
constexpr std::array<unsigned char, 256> kFlags = make_table();

}  // namespace

void alphabet_tally::add(std::string_view residues) {
  for (const char c : residues) {
    const unsigned char f = kFlags[static_cast<unsigned char>(c)];
    letters_ += f & kLetter;
    plain_ += (f & kPlain) >> 1;
    seen_ |= f;
  }
}

void alphabet_tally::add_masked(const unsigned char* row,
                                const unsigned char* mask, std::size_t n) {
  // No branch: an unselected column's flags are cleared.
  std::size_t letters = 0, plain = 0;
  unsigned char seen = 0;
  for (std::size_t j = 0; j < n; ++j) {
    const unsigned char f =
        kFlags[row[j]] & static_cast<unsigned char>(-(mask[j] != 0));
    letters += f & kLetter;
    plain += (f & kPlain) >> 1;
    seen |= f;
  }
  letters_ += letters;
  plain_ += plain;
  seen_ |= seen;
}

bool alphabet_tally::settled() const { return (seen_ & kOther) != 0; }

alphabet alphabet_tally::guess() const {
  if (settled() || letters_ == 0 || plain_ * 10 < letters_ * 9)
    return alphabet::protein;
  return (seen_ & kU) != 0 && (seen_ & kT) == 0 ? alphabet::rna : alphabet::dna;
}

alphabet guess_alphabet(const alignment& aln,
                        const std::vector<unsigned char>& is_selected) {
  alphabet_tally tally;
  // Row by row, stopping at the first row that settles it (a protein
  // alignment settles in its first row).
  const std::unique_ptr<char[]> row(new char[aln.lseq]);
  for (std::size_t i = 0; i < aln.nseq() && !tally.settled(); ++i)
    tally.add_masked(reinterpret_cast<const unsigned char*>(
                         aln.segment(i, 0, aln.lseq, row.get())),
                     is_selected.data(), aln.lseq);
  return tally.guess();
}

alphabet written_alphabet(const alignment& aln,
                          const std::vector<unsigned char>& is_selected) {
  const alphabet a = guess_alphabet(aln, is_selected);
  if (a != alphabet::protein) return a;
  // A protein alignment settles in its first row: this costs a row.
  return guess_alphabet(aln, std::vector<unsigned char>(aln.lseq, 1));
}

// The genetic codes of NCBI's translation tables, for reading coding
// sequences: what a codon (IUPAC ambiguity codes allowed) may code for.
#ifndef COLSIEVE_CORE_GENETIC_CODE_H
#define COLSIEVE_CORE_GENETIC_CODE_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class genetic_code {
 public:
  // NCBI translation table `id`, or nullptr when colsieve does not have it.
  static const genetic_code* find(int id);
  // The tables there are, for messages: "1-6, 9-16, 21-25".
  static const char* known();
  // Their numbers, in order.
  static std::vector<int> ids();

  int id() const { return id_; }

  // What the codon at c (three letters, either case; U reads as T) may code
  // for: bit k for the amino acid 'A' + k, bit 26 for a stop. 0 when a
  // letter is no nucleotide.
  std::uint32_t readings(const char* c) const {
    return table_[(nucleotide(c[0]) << 8) | (nucleotide(c[1]) << 4) |
                  nucleotide(c[2])];
  }
  static constexpr std::uint32_t kStop = 1u << 26;

  // Whether the codon may code for the protein's residue r (upper case):
  // 'X' takes any codon but a stop, '*' a codon that may be a stop; 'B', 'Z'
  // and 'J' each take the codons of their two residues. A start codon read
  // as M at a protein's first residue is may_start's, not this.
  bool codes_for(const char* c, char r) const;

  // Whether every reading of the codon is a stop.
  bool is_stop(const char* c) const { return readings(c) == kStop; }

  // Whether any reading of the codon is one of the table's start codons
  // (NCBI's "Starts"), which code for M as a protein's first codon.
  bool may_start(const char* c) const {
    return start_[(nucleotide(c[0]) << 8) | (nucleotide(c[1]) << 4) |
                  nucleotide(c[2])];
  }

  // The table's start and stop codons, for messages: "TTG, CTG, ATG".
  const std::string& starts() const { return starts_; }
  const std::string& stops() const { return stops_; }

  // The readings as text: "W", "I/M", "*"; "none" for no reading.
  static std::string shown(std::uint32_t readings);

  // The four bases a nucleotide letter may stand for (A, C, G, T as bits
  // 0-3), or 0 for a letter that is no nucleotide.
  static unsigned nucleotide(char c);

 private:
  genetic_code(int id, const char* amino_acids, const char* starts);
  int id_;
  std::array<std::uint32_t, 4096> table_;  // by the three bases' masks
  std::array<bool, 4096> start_;           // the same way
  std::string starts_, stops_;
};

#endif  // COLSIEVE_CORE_GENETIC_CODE_H

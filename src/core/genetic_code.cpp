#include "core/genetic_code.h"

#include <memory>

namespace {

// The amino acid of each codon, in the order of NCBI's tables: first base
// T, C, A, G, then the second, then the third; '*' for a stop. Then the
// table's "Starts" line: 'M' for each codon that may start a protein (and
// then codes for M there).
struct table_text {
  int id;
  const char* amino_acids;
  const char* starts;
};
constexpr table_text kTables[] = {
    {1, "FFLLSSSSYY**CC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
     "---M---------------M---------------M----------------------------"},
    {2, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIMMTTTTNNKKSS**VVVVAAAADDEEGGGG",
     "--------------------------------MMMM---------------M------------"},
    {3, "FFLLSSSSYY**CCWWTTTTPPPPHHQQRRRRIIMMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
     "----------------------------------MM---------------M------------"},
    {4, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
     "--MM---------------M------------MMMM---------------M------------"},
    {5, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIMMTTTTNNKKSSSSVVVVAAAADDEEGGGG",
     "---M----------------------------MMMM---------------M------------"},
    {6, "FFLLSSSSYYQQCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
     "-----------------------------------M----------------------------"},
    {9, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIIMTTTTNNNKSSSSVVVVAAAADDEEGGGG",
     "-----------------------------------M---------------M------------"},
    {10, "FFLLSSSSYY**CCCWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
     "-----------------------------------M----------------------------"},
    {11, "FFLLSSSSYY**CC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
     "---M---------------M------------MMMM---------------M------------"},
    {12, "FFLLSSSSYY**CC*WLLLSPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
     "-------------------M---------------M----------------------------"},
    {13, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIMMTTTTNNKKSSGGVVVVAAAADDEEGGGG",
     "---M------------------------------MM---------------M------------"},
    {14, "FFLLSSSSYYY*CCWWLLLLPPPPHHQQRRRRIIIMTTTTNNNKSSSSVVVVAAAADDEEGGGG",
     "-----------------------------------M----------------------------"},
    {15, "FFLLSSSSYY*QCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
     "-----------------------------------M----------------------------"},
    {16, "FFLLSSSSYY*LCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
     "-----------------------------------M----------------------------"},
    {21, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIMMTTTTNNNKSSSSVVVVAAAADDEEGGGG",
     "-----------------------------------M---------------M------------"},
    {22, "FFLLSS*SYY*LCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
     "-----------------------------------M----------------------------"},
    {23, "FF*LSSSSYY**CC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
     "--------------------------------M--M---------------M------------"},
    {24, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSSKVVVVAAAADDEEGGGG",
     "---M---------------M---------------M---------------M------------"},
    {25, "FFLLSSSSYY**CCGWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG",
     "---M-------------------------------M---------------M------------"},
};

// A base's place in the tables' order (T, C, A, G) from its bit (A, C, G,
// T as bits 0-3).
constexpr int kOrder[4] = {2, 1, 3, 0};

std::uint32_t bit_of(char aa) {
  return aa == '*' ? genetic_code::kStop : 1u << (aa - 'A');
}

}  // namespace

unsigned genetic_code::nucleotide(char c) {
  constexpr unsigned A = 1, C = 2, G = 4, T = 8;
  switch (c | 0x20) {
    case 'a':
      return A;
    case 'c':
      return C;
    case 'g':
      return G;
    case 't':
    case 'u':
      return T;
    case 'r':
      return A | G;
    case 'y':
      return C | T;
    case 's':
      return C | G;
    case 'w':
      return A | T;
    case 'k':
      return G | T;
    case 'm':
      return A | C;
    case 'b':
      return C | G | T;
    case 'd':
      return A | G | T;
    case 'h':
      return A | C | T;
    case 'v':
      return A | C | G;
    case 'n':
      return A | C | G | T;
    default:
      return 0;
  }
}

genetic_code::genetic_code(int id, const char* amino_acids, const char* starts)
    : id_(id) {
  // Every combination of base masks: the union of the readings of every
  // codon the three masks allow, and whether any of them is a start.
  for (unsigned m = 0; m < 4096; ++m) {
    const unsigned a = m >> 8, b = (m >> 4) & 15, c = m & 15;
    std::uint32_t r = 0;
    bool start = false;
    if (a != 0 && b != 0 && c != 0)
      for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
          for (int k = 0; k < 4; ++k)
            if ((a >> i & 1) && (b >> j & 1) && (c >> k & 1)) {
              const int at = 16 * kOrder[i] + 4 * kOrder[j] + kOrder[k];
              r |= bit_of(amino_acids[at]);
              start = start || starts[at] == 'M';
            }
    table_[m] = r;
    start_[m] = start;
  }
  // The lists for messages, in the tables' order.
  static constexpr char kBases[] = "TCAG";
  const auto add = [](std::string& list, const std::string& codon) {
    list += list.empty() ? codon : ", " + codon;
  };
  for (int at = 0; at < 64; ++at) {
    const std::string codon{kBases[at / 16], kBases[at / 4 % 4],
                            kBases[at % 4]};
    if (starts[at] == 'M') add(starts_, codon);
    if (amino_acids[at] == '*') add(stops_, codon);
  }
}

const genetic_code* genetic_code::find(int id) {
  static const auto codes = [] {
    std::array<std::unique_ptr<genetic_code>, 26> all;
    for (const table_text& t : kTables)
      all[t.id].reset(new genetic_code(t.id, t.amino_acids, t.starts));
    return all;
  }();
  return id >= 0 && id < 26 ? codes[id].get() : nullptr;
}

const char* genetic_code::known() { return "1-6, 9-16, 21-25"; }

std::vector<int> genetic_code::ids() {
  std::vector<int> out;
  for (const table_text& t : kTables) out.push_back(t.id);
  return out;
}

bool genetic_code::codes_for(const char* c, char r) const {
  const std::uint32_t got = readings(c);
  if (r == 'X') return got != kStop;
  if (r == '*') return (got & kStop) != 0;
  const auto has = [got](char aa) { return (got & bit_of(aa)) != 0; };
  switch (r) {
    case 'B':
      return has('D') || has('N');
    case 'Z':
      return has('E') || has('Q');
    case 'J':
      return has('I') || has('L');
    default:
      return r >= 'A' && r <= 'Z' && has(r);
  }
}

std::string genetic_code::shown(std::uint32_t readings) {
  std::string s;
  for (int k = 0; k <= 26; ++k) {
    if (!(readings >> k & 1)) continue;
    if (!s.empty()) s += '/';
    s += k == 26 ? '*' : static_cast<char>('A' + k);
  }
  return s.empty() ? "none" : s;
}

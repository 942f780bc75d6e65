#include "core/genetic_code.h"

#include <memory>

namespace {

// The amino acid of each codon, in the order of NCBI's tables: first base
// T, C, A, G, then the second, then the third; '*' for a stop.
struct table_text {
  int id;
  const char* amino_acids;
};
constexpr table_text kTables[] = {
    {1, "FFLLSSSSYY**CC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG"},
    {2, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIMMTTTTNNKKSS**VVVVAAAADDEEGGGG"},
    {3, "FFLLSSSSYY**CCWWTTTTPPPPHHQQRRRRIIMMTTTTNNKKSSRRVVVVAAAADDEEGGGG"},
    {4, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG"},
    {5, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIMMTTTTNNKKSSSSVVVVAAAADDEEGGGG"},
    {6, "FFLLSSSSYYQQCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG"},
    {9, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIIMTTTTNNNKSSSSVVVVAAAADDEEGGGG"},
    {10, "FFLLSSSSYY**CCCWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG"},
    {11, "FFLLSSSSYY**CC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG"},
    {12, "FFLLSSSSYY**CC*WLLLSPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG"},
    {13, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIMMTTTTNNKKSSGGVVVVAAAADDEEGGGG"},
    {14, "FFLLSSSSYYY*CCWWLLLLPPPPHHQQRRRRIIIMTTTTNNNKSSSSVVVVAAAADDEEGGGG"},
    {15, "FFLLSSSSYY*QCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG"},
    {16, "FFLLSSSSYY*LCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG"},
    {21, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIMMTTTTNNNKSSSSVVVVAAAADDEEGGGG"},
    {22, "FFLLSS*SYY*LCC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG"},
    {23, "FF*LSSSSYY**CC*WLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG"},
    {24, "FFLLSSSSYY**CCWWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSSKVVVVAAAADDEEGGGG"},
    {25, "FFLLSSSSYY**CCGWLLLLPPPPHHQQRRRRIIIMTTTTNNKKSSRRVVVVAAAADDEEGGGG"},
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

genetic_code::genetic_code(int id, const char* amino_acids) : id_(id) {
  // Every combination of base masks: the union of the readings of every
  // codon the three masks allow.
  for (unsigned m = 0; m < 4096; ++m) {
    const unsigned a = m >> 8, b = (m >> 4) & 15, c = m & 15;
    std::uint32_t r = 0;
    if (a != 0 && b != 0 && c != 0)
      for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
          for (int k = 0; k < 4; ++k)
            if ((a >> i & 1) && (b >> j & 1) && (c >> k & 1))
              r |= bit_of(
                  amino_acids[16 * kOrder[i] + 4 * kOrder[j] + kOrder[k]]);
    table_[m] = r;
  }
}

const genetic_code* genetic_code::find(int id) {
  static const auto codes = [] {
    std::array<std::unique_ptr<genetic_code>, 26> all;
    for (const table_text& t : kTables)
      all[t.id].reset(new genetic_code(t.id, t.amino_acids));
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
  if (r == 'X' || r == '*') return true;
  const std::uint32_t got = readings(c);
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

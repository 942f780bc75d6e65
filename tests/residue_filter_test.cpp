// The one rule of residue characters: the 16-byte kernel against its scalar
// twin, the table, on random bytes, for every rule the readers use.
#include "base/residue_filter.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/alignment.h"
#include "input/fasta_seq.h"
#include "input/records.h"

namespace {

TEST(filter16, agrees_with_the_table_on_random_bytes) {
  std::vector<residue_rule> rules;
  for (int flag : {0, 1, 2, FOLD_CASE})
    for (char mark : {'\0', static_cast<char>(UNALIGNED)})
      rules.push_back(fasta_rule(flag, mark));
  residue_rule full;
  full.lower = residue_rule::lower_case::fold;
  full.kept = "";
  full.gaps = "-._~?";
  full.gap_mark = static_cast<char>(UNALIGNED);
  rules.push_back(full);

  std::mt19937 gen(5);
  // Mostly residues, as real input is, so that whole runs are kept too.
  const std::string common = "ACGTacgtXx-.~_?*\n ";
  for (const residue_rule& rule : rules) {
    const filter_table table = make_filter_table(rule);
    const filter16 fast(rule);
    for (int round = 0; round < 20000; ++round) {
      unsigned char in[16], a[16], b[16];
      for (unsigned char& c : in)
        c = gen() % 4 == 0
                ? static_cast<unsigned char>(gen())
                : static_cast<unsigned char>(common[gen() % common.size()]);
      const unsigned ma = fast(in, a), mb = filter16_scalar(table, in, b);
      ASSERT_EQ(ma, mb) << "round " << round;
      for (int i = 0; i < 16; ++i) {
        if (mb >> i & 1) {
          ASSERT_EQ(a[i], b[i]) << "byte " << int(in[i]);
        }
      }
    }
  }
}

// The line kernel of the two rules it takes: every byte kept as the table
// keeps it, or false when the table drops one; lines of any width from 32.
TEST(line_filter, agrees_with_the_table_on_random_lines) {
  std::mt19937 gen(7);
  const std::string common = "ACGTWYacgtXx-.~_?*\n>";
  for (const int flag : {0, FOLD_CASE}) {
    const residue_rule rule = fasta_rule(flag, static_cast<char>(UNALIGNED));
    const filter_table table = make_filter_table(rule);
    const line_filter line(rule);
    ASSERT_TRUE(line.available());
    for (int round = 0; round < 5000; ++round) {
      const std::size_t n = 32 + gen() % 100;
      std::vector<unsigned char> in(n), out(n);
      const bool clean = round % 2 == 0;  // lines of kept bytes only, often
      for (unsigned char& c : in) {
        do
          c = gen() % 8 == 0
                  ? static_cast<unsigned char>(gen())
                  : static_cast<unsigned char>(common[gen() % common.size()]);
        while (clean && table[c] == 0);
      }
      bool kept = true;
      for (const unsigned char c : in) kept = kept && table[c] != 0;
      ASSERT_EQ(line(in.data(), out.data(), n), kept) << "round " << round;
      for (std::size_t k = 0; k < n && kept; ++k)
        ASSERT_EQ(out[k], table[in[k]]) << "byte " << k;
      // The same line three times over, a line end between, in one call:
      // the line ends are passed over, a dropped byte in any line is seen.
      std::vector<unsigned char> lines;
      for (int l = 0; l < 3; ++l) {
        lines.insert(lines.end(), in.begin(), in.end());
        lines.push_back('\n');
      }
      if (round % 3 == 0) lines[n + 1 + gen() % n] = '*';  // the second line
      bool all = true;
      for (std::size_t k = 0; k < lines.size(); ++k)
        all = all && (k % (n + 1) == n || table[lines[k]] != 0);
      std::vector<unsigned char> three(3 * n);
      ASSERT_EQ(line.lines(lines.data(), n + 1, three.data(), n, 3), all)
          << "round " << round;
      for (std::size_t k = 0; k < 3 * n && all; ++k)
        ASSERT_EQ(three[k], table[in[k % n]]) << "byte " << k;
    }
  }
  // Other rules take filter16.
  EXPECT_FALSE(line_filter(fasta_rule(2, 0)).available());
  EXPECT_FALSE(line_filter(fasta_rule(0, 0)).available());
}

TEST(make_filter_table, rules_of_the_readers) {
  const filter_table fold = make_filter_table(fasta_rule(FOLD_CASE, '['));
  EXPECT_EQ(fold['a'], 'A');
  EXPECT_EQ(fold['x'], '[');
  EXPECT_EQ(fold['?'], '[');  // -u reads '?' as a gap
  EXPECT_EQ(fold['*'], 0);
  const filter_table plain = make_filter_table(fasta_rule(0, '['));
  EXPECT_EQ(plain['-'], '[');
  EXPECT_EQ(plain['a'], 0);
  EXPECT_EQ(plain['.'], 0);
  const filter_table full = full_row_table(".-_~");
  EXPECT_EQ(full['.'], '[');
  EXPECT_EQ(full['?'], 0);  // a character Stockholm does not allow
}

}  // namespace

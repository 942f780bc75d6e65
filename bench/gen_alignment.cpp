// Generates a realistic aligned FASTA file, deterministically from a seed.
//
// usage: gen_alignment NSEQ NCOL [protein|dna] [SEED] > out.fa
//
// Sequences evolve down a random tree from a root sequence: substitutions on
// every branch, clusters of near-duplicates (many leaves on short branches),
// insertion blocks that appear in one clade only (so column occupancy runs
// from one sequence to all), deletion blocks inherited by a whole clade,
// terminal gaps and a few fragments. About a fifth of the cells are gaps.
// Lines are 60 characters. The generator uses its own random number
// generator and arithmetic, so a seed gives the same file everywhere.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// xoshiro256** seeded through splitmix64.
class rng {
 public:
  explicit rng(std::uint64_t seed) {
    for (auto& s : s_) {
      seed += 0x9e3779b97f4a7c15ULL;
      std::uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
      z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
      s = z ^ (z >> 31);
    }
  }
  std::uint64_t next() {
    const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
  }
  // Uniform in [0, 1).
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  // Uniform in [0, n).
  std::size_t below(std::size_t n) {
    return static_cast<std::size_t>(uniform() * static_cast<double>(n));
  }
  bool chance(double p) { return uniform() < p; }

 private:
  static std::uint64_t rotl(std::uint64_t x, int k) {
    return (x << k) | (x >> (64 - k));
  }
  std::uint64_t s_[4];
};

constexpr char kGap = '-';

struct alphabet {
  std::string letters;
  std::vector<double> cumulative;  // background frequencies, summed
};

alphabet make_alphabet(bool protein) {
  alphabet a;
  if (!protein) {
    a.letters = "ACGT";
    a.cumulative = {0.25, 0.5, 0.75, 1.0};
    return a;
  }
  // Amino acids with roughly their natural frequencies (percent).
  a.letters = "ARNDCQEGHILKMFPSTWYV";
  const double pct[] = {8.3, 5.5, 4.1, 5.5, 1.4, 3.9, 6.7, 7.1, 2.3, 5.9,
                        9.7, 5.8, 2.4, 3.9, 4.7, 6.6, 5.3, 1.1, 2.9, 6.9};
  double sum = 0;
  for (double p : pct) sum += p;
  double run = 0;
  for (double p : pct) {
    run += p / sum;
    a.cumulative.push_back(run);
  }
  a.cumulative.back() = 1.0;
  return a;
}

class generator {
 public:
  generator(std::size_t nseq, std::size_t ncol, bool protein,
            std::uint64_t seed)
      : nseq_(nseq), ncol_(ncol), abc_(make_alphabet(protein)), rng_(seed) {
    // About one column in eight belongs to an insertion block.
    is_insert_.assign(ncol_, 0);
    for (std::size_t j = 0; j < ncol_;) {
      if (rng_.chance(0.02)) {
        const std::size_t len = 3 + rng_.below(15);
        const std::size_t end = std::min(ncol_, j + len);
        inserts_.push_back({j, end});
        std::fill(is_insert_.begin() + j, is_insert_.begin() + end, 1);
        j = end;
      } else {
        ++j;
      }
    }
  }

  // Gaps columns [from, to) except insertion columns, which keep what
  // their clade has, so that no column ends up empty.
  void delete_range(std::string& s, std::size_t from, std::size_t to) {
    for (std::size_t j = from; j < to; ++j)
      if (!is_insert_[j]) s[j] = kGap;
  }

  void run() {
    std::string root(ncol_, kGap);
    for (std::size_t j = 0; j < ncol_; ++j) root[j] = residue();
    for (const auto& b : inserts_)
      std::memset(&root[b.first], kGap, b.second - b.first);
    grow(root, nseq_, 0.25);
    flush();
  }

 private:
  char residue() {
    const double u = rng_.uniform();
    std::size_t k = 0;
    while (k + 1 < abc_.letters.size() && u >= abc_.cumulative[k]) ++k;
    return abc_.letters[k];
  }

  // Changes about rate * ncol residues, skipping gaps.
  void mutate(std::string& s, double rate) {
    if (rate <= 0) return;
    const double log_keep = std::log(1.0 - rate);
    for (std::size_t j = 0;;) {
      const double u = 1.0 - rng_.uniform();  // (0, 1]
      j += static_cast<std::size_t>(std::log(u) / log_keep);
      if (j >= ncol_) break;
      if (s[j] != kGap) s[j] = residue();
      ++j;
    }
  }

  // A subtree of n leaves below a branch leading to sequence s.
  void grow(std::string s, std::size_t n, double branch) {
    mutate(s, branch);
    if (rng_.chance(0.15) && !inserts_.empty()) {
      // An insertion block present in this clade only; every block is
      // used once before any is used again, so no column is empty.
      const auto& b = next_insert_ < inserts_.size()
                          ? inserts_[next_insert_++]
                          : inserts_[rng_.below(inserts_.size())];
      for (std::size_t j = b.first; j < b.second; ++j) s[j] = residue();
    }
    if (n < nseq_ && rng_.chance(0.03)) {
      // A deletion inherited by the whole clade.
      const std::size_t len =
          1 + rng_.below(std::max<std::size_t>(1, ncol_ / 100));
      const std::size_t at = rng_.below(ncol_);
      delete_range(s, at, at + std::min(len, ncol_ - at));
    }
    if (n == 1) {
      leaf(s);
      return;
    }
    if (n <= 12 && rng_.chance(0.3)) {
      // A cluster of near-duplicates.
      for (std::size_t i = 0; i < n; ++i) grow(s, 1, 0.005);
      return;
    }
    const std::size_t left = 1 + rng_.below(n - 1);
    const double shorter = 0.02 + 0.1 * rng_.uniform();
    grow(s, left, shorter);
    grow(std::move(s), n - left, 0.02 + 0.1 * rng_.uniform());
  }

  void leaf(std::string& s) {
    if (rng_.chance(0.3)) {  // ragged ends
      const std::size_t head = rng_.below(ncol_ / 25 + 1);
      const std::size_t tail = rng_.below(ncol_ / 25 + 1);
      delete_range(s, 0, head);
      delete_range(s, ncol_ - tail, ncol_);
    }
    if (rng_.chance(3.0 / static_cast<double>(nseq_))) {  // a few fragments
      const std::size_t keep = ncol_ / 5 + rng_.below(ncol_ / 3 + 1);
      const std::size_t at = rng_.below(ncol_ - keep + 1);
      delete_range(s, 0, at);
      delete_range(s, at + keep, ncol_);
    }
    ++written_;
    out_ += ">seq" + std::to_string(written_) + "\n";
    for (std::size_t j = 0; j < ncol_; j += 60) {
      out_.append(s, j, std::min<std::size_t>(60, ncol_ - j));
      out_ += '\n';
    }
    if (out_.size() > (1u << 22)) flush();
  }

  void flush() {
    std::fwrite(out_.data(), 1, out_.size(), stdout);
    out_.clear();
  }

  std::size_t nseq_, ncol_;
  alphabet abc_;
  rng rng_;
  std::vector<std::pair<std::size_t, std::size_t>> inserts_;
  std::size_t next_insert_ = 0;
  std::vector<char> is_insert_;  // 1 for columns of insertion blocks
  std::size_t written_ = 0;
  std::string out_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: gen_alignment NSEQ NCOL [protein|dna] [SEED]\n");
    return 1;
  }
  const std::size_t nseq = std::strtoull(argv[1], nullptr, 10);
  const std::size_t ncol = std::strtoull(argv[2], nullptr, 10);
  const bool protein = argc < 4 || std::strcmp(argv[3], "dna") != 0;
  const std::uint64_t seed = argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1;
  if (nseq == 0 || ncol == 0) {
    std::fprintf(stderr, "gen_alignment: NSEQ and NCOL must be above 0\n");
    return 1;
  }
  generator(nseq, ncol, protein, seed).run();
  return std::fflush(stdout) == 0 ? 0 : 1;
}

#include "core/site_stats.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

namespace {

// A column's figures, added up over columns in integers (so threads cannot
// change them).
struct counts {
  std::uint64_t columns = 0, variable = 0, informative = 0;
  std::uint64_t cells = 0, missing = 0, gc = 0, acgt = 0;
  void add(const counts& o) {
    columns += o.columns;
    variable += o.variable;
    informative += o.informative;
    cells += o.cells;
    missing += o.missing;
    gc += o.gc;
    acgt += o.acgt;
  }
};

}  // namespace

site_stats column_stats(const alignment& aln,
                        const std::vector<unsigned char>& mask, alphabet kind,
                        thread_pool& pool) {
  const bool dna = kind != alphabet::protein;
  // What each byte of the table is: 0 missing or ambiguous, else a state.
  std::array<unsigned char, 256> state{};
  for (int c = 'A'; c <= 'Z'; ++c) state[c] = static_cast<unsigned char>(c);
  if (dna) {
    for (int c = 'A'; c <= 'Z'; ++c) state[c] = 0;
    state['A'] = 'A';
    state['C'] = 'C';
    state['G'] = 'G';
    state['T'] = state['U'] = 'T';
  } else {
    state['B'] = state['J'] = state['Z'] = state['X'] = 0;
  }
  const auto missing = [dna](unsigned char c) {
    return c == UNALIGNED || c == (dna ? 'N' : 'X');
  };

  const std::size_t lseq = aln.lseq, nseq = aln.nseq();
  const std::size_t parts = pool.threads_for(nseq * lseq);
  std::vector<counts> part(parts);
  // Columns whose counts stay in cache.
  constexpr std::size_t tile = 512;
  pool.run(parts, nseq * lseq, [&](std::size_t k) {
    counts& n = part[k];
    // Row by row over a tile of columns: per column, how often each state.
    std::vector<std::array<std::uint32_t, 27>> seen(tile);
    const std::unique_ptr<char[]> buf(new char[tile]);
    const std::size_t end = piece_begin(lseq, parts, k + 1);
    for (std::size_t c0 = piece_begin(lseq, parts, k); c0 < end; c0 += tile) {
      const std::size_t width = std::min(tile, end - c0);
      for (std::size_t j = 0; j < width; ++j) seen[j].fill(0);
      for (std::size_t i = 0; i < nseq; ++i) {
        const char* row = aln.segment(i, c0, c0 + width, buf.get());
        for (std::size_t j = 0; j < width; ++j) {
          if (mask[c0 + j] == 0) continue;
          const auto c = static_cast<unsigned char>(row[j]);
          ++seen[j][state[c] == 0 ? 0 : state[c] - 'A' + 1];
          n.missing += missing(c);
          n.gc += dna && (c == 'G' || c == 'C');
          n.acgt += dna && state[c] != 0;
        }
      }
      for (std::size_t j = 0; j < width; ++j) {
        if (mask[c0 + j] == 0) continue;
        std::size_t states = 0, twice = 0;
        for (int c = 1; c < 27; ++c) {
          states += seen[j][c] > 0;
          twice += seen[j][c] >= 2;
        }
        ++n.columns;
        n.cells += nseq;
        n.variable += states >= 2;
        n.informative += twice >= 2;
      }
    }
  });
  counts all;
  for (const counts& n : part) all.add(n);
  site_stats s;
  s.columns = all.columns;
  s.variable = all.variable;
  s.parsimony_informative = all.informative;
  s.missing_percent = all.cells == 0
                          ? 0
                          : 100.0 * static_cast<double>(all.missing) /
                                static_cast<double>(all.cells);
  s.gc_percent = all.acgt == 0 ? 0
                               : 100.0 * static_cast<double>(all.gc) /
                                     static_cast<double>(all.acgt);
  return s;
}

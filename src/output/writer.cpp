// The trimmed-alignment writer: default and PHYLIP layouts.
#include "output/writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "error.h"

namespace {

constexpr std::size_t kLineWidth = 61;  // default layout: characters a line

// Writes n columns of a record: letters keep their case where case_bit is 0
// and go lower case where it is 0x20; the gap marker becomes gap_char.
// Branch-free, so that it vectorises.
void transform(const unsigned char* __restrict s,
               const unsigned char* __restrict case_bit,
               const unsigned char* __restrict gap_char,
               unsigned char* __restrict out, std::size_t n) {
  for (std::size_t j = 0; j < n; ++j) {
    const unsigned char c = s[j];
    const unsigned char letter =
        static_cast<unsigned char>(-(static_cast<unsigned char>(c - 'A') < 26));
    const unsigned char gap = static_cast<unsigned char>(-(c == UNALIGNED));
    const unsigned char cased = c | (case_bit[j] & letter);
    out[j] = static_cast<unsigned char>((gap_char[j] & gap) | (cased & ~gap));
  }
}

}  // namespace

trimmed_writer::trimmed_writer(const std::vector<int>& is_selected,
                               int remove_cols, int phylip)
    : case_bit_(is_selected.size()),
      gap_char_(is_selected.size()),
      phylip_(phylip) {
  const std::size_t n = is_selected.size();
  for (std::size_t j = 0; j < n; ++j) {
    case_bit_[j] = is_selected[j] ? 0 : 0x20;
    gap_char_[j] = is_selected[j] ? '-' : '.';
  }
  if (!remove_cols) {
    runs_.push_back({0, n});
    return;
  }
  for (std::size_t j = 0; j < n;) {
    if (!is_selected[j]) {
      ++j;
      continue;
    }
    const std::size_t b = j;
    while (j < n && is_selected[j]) ++j;
    runs_.push_back({b, j});
  }
}

void trimmed_writer::write(output_buffer& fp, const fasta_seq& seq) {
  const std::size_t len = seq.seq.size();
  if (len > case_bit_.size())
    throw fatal_error("Error: record " + seq.comment +
                      " is longer than the selection mask");

  // The record's written characters, gathered run by run.
  line_.resize(len);
  const auto* s = reinterpret_cast<const unsigned char*>(seq.seq.data());
  auto* out = reinterpret_cast<unsigned char*>(line_.data());
  std::size_t m = 0;
  for (const run& r : runs_) {
    if (r.begin >= len) break;
    const std::size_t n = std::min(r.end, len) - r.begin;
    transform(s + r.begin, case_bit_.data() + r.begin,
              gap_char_.data() + r.begin, out + m, n);
    m += n;
  }

  if (phylip_) {
    // One line, never broken; no line end when there is nothing to write.
    fp.write(seq.comment);
    fp.put(' ');
    if (m > 0) {
      fp.write(line_.data(), m);
      fp.put('\n');
    }
    return;
  }
  fp.put('>');
  fp.write(seq.comment);
  fp.put('\n');
  char* dst = fp.reserve(m + m / kLineWidth + 1);
  char* const start = dst;
  for (std::size_t i = 0; i < m; i += kLineWidth) {
    const std::size_t n = std::min(kLineWidth, m - i);
    std::memcpy(dst, line_.data() + i, n);
    dst[n] = '\n';
    dst += n + 1;
  }
  fp.commit(static_cast<std::size_t>(dst - start));
}

void print_trimmed_align(output_buffer& fp, const std::vector<int>& is_selected,
                         int remove_cols, int phylip, const fasta_seq& seq) {
  trimmed_writer(is_selected, remove_cols, phylip).write(fp, seq);
}

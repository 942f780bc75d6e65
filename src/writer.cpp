// Output: a write buffer over a C stream, and the trimmed-alignment writer.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "colsieve.h"

namespace {

constexpr std::size_t kLineWidth = 61;  // default layout: characters a line

}  // namespace

output_buffer::output_buffer(std::FILE* fp, std::string name,
                             std::size_t capacity)
    : fp_(fp), name_(std::move(name)), buf_(capacity) {}

void output_buffer::fail() const {
  throw fatal_error("Error: cannot write " + name_ + ": " +
                    std::strerror(errno));
}

void output_buffer::drain() {
  if (len_ > 0 && std::fwrite(buf_.data(), 1, len_, fp_) != len_) fail();
  len_ = 0;
}

void output_buffer::write(const char* p, std::size_t n) {
  if (n > buf_.size() - len_) {
    drain();
    if (n >= buf_.size()) {
      if (std::fwrite(p, 1, n, fp_) != n) fail();
      return;
    }
  }
  std::memcpy(buf_.data() + len_, p, n);
  len_ += n;
}

void output_buffer::flush() {
  drain();
  if (std::fflush(fp_) != 0 || std::ferror(fp_)) fail();
}

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
    const std::size_t end = std::min(r.end, len);
    for (std::size_t j = r.begin; j < end; ++j) {
      const unsigned char c = s[j];
      // Only letters change case; the gap marker becomes '-' or '.'.
      const unsigned char bit =
          static_cast<unsigned char>(c - 'A') < 26 ? case_bit_[j] : 0;
      out[m++] = c == UNALIGNED ? gap_char_[j] : c | bit;
    }
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
  for (std::size_t i = 0; i < m; i += kLineWidth) {
    fp.write(line_.data() + i, std::min(kLineWidth, m - i));
    fp.put('\n');
  }
}

void print_trimmed_align(output_buffer& fp, const std::vector<int>& is_selected,
                         int remove_cols, int phylip, const fasta_seq& seq) {
  trimmed_writer(is_selected, remove_cols, phylip).write(fp, seq);
}

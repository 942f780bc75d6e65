// The trimmed-alignment writer: default and PHYLIP layouts.
#include "output/writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "base/error.h"

namespace {

constexpr std::size_t kLineWidth = 61;  // default layout: characters a line

// Writes n columns of a record: where the mask is 0, letters go lower case
// and the gap marker becomes '.'; where it is 1, letters stay as they are
// and the gap marker becomes '-'. Branch-free, so that it vectorises.
void transform(const unsigned char* __restrict s,
               const unsigned char* __restrict mask,
               unsigned char* __restrict out, std::size_t n) {
  for (std::size_t j = 0; j < n; ++j) {
    const unsigned char c = s[j];
    const unsigned char m = mask[j];  // 0 or 1
    const auto letter =
        static_cast<unsigned char>(-(static_cast<unsigned char>(c - 'A') < 26));
    const auto gap = static_cast<unsigned char>(-(c == UNALIGNED));
    // m - 1 is all ones where the column is not selected.
    const auto cased =
        static_cast<unsigned char>(c | (letter & 0x20 & (m - 1)));
    const auto gap_char = static_cast<unsigned char>('.' - m);
    out[j] = static_cast<unsigned char>((gap_char & gap) | (cased & ~gap));
  }
}

// transform() for selected columns only: the gap marker becomes '-'.
void transform_selected(const unsigned char* __restrict s,
                        unsigned char* __restrict out, std::size_t n) {
  for (std::size_t j = 0; j < n; ++j) {
    const unsigned char c = s[j];
    const auto gap = static_cast<unsigned char>(-(c == UNALIGNED));
    out[j] = static_cast<unsigned char>(('-' & gap) | (c & ~gap));
  }
}

}  // namespace

trimmed_writer::trimmed_writer(const std::vector<unsigned char>& is_selected,
                               int remove_cols, int phylip)
    : mask_(is_selected), remove_cols_(remove_cols), phylip_(phylip) {
  const std::size_t n = is_selected.size();
  if (n > UINT32_MAX)
    throw fatal_error("Error: " + std::to_string(n) +
                      " columns are more than the writer takes");
  if (!remove_cols) return;  // every column is written: no runs needed
  const unsigned char* m = is_selected.data();
  for (std::size_t j = 0; j < n;) {
    while (j < n && m[j] == 0) ++j;
    const std::size_t b = j;
    while (j < n && m[j] != 0) ++j;
    if (j > b)
      kept_runs_.push_back(
          {static_cast<std::uint32_t>(b), static_cast<std::uint32_t>(j)});
  }
}

std::size_t trimmed_writer::bound(std::string_view name,
                                  std::size_t len) const {
  return name.size() + len + len / kLineWidth + 4;
}

std::size_t trimmed_writer::format(char* dst, std::size_t /*index*/,
                                   std::string_view name, const char* row,
                                   std::size_t len) const {
  if (len > mask_.size())
    throw fatal_error("Error: record " + std::string(name) +
                      " is longer than the selection mask");
  const auto* s = reinterpret_cast<const unsigned char*>(row);
  auto* out = reinterpret_cast<unsigned char*>(dst);
  char* const start = dst;
  // With -r only selected columns are written, whose mask need not be read.
  const auto put = [&](std::size_t from, std::size_t n) {
    if (remove_cols_)
      transform_selected(s + from, out, n);
    else
      transform(s + from, mask_.data() + from, out, n);
    out += n;
  };
  // What is written: every column, or the selected ones with -r.
  const run all = {0, static_cast<std::uint32_t>(len)};
  const run* first_run = remove_cols_ ? kept_runs_.data() : &all;
  const run* last_run =
      remove_cols_ ? kept_runs_.data() + kept_runs_.size() : &all + 1;

  if (phylip_) {
    // One line, never broken; no line end when there is nothing to write.
    std::memcpy(out, name.data(), name.size());
    out += name.size();
    *out++ = ' ';
    const unsigned char* first = out;
    for (const run* r = first_run; r != last_run; ++r) {
      if (r->begin >= len) break;
      put(r->begin, std::min<std::size_t>(r->end, len) - r->begin);
    }
    if (out != first) *out++ = '\n';
    return static_cast<std::size_t>(reinterpret_cast<char*>(out) - start);
  }
  *out++ = '>';
  std::memcpy(out, name.data(), name.size());
  out += name.size();
  *out++ = '\n';
  // Lines of 61, whatever the runs: a run may end a line and start the
  // next. The characters are made a stretch at a time, in one sweep each
  // (line by line, the sweeps would be too short to vectorise), then copied
  // out a line at a time.
  constexpr std::size_t kStretch = kLineWidth * 1024;
  thread_local const std::unique_ptr<unsigned char[]> stretch(
      new unsigned char[kStretch]);
  unsigned char* const chars = stretch.get();
  std::size_t held = 0;  // characters made and not yet copied out
  const auto copy_lines = [&](bool last) {
    std::size_t k = 0;
    for (; k + kLineWidth <= held; k += kLineWidth) {
      std::memcpy(out, chars + k, kLineWidth);
      out[kLineWidth] = '\n';
      out += kLineWidth + 1;
    }
    if (last && k < held) {
      std::memcpy(out, chars + k, held - k);
      out += held - k;
      *out++ = '\n';
      k = held;
    }
    std::memmove(chars, chars + k, held - k);
    held -= k;
  };
  for (const run* r = first_run; r != last_run; ++r) {
    if (r->begin >= len) break;
    const std::size_t end = std::min<std::size_t>(r->end, len);
    for (std::size_t j = r->begin; j < end;) {
      const std::size_t n = std::min(end - j, kStretch - held);
      if (remove_cols_)
        transform_selected(s + j, chars + held, n);
      else
        transform(s + j, mask_.data() + j, chars + held, n);
      held += n;
      j += n;
      if (held == kStretch) copy_lines(false);
    }
  }
  copy_lines(true);
  return static_cast<std::size_t>(reinterpret_cast<char*>(out) - start);
}

std::size_t trimmed_writer::kept(char* dst, const char* row,
                                 std::size_t len) const {
  char* out = dst;
  if (!remove_cols_) {  // no runs: column by column
    const auto* s = reinterpret_cast<const unsigned char*>(row);
    for (std::size_t j = 0; j < len; ++j)
      if (mask_[j] != 0)
        transform_selected(s + j, reinterpret_cast<unsigned char*>(out++), 1);
    return static_cast<std::size_t>(out - dst);
  }
  for (const run& r : kept_runs_) {
    if (r.begin >= len) break;
    const std::size_t n = std::min<std::size_t>(r.end, len) - r.begin;
    transform_selected(reinterpret_cast<const unsigned char*>(row) + r.begin,
                       reinterpret_cast<unsigned char*>(out), n);
    out += n;
  }
  return static_cast<std::size_t>(out - dst);
}

void trimmed_writer::write(output_buffer& fp, const fasta_seq& seq) const {
  const std::size_t len = seq.seq.size();
  char* dst = fp.reserve(bound(seq.comment, len));
  fp.commit(format(dst, 0, seq.comment, seq.seq.data(), len));
}

void print_trimmed_align(output_buffer& fp,
                         const std::vector<unsigned char>& is_selected,
                         int remove_cols, int phylip, const fasta_seq& seq) {
  trimmed_writer(is_selected, remove_cols, phylip).write(fp, seq);
}

void write_records(output_buffer& fp, const alignment& aln,
                   const record_formatter& fmt, thread_pool& pool) {
  const std::size_t nseq = aln.nseq();
  std::size_t total = 0;
  for (std::size_t i = 0; i < nseq; ++i)
    total += fmt.bound(aln.names[i], aln.lseq);
  const std::size_t threads = pool.threads_for(total);
  // Rows read again from their file come through a buffer of each thread
  // (never touched when the table holds them).
  const auto row_buffer = [&aln] {
    return std::unique_ptr<char[]>(new char[aln.lseq]);
  };
  if (threads == 1) {
    const std::unique_ptr<char[]> row = row_buffer();
    for (std::size_t i = 0; i < nseq; ++i) {
      char* dst = fp.reserve(fmt.bound(aln.names[i], aln.lseq));
      fp.commit(fmt.format(dst, i, aln.names[i],
                           aln.segment(i, 0, aln.lseq, row.get()), aln.lseq));
    }
    return;
  }
  // Batches: each thread's share of a batch is formatted into its own
  // buffer, and the buffers go out in order. A share is at most 4 MB, and
  // smaller for small alignments, so that little fresh memory is touched.
  const std::size_t share = std::clamp<std::size_t>(
      total / (threads * 8), std::size_t{64} << 10, std::size_t{4} << 20);
  std::vector<std::unique_ptr<char[]>> bufs(threads);
  std::vector<std::size_t> room(threads), used(threads);
  std::vector<std::unique_ptr<char[]>> rows(threads);
  for (auto& row : rows) row = row_buffer();
  for (std::size_t i = 0; i < nseq;) {
    std::size_t j = i, bytes = 0;
    while (j < nseq && (j == i || bytes < share * threads))
      bytes += fmt.bound(aln.names[j++], aln.lseq);
    const std::size_t count = j - i;
    const std::size_t parts = std::min(threads, count);
    pool.run(parts, total, [&](std::size_t t) {
      const std::size_t b = i + piece_begin(count, parts, t);
      const std::size_t e = i + piece_begin(count, parts, t + 1);
      std::size_t need = 0;
      for (std::size_t k = b; k < e; ++k)
        need += fmt.bound(aln.names[k], aln.lseq);
      if (room[t] < need) {  // with room to spare: shares vary a little
        room[t] = need + need / 4;
        bufs[t].reset(new char[room[t]]);
      }
      char* dst = bufs[t].get();
      for (std::size_t k = b; k < e; ++k)
        dst += fmt.format(dst, k, aln.names[k],
                          aln.segment(k, 0, aln.lseq, rows[t].get()), aln.lseq);
      used[t] = static_cast<std::size_t>(dst - bufs[t].get());
    });
    for (std::size_t t = 0; t < parts; ++t) fp.write(bufs[t].get(), used[t]);
    i = j;
  }
}

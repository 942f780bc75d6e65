#include "input/mapped_rows.h"

#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "base/platform.h"
#include "base/unique_fd.h"
#include "core/alignment.h"

namespace {

// A file cut short while it is mapped raises SIGBUS on a page past its new
// end. Reads of the mapping run with a jump back set, so that the signal
// becomes an error of the read, never the end of the process. Nothing
// between setting the jump and clearing it may own a resource.
// volatile: the handler reads it, so the stores around a read from the
// mapping must not be dropped or moved by the compiler.
thread_local sigjmp_buf* volatile t_bus_jump = nullptr;

extern "C" void on_bus_error(int sig, siginfo_t*, void*) {
  if (t_bus_jump != nullptr) siglongjmp(*t_bus_jump, 1);
  signal(sig, SIG_DFL);  // not a read of ours: end as the signal would
  raise(sig);
}

void catch_bus_errors() {
  static const bool installed = [] {
    struct sigaction sa {};
    sa.sa_sigaction = on_bus_error;
    // Not blocked while the handler runs: the jump back leaves the signal
    // mask as it is (saving and restoring it would cost every read a
    // system call), so a later bus error of the same thread is caught too.
    sa.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    return sigaction(SIGBUS, &sa, nullptr) == 0;
  }();
  (void)installed;
}

// The hash is two sums over a row's 4-column words, each word times a
// multiplier of its own: odd, so that a change of the word always changes
// its term. Wider vectors where the processor has them (COLSIEVE_CLONES).
constexpr std::uint32_t kStep1 = 0x9E3779B9u, kStep2 = 0x85EBCA6Bu;

std::uint64_t word_terms(std::uint32_t w, std::size_t k) {
  const auto m = static_cast<std::uint32_t>(2 * k + 1);
  return static_cast<std::uint64_t>(static_cast<std::uint32_t>(w * m * kStep1))
             << 32 |
         static_cast<std::uint32_t>(w * m * kStep2);
}

// The terms of n whole words from word k on, at p.
typedef std::uint32_t u32x8 __attribute__((vector_size(32)));
COLSIEVE_CLONES std::uint64_t whole_words(const char* p, std::size_t k,
                                          std::size_t n) {
  u32x8 m1, m2, h1 = {}, h2 = {};
  for (unsigned l = 0; l < 8; ++l) {
    const auto m = static_cast<std::uint32_t>(2 * (k + l) + 1);
    m1[l] = m * kStep1;
    m2[l] = m * kStep2;
  }
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    u32x8 w;
    std::memcpy(&w, p + 4 * i, sizeof w);
    h1 += w * m1;
    h2 += w * m2;
    m1 += 16 * kStep1;
    m2 += 16 * kStep2;
  }
  std::uint32_t s1 = 0, s2 = 0;
  for (unsigned l = 0; l < 8; ++l) {
    s1 += h1[l];
    s2 += h2[l];
  }
  std::uint64_t h = static_cast<std::uint64_t>(s1) << 32 | s2;
  for (; i < n; ++i) {
    std::uint32_t w;
    std::memcpy(&w, p + 4 * i, 4);
    h = add_terms(h, word_terms(w, k + i));
  }
  return h;
}

// The word of columns [4k, 4k + 4) with only those in [c0, c1) (codes[0]
// being column c0), the others 0.
std::uint32_t partial_word(const char* codes, std::size_t k, std::size_t c0,
                           std::size_t c1) {
  unsigned char bytes[4] = {};
  const std::size_t b = std::max(4 * k, c0), e = std::min(4 * k + 4, c1);
  for (std::size_t j = b; j < e; ++j)
    bytes[j - 4 * k] = static_cast<unsigned char>(codes[j - c0]);
  std::uint32_t w;
  std::memcpy(&w, bytes, 4);
  return w;
}

// Rows read again from the file: even ones where they stand, others from
// their checkpoints; stop codons masked over them.
class file_rows : public row_source {
 public:
  file_rows(int fd, const file_state& before, std::string where,
            std::size_t lseq, row_index index, const fasta_rules& rules,
            run_progress* progress)
      : fd_(fcntl(fd, F_DUPFD_CLOEXEC, 0)),
        where_(std::move(where)),
        lseq_(lseq),
        index_(std::move(index)),
        table_(rules.table),
        fast_(rules.fast),
        line_(rules.line),
        state_(before),
        size_(static_cast<std::size_t>(std::max<off_t>(0, before.size))),
        seen_lo_(new std::atomic<std::uint32_t>[index_.places.size()]),
        seen_hi_(new std::atomic<std::uint32_t>[index_.places.size()]),
        cols_(new std::atomic<std::uint64_t>[index_.places.size()]),
        read_(progress ? &progress->rows_read : nullptr) {
    if (fd_.get() < 0) cannot_read();
    for (std::size_t i = 0; i < index_.places.size(); ++i)
      seen_lo_[i] = seen_hi_[i] = 0, cols_[i] = 0;
    if (!unchanged())  // not during the first pass either
      throw input_changed(where_);
    if (size_ > 0) {
      void* m = mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd_.get(), 0);
      if (m == MAP_FAILED) cannot_read();  // the descriptor closes after
      map_ = static_cast<const unsigned char*>(m);
    }
    catch_bus_errors();
  }
  ~file_rows() override {
    if (map_ != nullptr) munmap(const_cast<unsigned char*>(map_), size_);
  }
  file_rows(const file_rows&) = delete;
  file_rows& operator=(const file_rows&) = delete;

  const char* read(std::size_t i, std::size_t c0, std::size_t c1,
                   char* buf) const override {
    if (c1 <= c0) return buf;
    run_progress::add(read_, c1 - c0);
    const row_place& p = index_.places[i];
    auto* out = reinterpret_cast<unsigned char*>(buf);
    bool ok;
    {
      sigjmp_buf jump;
      if (sigsetjmp(jump, 0) != 0) {
        t_bus_jump = nullptr;
        throw input_changed(where_);
      }
      t_bus_jump = &jump;
      ok = p.width == 0 ? copy_uneven(p, c0, c1, out)
                        : copy_even(p, c0, c1, out);
      t_bus_jump = nullptr;
    }
    if (!ok) throw input_changed(where_);
    // What the first pass read, or part of it, to be checked once whole.
    const std::uint64_t h = row_hash(buf, c0, c1);
    if (c0 == 0 && c1 == lseq_) {
      if (h != index_.hashes[i]) throw input_changed(where_);
    } else {
      // Each half adds up on its own: no carry from the low half may reach
      // the high one, so they are kept apart.
      seen_lo_[i].fetch_add(static_cast<std::uint32_t>(h),
                            std::memory_order_relaxed);
      seen_hi_[i].fetch_add(static_cast<std::uint32_t>(h >> 32),
                            std::memory_order_relaxed);
      cols_[i].fetch_add(c1 - c0, std::memory_order_relaxed);
    }
    if (!mask_start_.empty())
      for (std::uint32_t k = mask_start_[i]; k < mask_start_[i + 1]; ++k)
        for (std::size_t j = 3 * std::size_t{masked_[k]};
             j < 3 * std::size_t{masked_[k]} + 3; ++j)
          if (j >= c0 && j < c1) buf[j - c0] = static_cast<char>(UNALIGNED);
    return buf;
  }

  // Row by row, fetching the start of the rows two ahead: rows lie far
  // apart in the file, and a row's piece is too short for the processor to
  // see it coming.
  void read_rows(std::size_t i0, std::size_t i1, std::size_t c0, std::size_t c1,
                 char* buf, std::size_t stride,
                 const char** rows) const override {
    for (std::size_t i = i0; i < i1; ++i) {
      if (i + 2 < i1) fetch(i + 2, c0, c1);
      rows[i - i0] = read(i, c0, c1, buf + (i - i0) * stride);
    }
  }

  void mask_codons(
      const std::vector<std::pair<std::size_t, std::size_t>>& codons) override {
    // By row, in the order they come: (row, codon) pairs in row order.
    const std::size_t nseq = index_.places.size();
    std::vector<std::pair<std::size_t, std::size_t>> all;
    for (std::size_t i = 0; i < nseq; ++i)
      for (std::uint32_t k = mask_start_.empty() ? 0 : mask_start_[i];
           !mask_start_.empty() && k < mask_start_[i + 1]; ++k)
        all.emplace_back(i, masked_[k]);
    all.insert(all.end(), codons.begin(), codons.end());
    std::stable_sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
      return a.first < b.first;
    });
    mask_start_.assign(nseq + 1, 0);
    masked_.clear();
    for (const auto& [i, codon] : all) {
      ++mask_start_[i + 1];
      masked_.push_back(static_cast<std::uint32_t>(codon));
    }
    for (std::size_t i = 0; i < nseq; ++i) mask_start_[i + 1] += mask_start_[i];
  }

  void check_unchanged() const override {
    if (!unchanged()) throw input_changed(where_);
    // Rows read whole, in pieces, since the last look: each time whole,
    // their pieces add up to the hash of the whole.
    for (std::size_t i = 0; i < index_.places.size(); ++i) {
      const std::uint64_t cols = cols_[i].exchange(0);
      const std::uint64_t seen =
          static_cast<std::uint64_t>(seen_hi_[i].exchange(0)) << 32 |
          seen_lo_[i].exchange(0);
      if (lseq_ > 0 && cols % lseq_ == 0 &&
          seen != times(index_.hashes[i], cols / lseq_))
        throw input_changed(where_);
    }
  }

 private:
  // Columns [c0, c1) of an even row, line by line from the mapping, as the
  // reader's table keeps them: a line at a time (or 16 bytes at a time,
  // the last 16 of a line again where it does not end on them). False when
  // a byte is not one the first pass kept there, or lies past the file's
  // end: the file changed.
  bool copy_even(const row_place& p, std::size_t c0, std::size_t c1,
                 unsigned char* out) const {
    const std::size_t w = p.width, stride = w + p.line_end;
    // The last byte read must lie in the file; the lines before it then do.
    if (p.start + (c1 - 1) / w * stride + (c1 - 1) % w >= size_) return false;
    std::size_t off = c0 % w;
    const unsigned char* in = map_ + p.start + c0 / w * stride + off;
    // A copy of the kernel the compiler keeps in registers: stores through
    // out cannot reach it.
    const filter16 fast = fast_;
    for (std::size_t left = c1 - c0; left > 0;) {
      // Whole lines in one call where the kernel takes them.
      if (off == 0 && w >= 32 && left >= 2 * w && line_.available()) {
        const std::size_t count = left / w;
        if (!line_.lines(in, stride, out, w, count)) return false;
        in += count * stride;
        out += count * w;
        left -= count * w;
        continue;
      }
      const std::size_t n = std::min(left, w - off);
      if (n < 16) {
        for (std::size_t k = 0; k < n; ++k)
          if ((out[k] = table_[in[k]]) == 0) return false;
      } else if (n >= 32 && line_.available()) {
        if (!line_(in, out, n)) return false;
      } else {
        bool all = true;
        for (std::size_t k = 0; k + 16 <= n; k += 16)
          all &= fast(in + k, out + k) == 0xFFFF;
        if (n % 16 != 0) all &= fast(in + n - 16, out + n - 16) == 0xFFFF;
        if (!all) return false;
      }
      out += n;
      left -= n;
      in += stride - off;  // to the start of the next line
      off = 0;
    }
    return true;
  }

  // The same for an uneven row: from the checkpoint at or before c0, every
  // byte through the table, those it drops passed over.
  bool copy_uneven(const row_place& p, std::size_t c0, std::size_t c1,
                   unsigned char* out) const {
    const std::size_t k = c0 / kCheckpoint;
    if (k >= (lseq_ + kCheckpoint - 1) / kCheckpoint) return false;
    std::uint64_t at = p.start + index_.checkpoints[p.checkpoint + k];
    std::size_t skip = c0 - k * kCheckpoint, n = 0;
    const std::size_t need = c1 - c0;
    while (n < need) {
      // Sixteen bytes at a time while all are kept.
      if (skip == 0 && need - n >= 16 && at + 16 <= size_) {
        const unsigned mask = fast_(map_ + at, out + n);
        if (mask == 0xFFFF) {
          at += 16;
          n += 16;
          continue;
        }
        const unsigned kept = static_cast<unsigned>(__builtin_ctz(~mask));
        at += kept;
        n += kept;  // still short of need: kept < 16 <= need - n
      }
      if (at >= size_) return false;
      const unsigned char v = table_[map_[at++]];
      if (v == 0) continue;
      if (skip > 0)
        --skip;
      else
        out[n++] = v;
    }
    return true;
  }

  // Asks for the first kFetch bytes of row i's columns from c0 on.
  void fetch(std::size_t i, std::size_t c0, std::size_t c1) const {
    constexpr std::size_t kFetch = 1024;
    const row_place& p = index_.places[i];
    const std::uint64_t at =
        p.width != 0
            ? p.start + c0 / p.width * (p.width + p.line_end) + c0 % p.width
            : p.start + index_.checkpoints[p.checkpoint + c0 / kCheckpoint];
    const std::uint64_t n = std::min<std::uint64_t>(kFetch, c1 - c0);
    for (std::uint64_t k = 0; k < n && at + k < size_; k += 64)
      __builtin_prefetch(map_ + at + k);
  }

  bool unchanged() const {
    return state_.size >= 0 && state_of(fd_.get()) == state_;
  }

  [[noreturn]] void cannot_read() const {
    throw fatal_error("Error: cannot read " + where_ + ": " +
                      std::strerror(errno));
  }

  unique_fd fd_;
  std::string where_;
  std::size_t lseq_;
  row_index index_;
  filter_table table_;
  filter16 fast_;
  line_filter line_;
  file_state state_;
  std::size_t size_ = 0;
  const unsigned char* map_ = nullptr;
  // What the reads of pieces of each row added up to since the last look.
  std::unique_ptr<std::atomic<std::uint32_t>[]> seen_lo_, seen_hi_;
  std::unique_ptr<std::atomic<std::uint64_t>[]> cols_;
  std::atomic<std::uint64_t>* read_;  // residues read, for progress
  // Masked stop codons: those of row i are masked_[mask_start_[i] ..
  // mask_start_[i + 1]); none when mask_start_ is empty.
  std::vector<std::uint32_t> mask_start_, masked_;
};

}  // namespace

std::uint64_t row_hash(const char* codes, std::size_t c0, std::size_t c1) {
  std::uint64_t h = 0;
  std::size_t j = c0;
  if (j % 4 != 0 && j < c1) {  // a word begun before c0
    h = word_terms(partial_word(codes, j / 4, c0, c1), j / 4);
    j = std::min(c1, (j / 4 + 1) * 4);
  }
  const std::size_t whole = (c1 - j) / 4;
  h = add_terms(h, whole_words(codes + (j - c0), j / 4, whole));
  j += 4 * whole;
  if (j < c1)
    h = add_terms(h, word_terms(partial_word(codes, j / 4, c0, c1), j / 4));
  return h;
}

void add_checkpoints(const char* bytes, std::size_t n, std::size_t residues,
                     const fasta_rules& rules,
                     std::vector<std::uint32_t>* out) {
  std::size_t kept = 0;
  for (std::size_t at = 0; at < n && kept < residues; ++at) {
    if (rules.table[static_cast<unsigned char>(bytes[at])] == 0) continue;
    if (kept % kCheckpoint == 0) out->push_back(static_cast<std::uint32_t>(at));
    ++kept;
  }
}

std::shared_ptr<row_source> map_rows(int fd, const file_state& before,
                                     std::string where, std::size_t lseq,
                                     row_index index, const fasta_rules& rules,
                                     run_progress* progress) {
  return std::make_shared<file_rows>(fd, before, std::move(where), lseq,
                                     std::move(index), rules, progress);
}

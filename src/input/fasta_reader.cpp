#include "input/fasta_reader.h"

#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/error.h"
#include "base/file_state.h"
#include "input/source.h"

namespace {

// Writes a record's residues straight into the table's buffer at `base`.
// A shared buffer, which threads write side by side, was made large enough
// for every piece and must never move: asking it for more is a fault.
class table_sink : public residue_sink {
 public:
  table_sink(big_buffer* residues, std::size_t base, bool shared)
      : residues_(residues), base_(base), shared_(shared) {}
  void set_base(std::size_t base) { base_ = base; }
  char* reserve(std::size_t n) override {
    if (!shared_)
      residues_->reserve(base_ + n);
    else if (base_ + n > residues_->capacity())
      throw std::logic_error("a shared residue buffer would have to grow");
    return residues_->data() + base_;
  }

 private:
  big_buffer* residues_;
  std::size_t base_;
  bool shared_;
};

fasta_rules rules_of(const read_context& ctx) {
  if (ctx.unaligned) return fasta_rules(2, 0, ctx.limit);
  if (ctx.keep_letters) {
    // The letters as the file holds them: every one takes a codon, and the
    // columns are told apart later.
    residue_rule raw;
    raw.lower = residue_rule::lower_case::keep;
    raw.kept = ctx.fold_case ? "-._~?*" : "-*";
    return fasta_rules(raw, std::min(MAX_WIDTH, ctx.limit * 4 + 1024));
  }
  return fasta_rules(ctx.fold_case ? FOLD_CASE : 0,
                     static_cast<char>(UNALIGNED), ctx.limit);
}

constexpr std::size_t kPieceBlock = 128 << 10;  // read size for pieces

// The records of one stretch of input, read into the buffer from `base` on.
struct piece_result {
  std::vector<std::string> names;
  std::vector<std::size_t> offsets, lengths;
  std::vector<bool> pir;
  drop_counts drops{};
  bool too_long = false;  // the record after the last name is over the limit
  std::string long_name;
  std::exception_ptr error;  // a read error, or no header at the start
};

// Reads the records of src through the sink, handing each to keep()
// (which says where its residues go) before taking the next.
template <class Keep>
void read_records(byte_source* src, const fasta_rules& rules,
                  residue_sink* sink, piece_result* out, const Keep& keep) {
  byte_stream in(src);
  std::string comment;
  fasta_record_info info;
  while (read_fasta_record(&in, rules, &comment, sink, &info, &out->drops)) {
    if (info.too_long) {
      out->too_long = true;
      out->long_name = comment;
      return;
    }
    keep(info);
    out->names.push_back(std::move(comment));  // the reader clears it
    out->lengths.push_back(info.residues);
    out->pir.push_back(info.pir);
  }
}

// Reads the records of src into the table's buffer from `base` on.
void read_records(byte_source* src, const fasta_rules& rules,
                  big_buffer* residues, std::size_t base, bool shared,
                  piece_result* out) {
  table_sink sink(residues, base, shared);
  std::size_t used = base;
  read_records(src, rules, &sink, out, [&](const fasta_record_info& info) {
    out->offsets.push_back(used);
    used += info.residues;
    sink.set_base(used);
  });
}

loaded_input merge(std::vector<piece_result>& pieces, big_buffer residues,
                   const read_context& ctx) {
  loaded_input in;
  in.aln.residues = std::move(residues);
  bool any_pir = false;
  for (const piece_result& p : pieces)
    for (const bool b : p.pir) any_pir = any_pir || b;
  for (piece_result& p : pieces) {
    if (p.error) std::rethrow_exception(p.error);
    if (p.too_long)
      record_too_long(in.aln.names.size() + p.names.size() + 1, p.long_name,
                      ctx.limit);
    for (std::string& name : p.names) in.aln.names.push_back(std::move(name));
    in.aln.offsets.insert(in.aln.offsets.end(), p.offsets.begin(),
                          p.offsets.end());
    in.lengths.insert(in.lengths.end(), p.lengths.begin(), p.lengths.end());
    if (any_pir)
      for (const bool b : p.pir)
        in.aln.forms.push_back(b ? name_form::pir : name_form::plain);
    for (int c = 0; c < 256; ++c) in.drops[c] += p.drops[c];
  }
  return in;
}

// The first record start ('>' at the start of a line) at or after pos, or
// end. A '>' after a line end always starts a record: the line before it
// was either a header, which the line end closed, or residues.
off_t record_start_from(int fd, off_t pos, off_t end) {
  char buf[1 << 16];
  --pos;  // look at the byte before, for the line end
  while (pos < end) {
    const ssize_t n = pread(fd, buf, sizeof buf, pos);
    if (n <= 1) break;
    for (ssize_t i = 0; i + 1 < n; ++i)
      if ((buf[i] == '\n' || buf[i] == '\r') && buf[i + 1] == '>')
        return pos + i + 1;
    pos += n - 1;  // keep the last byte: it may be a line end
  }
  return end;
}

}  // namespace

bool looks_like_fasta(std::string_view, std::string_view head) {
  return !head.empty() && head.front() == '>';
}

loaded_input read_fasta(byte_source* src, const read_context& ctx) {
  const fasta_rules rules = rules_of(ctx);
  big_buffer residues(1 << 20);
  std::vector<piece_result> pieces(1);
  read_records(src, rules, &residues, 0, false, &pieces[0]);
  return merge(pieces, std::move(residues), ctx);
}

namespace {

// Where each of `parts` pieces of [begin, end) starts: at the first record
// from its share of the bytes on, never before the piece before it.
std::vector<off_t> piece_starts(int fd, off_t begin, off_t end,
                                std::size_t parts) {
  const std::size_t size = static_cast<std::size_t>(end - begin);
  std::vector<off_t> starts(parts + 1, end);
  starts[0] = begin;
  for (std::size_t k = 1; k < parts; ++k)
    starts[k] = std::max(
        starts[k - 1],
        record_start_from(
            fd, begin + static_cast<off_t>(piece_begin(size, parts, k)), end));
  return starts;
}

}  // namespace

loaded_input read_fasta_file(int fd, off_t begin, off_t end,
                             const read_context& ctx, thread_pool& pool) {
  const fasta_rules rules = rules_of(ctx);
  const std::size_t size = static_cast<std::size_t>(end - begin);
  const std::size_t threads = pool.threads_for(size);
  // A few pieces a thread, so that threads that finish early take more.
  const std::size_t parts = threads == 1 ? 1 : threads * 4;
  const std::vector<off_t> starts = piece_starts(fd, begin, end, parts);
  // Each piece's residues go where its bytes are in the file: they never
  // outnumber them, so pieces cannot overlap, and the buffer never grows.
  big_buffer residues(size + 64);
  std::vector<piece_result> pieces(parts);
  // Each thread reads every threads-th piece, through one buffer of its own.
  const std::size_t block =
      threads == 1 ? std::clamp<std::size_t>(size + 1, 4096, 1 << 20)
                   : kPieceBlock;
  pool.run(std::min(threads, parts), size, [&](std::size_t t) {
    std::unique_ptr<char[]> buf(new char[block]);
    for (std::size_t k = t; k < parts; k += threads) {
      if (starts[k] == starts[k + 1]) continue;
      try {
        fd_source src(fd, starts[k], starts[k + 1], buf.get(), block);
        read_records(&src, rules, &residues,
                     static_cast<std::size_t>(starts[k] - begin), true,
                     &pieces[k]);
      } catch (...) {
        pieces[k].error = std::current_exception();
      }
    }
  });
  return merge(pieces, std::move(residues), ctx);
}

namespace {

// Where a row stands: in the file, laid out evenly, or kept in memory.
struct row_place {
  std::uint64_t start;  // the first residue's byte in the file, or where
                        // the row starts in the kept residues
  std::uint32_t width;  // residues a line; 0: kept in memory
  std::uint8_t line_end;
};

// The records of one stretch of the file, read without keeping their rows
// (but those laid out unevenly), and the class counts of their columns.
struct index_piece {
  piece_result records;
  std::vector<row_place> places;
  std::string kept;  // the rows laid out unevenly, one after the other
};

// A sink over a buffer that is used again for every record.
class reused_sink : public residue_sink {
 public:
  char* reserve(std::size_t n) override {
    if (buf_.size() < n) buf_.resize(std::max(n, buf_.size() * 2));
    return buf_.data();
  }
  const char* data() const { return buf_.data(); }

 private:
  std::string buf_;
};

// A file cut short while it is mapped raises SIGBUS on a page past its new
// end. Reads of the mapping run with a jump back set, so that the signal
// becomes an error of the read, never the end of the process.
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
    sa.sa_flags = SA_SIGINFO;
    sigemptyset(&sa.sa_mask);
    return sigaction(SIGBUS, &sa, nullptr) == 0;
  }();
  (void)installed;
}

// Rows read again from the file: even ones from a read-only mapping of it,
// where they stand, others from the copies kept; stop codons masked over
// them.
class file_rows : public row_source {
 public:
  // `before` is the file as it was when its first pass began. The rows
  // keep a descriptor of their own: they may outlive the caller's.
  file_rows(int fd, const file_state& before, std::string where,
            std::vector<row_place> places, std::string kept,
            std::vector<std::uint32_t> counts, const fasta_rules& rules,
            run_progress* progress)
      : fd_(fcntl(fd, F_DUPFD_CLOEXEC, 0)),
        where_(std::move(where)),
        places_(std::move(places)),
        kept_(std::move(kept)),
        counts_(std::move(counts)),
        table_(rules.table),
        fast_(rules.fast),
        stat_(before),
        size_(static_cast<std::size_t>(std::max<off_t>(0, before.size))),
        read_(progress ? &progress->rows_read : nullptr) {
    if (fd_ < 0) cannot_read();
    if (!unchanged()) {  // not during the first pass either
      close(fd_);
      changed();
    }
    if (size_ > 0) {
      void* m = mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd_, 0);
      if (m == MAP_FAILED) {
        close(fd_);
        cannot_read();
      }
      map_ = static_cast<const unsigned char*>(m);
    }
    catch_bus_errors();
  }
  ~file_rows() override {
    if (map_ != nullptr) munmap(const_cast<unsigned char*>(map_), size_);
    close(fd_);
  }
  file_rows(const file_rows&) = delete;
  file_rows& operator=(const file_rows&) = delete;

  const char* read(std::size_t i, std::size_t c0, std::size_t c1,
                   char* buf) const override {
    run_progress::add(read_, c1 - c0);
    const row_place& p = places_[i];
    if (p.width == 0) {
      std::memcpy(buf, kept_.data() + p.start + c0, c1 - c0);
    } else if (c1 > c0) {
      const std::uint64_t w = p.width, stride = w + p.line_end;
      const std::uint64_t last = p.start + (c1 - 1) / w * stride + (c1 - 1) % w;
      if (last >= size_) changed();
      sigjmp_buf jump;
      if (sigsetjmp(jump, 0) != 0) {
        t_bus_jump = nullptr;
        changed();
      }
      t_bus_jump = &jump;
      copy_columns(p, c0, c1, reinterpret_cast<unsigned char*>(buf));
      t_bus_jump = nullptr;
    }
    // Masked stop codons: gaps.
    const auto masked = masked_.find(i);
    if (masked != masked_.end())
      for (const std::size_t codon : masked->second)
        for (std::size_t j = 3 * codon; j < 3 * codon + 3; ++j)
          if (j >= c0 && j < c1) buf[j - c0] = static_cast<char>(UNALIGNED);
    return buf;
  }

  const std::vector<std::uint32_t>& class_counts() const override {
    return counts_;
  }

  void mask_codons(
      const std::vector<std::pair<std::size_t, std::size_t>>& codons) override {
    std::vector<char> row(3);
    for (const auto& [i, codon] : codons) {
      read(i, 3 * codon, 3 * codon + 3, row.data());
      for (std::size_t k = 0; k < 3; ++k) {
        std::uint32_t* c = &counts_[(3 * codon + k) * 27];
        --c[row[k] - 'A'];
        ++c[26];
      }
      masked_[i].push_back(codon);
    }
  }

  void check_unchanged() const override {
    if (!unchanged()) changed();
  }

 private:
  // Columns [c0, c1) of an even row, line by line from the mapping, as the
  // reader's table keeps them: 16 bytes at a time, the last 16 of a line
  // again where it does not end on them.
  void copy_columns(const row_place& p, std::size_t c0, std::size_t c1,
                    unsigned char* out) const {
    const std::size_t w = p.width, stride = w + p.line_end;
    for (std::size_t j = c0; j < c1;) {
      const std::size_t n = std::min(c1 - j, w - j % w);
      const unsigned char* in = map_ + p.start + j / w * stride + j % w;
      unsigned char* to = out + (j - c0);
      if (n < 16) {
        for (std::size_t k = 0; k < n; ++k) to[k] = table_[in[k]];
      } else {
        for (std::size_t k = 0; k + 16 <= n; k += 16) fast_(in + k, to + k);
        if (n % 16 != 0) fast_(in + n - 16, to + n - 16);
      }
      j += n;
    }
  }

  bool unchanged() const { return stat_.size >= 0 && state_of(fd_) == stat_; }

  [[noreturn]] void cannot_read() const {
    throw fatal_error("Error: cannot read " + where_ + ": " +
                      std::strerror(errno));
  }

  [[noreturn]] void changed() const { throw input_changed(where_); }

  int fd_;
  std::string where_;
  const unsigned char* map_ = nullptr;
  std::vector<row_place> places_;
  std::string kept_;
  std::vector<std::uint32_t> counts_;
  filter_table table_;
  filter16 fast_;
  file_state stat_;
  std::size_t size_ = 0;
  std::atomic<std::uint64_t>* read_;  // residues read, for progress
  std::unordered_map<std::size_t, std::vector<std::size_t>> masked_;
};

// Counts the classes of the columns of rows, a batch of rows at a time and
// a tile of columns at a time, so that the counters being added to stay in
// the first-level cache.
class class_counter {
 public:
  class_counter(std::size_t lseq, std::uint32_t* counts)
      : lseq_(lseq),
        counts_(counts),
        batch_(std::clamp<std::size_t>(
            (std::size_t{12} << 20) / std::max<std::size_t>(1, lseq), 1,
            65535)),
        rows_(batch_ * lseq) {}
  ~class_counter() { flush(); }

  void add(const char* row) {
    if (lseq_ == 0) return;  // no columns to count, and no room for a row
    std::memcpy(rows_.data() + held_ * lseq_, row, lseq_);
    if (++held_ == batch_) flush();
  }

  void flush() {
    constexpr std::size_t kTile = 512;
    std::array<std::uint16_t, kTile * 27> tile;  // batch_ < 65536 rows
    for (std::size_t c0 = 0; c0 < lseq_; c0 += kTile) {
      const std::size_t width = std::min(kTile, lseq_ - c0);
      std::fill_n(tile.begin(), width * 27, std::uint16_t{0});
      for (std::size_t i = 0; i < held_; ++i) {
        const auto* r = reinterpret_cast<const unsigned char*>(rows_.data() +
                                                               i * lseq_ + c0);
        std::uint16_t* c = tile.data();
        std::size_t j = 0;
        // Four columns, four independent counters.
        for (; j + 4 <= width; j += 4, c += 4 * 27) {
          ++c[r[j] - 'A'];
          ++c[27 + r[j + 1] - 'A'];
          ++c[2 * 27 + r[j + 2] - 'A'];
          ++c[3 * 27 + r[j + 3] - 'A'];
        }
        for (; j < width; ++j, c += 27) ++c[r[j] - 'A'];
      }
      std::uint32_t* c = counts_ + c0 * 27;
      for (std::size_t k = 0; k < width * 27; ++k) c[k] += tile[k];
    }
    held_ = 0;
  }

 private:
  std::size_t lseq_;
  std::uint32_t* counts_;
  std::size_t batch_;  // rows held before they are counted
  std::vector<char> rows_;
  std::size_t held_ = 0;
};

// Reads one stretch of the file, counting the classes of every record of
// width lseq into counts (27 a column).
void index_records(byte_source* src, off_t base, const fasta_rules& rules,
                   std::size_t lseq, std::uint32_t* counts, index_piece* out) {
  reused_sink sink;
  class_counter counter(lseq, counts);
  read_records(
      src, rules, &sink, &out->records, [&](const fasta_record_info& info) {
        const char* row = sink.data();
        if (info.even) {
          out->places.push_back({static_cast<std::uint64_t>(base) + info.start,
                                 static_cast<std::uint32_t>(info.width),
                                 static_cast<std::uint8_t>(info.line_end)});
        } else {
          out->places.push_back({out->kept.size(), 0, 0});
          out->kept.append(row, info.residues);
        }
        if (info.residues == lseq) counter.add(row);  // else lengths differ
      });
}

}  // namespace

loaded_input index_fasta_file(int fd, off_t begin, off_t end,
                              const read_context& ctx, thread_pool& pool) {
  const fasta_rules rules = rules_of(ctx);
  const std::size_t size = static_cast<std::size_t>(end - begin);
  file_state before = state_of(fd);
  if (before.size != end) before.size = -1;  // as if changed
  if (ctx.progress) ctx.progress->file_size = size;
  // The first record's length: the one all must have, for the counts.
  std::size_t lseq = 0;
  {
    char buf[1 << 16];
    fd_source src(fd, begin, end, buf, sizeof buf);
    byte_stream in(&src);
    reused_sink sink;
    std::string name;
    fasta_record_info info;
    if (read_fasta_record(&in, rules, &name, &sink, &info) && !info.too_long)
      lseq = info.residues;
  }
  const std::size_t threads = pool.threads_for(size);
  const std::size_t parts = threads == 1 ? 1 : threads * 4;
  const std::vector<off_t> starts = piece_starts(fd, begin, end, parts);
  std::vector<index_piece> pieces(parts);
  std::vector<std::vector<std::uint32_t>> counts(
      std::min(threads, parts), std::vector<std::uint32_t>(27 * lseq));
  const std::size_t block = std::clamp<std::size_t>(size + 1, 4096, 1 << 20);
  pool.run(counts.size(), size, [&](std::size_t t) {
    std::unique_ptr<char[]> buf(new char[block]);
    for (std::size_t k = t; k < parts; k += counts.size()) {
      if (starts[k] == starts[k + 1]) continue;
      try {
        fd_source src(fd, starts[k], starts[k + 1], buf.get(), block);
        if (ctx.progress) src.count_into(&ctx.progress->file_read);
        index_records(&src, starts[k], rules, lseq, counts[t].data(),
                      &pieces[k]);
      } catch (...) {
        pieces[k].records.error = std::current_exception();
      }
    }
  });
  // Counts are whole numbers: their order of addition does not matter.
  for (std::size_t t = 1; t < counts.size(); ++t)
    for (std::size_t j = 0; j < counts[0].size(); ++j)
      counts[0][j] += counts[t][j];

  std::vector<piece_result> records;
  std::vector<row_place> places;
  std::string kept;
  for (index_piece& p : pieces) {
    for (row_place& place : p.places) {
      if (place.width == 0) place.start += kept.size();
      places.push_back(place);
    }
    kept += p.kept;
    std::string().swap(p.kept);
    records.push_back(std::move(p.records));
  }
  loaded_input in = merge(records, big_buffer(), ctx);
  in.aln.offsets.clear();
  in.aln.source = std::make_shared<file_rows>(
      fd, before, ctx.where, std::move(places), std::move(kept),
      counts.empty() ? std::vector<std::uint32_t>() : std::move(counts[0]),
      rules, ctx.progress);
  if (ctx.progress)
    ctx.progress->pass_size =
        static_cast<std::uint64_t>(in.aln.names.size()) * lseq;
  return in;
}

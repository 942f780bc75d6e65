#include "input/fasta_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/file_state.h"
#include "core/weights.h"
#include "input/mapped_rows.h"
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
    keep(info, in.offset());
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
  read_records(src, rules, &sink, out,
               [&](const fasta_record_info& info, std::uint64_t) {
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

// The records of one stretch of the file, read without keeping their rows:
// where each row stands, and the hash of what was read of it.
struct index_piece {
  piece_result records;
  row_index rows;
  // Whether a row not as long as the first (so not counted) holds a
  // residue that is no gap.
  bool uncounted_residue = false;
};

// Reads n bytes at offset `at`, as many as there are; returns how many.
std::size_t pread_all(int fd, char* buf, std::size_t n, off_t at) {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r =
        pread(fd, buf + got, n - got, at + static_cast<off_t>(got));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  return got;
}

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

// Reads the stretch of the file open on fd that src reads (from byte base
// on), recording where each record's row stands: laid out evenly, by its
// lines; otherwise by checkpoints, found in the record's bytes read again.
void index_records(int fd, const std::string& where, byte_source* src,
                   off_t base, const fasta_rules& rules,
                   column_counter* counter, std::size_t lseq,
                   index_piece* out) {
  reused_sink sink;
  std::string bytes;
  read_records(
      src, rules, &sink, &out->records,
      [&](const fasta_record_info& info, std::uint64_t end) {
        row_place place;
        place.start = static_cast<std::uint64_t>(base) + info.start;
        if (info.even) {
          place.width = static_cast<std::uint32_t>(info.width);
          place.line_end = static_cast<std::uint8_t>(info.line_end);
        } else {
          // The record's lines once more, in the page cache by now; a PIR
          // record's residues start after its description line.
          bytes.resize(end - info.start);
          errno = 0;
          if (pread_all(fd, bytes.data(), bytes.size(),
                        static_cast<off_t>(place.start)) != bytes.size()) {
            if (errno != 0)
              throw fatal_error("Error: cannot read " + where + ": " +
                                std::strerror(errno));
            throw input_changed(where);  // cut short while it was read
          }
          std::size_t from = 0;
          if (info.pir)
            from = std::min(bytes.find_first_of("\n\r"), bytes.size());
          place.start += from;
          place.checkpoint =
              static_cast<std::uint32_t>(out->rows.checkpoints.size());
          add_checkpoints(bytes.data() + from, bytes.size() - from,
                          info.residues, rules, &out->rows.checkpoints);
        }
        out->rows.places.push_back(place);
        out->rows.hashes.push_back(row_hash(sink.data(), 0, info.residues));
        if (info.residues == lseq) {
          counter->add(sink.data());
        } else if (!out->uncounted_residue) {  // refused, but first told
          const char* row = sink.data();
          out->uncounted_residue = std::any_of(
              row, row + info.residues,
              [](char c) { return c != static_cast<char>(UNALIGNED); });
        }
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
  const std::size_t block = std::clamp<std::size_t>(size + 1, 4096, 1 << 20);
  const std::size_t workers = std::min(threads, parts);
  std::vector<std::vector<std::uint32_t>> counts(workers);
  pool.run(workers, size, [&](std::size_t t) {
    std::unique_ptr<char[]> buf(new char[block]);
    column_counter counter(lseq);
    for (std::size_t k = t; k < parts; k += workers) {
      if (starts[k] == starts[k + 1]) continue;
      try {
        fd_source src(fd, starts[k], starts[k + 1], buf.get(), block);
        if (ctx.progress) src.count_into(&ctx.progress->file_read);
        index_records(fd, ctx.where, &src, starts[k], rules, &counter, lseq,
                      &pieces[k]);
      } catch (...) {
        pieces[k].records.error = std::current_exception();
      }
    }
    counts[t] = counter.take();
  });
  // Counts are whole numbers: their order of addition does not matter.
  for (std::size_t t = 1; t < counts.size(); ++t)
    for (std::size_t j = 0; j < counts[0].size(); ++j)
      counts[0][j] += counts[t][j];

  std::vector<piece_result> records;
  row_index rows;
  for (index_piece& p : pieces) {
    const auto first = static_cast<std::uint32_t>(rows.checkpoints.size());
    for (row_place& place : p.rows.places) {
      if (place.width == 0) place.checkpoint += first;
      rows.places.push_back(place);
    }
    rows.checkpoints.insert(rows.checkpoints.end(), p.rows.checkpoints.begin(),
                            p.rows.checkpoints.end());
    rows.hashes.insert(rows.hashes.end(), p.rows.hashes.begin(),
                       p.rows.hashes.end());
    p.rows = row_index();
    records.push_back(std::move(p.records));
  }
  loaded_input in = merge(records, big_buffer(), ctx);
  for (const index_piece& p : pieces)
    in.uncounted_residue = in.uncounted_residue || p.uncounted_residue;
  in.aln.offsets.clear();
  if (!counts.empty()) in.aln.class_counts = std::move(counts[0]);
  in.aln.source = map_rows(fd, before, ctx.where, lseq, std::move(rows), rules,
                           ctx.progress);
  if (ctx.progress)
    ctx.progress->pass_size =
        static_cast<std::uint64_t>(in.aln.names.size()) * lseq;
  return in;
}

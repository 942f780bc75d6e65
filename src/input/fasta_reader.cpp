#include "input/fasta_reader.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "error.h"
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

void read_records(byte_source* src, const fasta_rules& rules,
                  big_buffer* residues, std::size_t base, bool shared,
                  piece_result* out) {
  byte_stream in(src);
  table_sink sink(residues, base, shared);
  std::string comment;
  fasta_record_info info;
  std::size_t used = base;
  while (read_fasta_record(&in, rules, &comment, &sink, &info, &out->drops)) {
    if (info.too_long) {
      out->too_long = true;
      out->long_name = comment;
      return;
    }
    out->names.push_back(std::move(comment));  // the reader clears it
    out->offsets.push_back(used);
    out->lengths.push_back(info.residues);
    out->pir.push_back(info.pir);
    used += info.residues;
    sink.set_base(used);
  }
}

loaded_input merge(std::vector<piece_result>& pieces, big_buffer residues,
                   const read_context& ctx) {
  loaded_input in;
  in.format = "FASTA";
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

loaded_input read_fasta_file(int fd, off_t begin, off_t end,
                             const read_context& ctx, thread_pool& pool) {
  const fasta_rules rules = rules_of(ctx);
  const std::size_t size = static_cast<std::size_t>(end - begin);
  const std::size_t threads = pool.threads_for(size);
  // A few pieces a thread, so that threads that finish early take more.
  const std::size_t parts = threads == 1 ? 1 : threads * 4;
  std::vector<off_t> starts(parts + 1, end);
  starts[0] = begin;
  for (std::size_t k = 1; k < parts; ++k)
    starts[k] = std::max(
        starts[k - 1],
        record_start_from(
            fd, begin + static_cast<off_t>(piece_begin(size, parts, k)), end));
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

#include "input/fasta_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "error.h"
#include "input/source.h"

namespace {

// Writes a record's residues straight into the table's buffer at `base`.
class table_sink : public residue_sink {
 public:
  table_sink(big_buffer* residues, std::size_t base)
      : residues_(residues), base_(base) {}
  void set_base(std::size_t base) { base_ = base; }
  char* reserve(std::size_t n) override {
    residues_->reserve(base_ + n);
    return residues_->data() + base_;
  }

 private:
  big_buffer* residues_;
  std::size_t base_;
};

fasta_rules rules_of(const fasta_input_options& opts) {
  fasta_rules r;
  r.flag = opts.fold_case ? FOLD_CASE : 0;
  r.gap_mark = static_cast<char>(UNALIGNED);
  r.max_residues = opts.max_residues;
  return r;
}

constexpr std::size_t kPieceBlock = 128 << 10;  // read size for pieces

// The records of one stretch of input, read into the buffer from `base` on.
struct piece_result {
  std::vector<std::string> names;
  std::vector<std::size_t> offsets, lengths;
  std::size_t dropped = 0;
  bool too_long = false;  // the record after the last name is over the limit
  std::string long_name;
  std::exception_ptr error;  // a read error, or no header at the start
};

void read_records(byte_source* src, const fasta_rules& rules,
                  big_buffer* residues, std::size_t base, piece_result* out) {
  fasta_stream in(src);
  table_sink sink(residues, base);
  std::string comment;
  fasta_record_info info;
  std::size_t used = base;
  while (read_fasta_record(&in, rules, &comment, &sink, &info)) {
    if (info.too_long) {
      out->too_long = true;
      out->long_name = comment;
      return;
    }
    out->names.push_back(std::move(comment));  // the reader clears it
    out->offsets.push_back(used);
    out->lengths.push_back(info.residues);
    out->dropped += info.dropped;
    used += info.residues;
    sink.set_base(used);
  }
}

loaded_input merge(std::vector<piece_result>& pieces, big_buffer residues,
                   const fasta_rules& rules) {
  loaded_input in;
  in.format = "FASTA";
  in.aln.residues = std::move(residues);
  for (piece_result& p : pieces) {
    if (p.error) std::rethrow_exception(p.error);
    if (p.too_long)
      record_too_long(in.aln.names.size() + p.names.size() + 1, p.long_name,
                      rules.max_residues);
    for (std::string& name : p.names) in.aln.names.push_back(std::move(name));
    in.aln.offsets.insert(in.aln.offsets.end(), p.offsets.begin(),
                          p.offsets.end());
    in.lengths.insert(in.lengths.end(), p.lengths.begin(), p.lengths.end());
    in.dropped += p.dropped;
  }
  return in;
}

// The first record start ('>' at the start of a line) at or after pos, or
// size. A '>' after a line end always starts a record: the line before it
// was either a header, which the line end closed, or residues.
off_t record_start_from(int fd, off_t pos, off_t size) {
  if (pos == 0) return 0;
  char buf[1 << 16];
  --pos;  // look at the byte before, for the line end
  while (pos < size) {
    const ssize_t n = pread(fd, buf, sizeof buf, pos);
    if (n <= 1) break;
    for (ssize_t i = 0; i + 1 < n; ++i)
      if (buf[i] == '\n' && buf[i + 1] == '>') return pos + i + 1;
    pos += n - 1;  // keep the last byte: it may be a line end
  }
  return size;
}

}  // namespace

loaded_input read_fasta(byte_source* src, const fasta_input_options& opts,
                        std::size_t size_hint) {
  const fasta_rules rules = rules_of(opts);
  big_buffer residues(size_hint > 0 ? size_hint + 64 : 1 << 20);
  std::vector<piece_result> pieces(1);
  read_records(src, rules, &residues, 0, &pieces[0]);
  return merge(pieces, std::move(residues), rules);
}

loaded_input read_fasta_file(int fd, off_t size,
                             const fasta_input_options& opts,
                             thread_pool& pool) {
  const fasta_rules rules = rules_of(opts);
  // A few pieces a thread, so that threads that finish early take more.
  const std::size_t parts = std::max<std::size_t>(1, pool.size()) * 4;
  std::vector<off_t> starts(parts + 1, size);
  starts[0] = 0;
  for (std::size_t k = 1; k < parts; ++k)
    starts[k] = std::max(
        starts[k - 1],
        record_start_from(fd,
                          static_cast<off_t>(piece_begin(
                              static_cast<std::size_t>(size), parts, k)),
                          size));
  // Each piece's residues go where its bytes are in the file: they never
  // outnumber them, so pieces cannot overlap.
  big_buffer residues(static_cast<std::size_t>(size) + 64);
  std::vector<piece_result> pieces(parts);
  // Each thread reads every threads-th piece, through one buffer of its own.
  const std::size_t threads = std::min<std::size_t>(
      pool.threads_for(static_cast<std::size_t>(size)), parts);
  pool.run(threads, static_cast<std::size_t>(size), [&](std::size_t t) {
    std::unique_ptr<char[]> buf(new char[kPieceBlock]);
    for (std::size_t k = t; k < parts; k += threads) {
      if (starts[k] == starts[k + 1]) continue;
      try {
        fd_source src(fd, starts[k], starts[k + 1], buf.get(), kPieceBlock);
        read_records(&src, rules, &residues,
                     static_cast<std::size_t>(starts[k]), &pieces[k]);
      } catch (...) {
        pieces[k].error = std::current_exception();
      }
    }
  });
  return merge(pieces, std::move(residues), rules);
}

#include "input/read_input.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "input/detect.h"
#include "input/fasta_reader.h"
#include "input/records.h"
#include "input/source.h"

namespace {

std::uint64_t lower_case_and_dots(const drop_counts& d) {
  std::uint64_t n = d['.'];
  for (int c = 'a'; c <= 'z'; ++c) n += d[c];
  return n;
}

[[noreturn]] void refuse_lengths(const loaded_input& in, std::size_t i) {
  std::string message = lengths_differ(i, in.aln.names[i], in.lengths[i],
                                       in.aln.names[0], in.lengths[0]);
  const std::uint64_t dropped = lower_case_and_dots(in.drops);
  if (dropped > 0)  // only FASTA without -u drops letters
    message += "\nHint: " + std::to_string(dropped) +
               " lower-case letters and '.' were dropped as insertions; if "
               "they belong to the alignment (MAFFT writes nucleotides in "
               "lower case), -u reads them as residues and gaps.";
  throw fatal_error(message);
}

// One line on what the FASTA reader dropped besides blanks and digits, by
// kind: "3164 lower-case letters and 12 '?' were dropped ...".
void warn_dropped(const drop_counts& d, bool fold_case, const warn_fn& warn) {
  std::vector<std::string> kinds;
  std::uint64_t total = 0, lower = 0, other = 0;
  for (int c = 'a'; c <= 'z'; ++c) lower += d[c];
  if (lower > 0)
    kinds.push_back(std::to_string(lower) + (lower == 1
                                                 ? " lower-case letter"
                                                 : " lower-case letters"));
  total += lower;
  bool u_reads = lower > 0;  // what -u would read as residues or gaps
  for (int c = 0; c < 256; ++c) {
    if (d[c] == 0 || (c >= 'a' && c <= 'z')) continue;
    total += d[c];
    if (c > 0x20 && c < 0x7f) {
      kinds.push_back(std::to_string(d[c]) + " '" +
                      std::string(1, static_cast<char>(c)) + "'");
      u_reads = u_reads || c == '.' || c == '?' || c == '~' || c == '_';
    } else {
      other += d[c];
    }
  }
  if (other > 0)
    kinds.push_back(std::to_string(other) + (other == 1
                                                 ? " byte that is not text"
                                                 : " bytes that are not text"));
  if (kinds.empty() || !warn) return;
  std::string list;
  for (std::size_t k = 0; k < kinds.size(); ++k) {
    if (k > 0) list += k + 1 == kinds.size() ? " and " : ", ";
    list += kinds[k];
  }
  warn("Warning: " + list + (total == 1 ? " was" : " were") +
       " dropped from the residues" +
       (u_reads && !fold_case
            ? "; -u reads lower case as residues and '.', '?', '~' as gaps."
            : "."));
}

// Keeps the rows as read in summary->letters and turns them into table
// rows: what the table holds of each byte, in place.
void keep_letters(loaded_input& in, format fmt, bool fold_case,
                  input_summary* summary) {
  filter_table& columns = summary->columns;
  if (fmt == format::fasta) {
    columns = make_filter_table(
        fasta_rule(fold_case ? FOLD_CASE : 0, static_cast<char>(UNALIGNED)));
  } else {
    for (int c = 'A'; c <= 'Z'; ++c) columns[c] = static_cast<unsigned char>(c);
    columns['X'] = columns[UNALIGNED] = UNALIGNED;
  }
  summary->letters.resize(in.lengths.size());
  for (std::size_t i = 0; i < in.lengths.size(); ++i) {
    char* row = in.aln.residues.data() + in.aln.offsets[i];
    summary->letters[i].assign(row, in.lengths[i]);
    std::size_t k = 0;
    for (const char c : summary->letters[i]) {
      const unsigned char v = columns[static_cast<unsigned char>(c)];
      if (v != 0)
        row[k++] = static_cast<char>(v);
      else
        ++in.drops[static_cast<unsigned char>(c)];  // as the reader drops it
    }
    in.lengths[i] = k;
  }
}

// Whether the rows read hold a residue that is no gap: whether a letter of
// the input was upper case, where lower case was dropped.
bool holds_residue(const loaded_input& in) {
  const std::vector<std::uint32_t>& counts = in.aln.class_counts;
  for (std::size_t j = 0; j < counts.size(); j += 27)
    for (std::size_t k = 0; k < 26; ++k)
      if (counts[j + k] != 0) return true;
  // Rows read in place were counted, or looked at where they could not be.
  if (in.aln.source) return in.uncounted_residue;
  for (std::size_t i = 0; i < in.lengths.size(); ++i) {
    const char* row = in.aln.residues.data() + in.aln.offsets[i];
    for (std::size_t j = 0; j < in.lengths[i]; ++j)
      if (row[j] != static_cast<char>(UNALIGNED)) return true;
  }
  return false;
}

// A source that keeps a copy of what it hands out, until a residue line
// shows an upper-case letter: standard input read once, that can be read
// again by -u's rule when no letter was upper case (MAFFT writes
// nucleotides in lower case). A file (gzip) is read again from the file
// instead: `record` false keeps nothing.
class recording_source : public byte_source {
 public:
  recording_source(byte_source* src, bool record)
      : src_(src), recording_(record) {}
  bool next(const char** data, std::size_t* size) override {
    if (!src_->next(data, size)) return false;
    if (recording_) {
      copy_.append(*data, *size);
      for (std::size_t k = 0; k < *size && recording_; ++k) {
        const char c = (*data)[k];
        if (c == '\n' || c == '\r') {
          line_start_ = true;
          header_ = false;
          continue;
        }
        if (line_start_) header_ = c == '>';
        line_start_ = false;
        if (!header_ && c >= 'A' && c <= 'Z' && c != 'X') {  // X: a gap
          recording_ = false;
          std::string().swap(copy_);
        }
      }
    }
    return true;
  }
  // What was handed out, if all of it was kept.
  const std::string* copy() const { return recording_ ? &copy_ : nullptr; }

 private:
  byte_source* src_;
  bool recording_, line_start_ = true, header_ = false;
  std::string copy_;
};

class string_source : public byte_source {
 public:
  explicit string_source(const std::string& s) : s_(s) {}
  bool next(const char** data, std::size_t* size) override {
    if (done_ || s_.empty()) return false;
    done_ = true;
    *data = s_.data();
    *size = s_.size();
    return true;
  }

 private:
  const std::string& s_;
  bool done_ = false;
};

// Plain FASTA files from this size on are read in passes, not copied.
constexpr off_t kStreamFrom = off_t{64} << 20;

alignment read_from(input_bytes& bytes, int fd, off_t start,
                    const std::string& input_name, const input_options& opts,
                    thread_pool& pool, const warn_fn& warn,
                    input_summary* summary) {
  read_context ctx;
  ctx.where = input_label(input_name);
  ctx.limit =
      opts.max_columns == 0 ? MAX_WIDTH : std::min(opts.max_columns, MAX_WIDTH);
  ctx.fold_case = opts.fold_case;
  ctx.keep_letters = opts.keep_letters && summary != nullptr;
  ctx.warn = warn;
  ctx.progress = opts.progress;

  // The head as the readers see it, after gzip: still compressed, it is
  // refused as binary.
  const input_kind kind = detect_format(bytes.head());
  if (kind.fmt == format::refused) throw fatal_error(std::string(kind.refusal));
  loaded_input in;
  off_t begin = 0, end = 0;
  const bool plain =
      kind.fmt == format::fasta && plain_file(fd, start, bytes, &begin, &end);
  using streaming = input_options::streaming;
  const bool in_place =
      plain && !ctx.keep_letters &&
      (opts.stream == streaming::always ||
       (opts.stream == streaming::automatic && end - begin >= kStreamFrom));
  // A regular file is read again from its start where it must be; only
  // a pipe's bytes are kept for that.
  struct stat st {};
  const bool rereadable = !plain && fd >= 0 && start >= 0 &&
                          fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  recording_source recorded(bytes.source(), !rereadable);
  const auto read_fasta_input = [&] {
    if (in_place) return index_fasta_file(fd, begin, end, ctx, pool);
    if (plain) return read_fasta_file(fd, begin, end, ctx, pool);
    return read_fasta(&recorded, ctx);
  };
  if (kind.fmt == format::fasta)
    in = read_fasta_input();
  else
    in = format_row(kind.fmt).read(bytes.source(), ctx);
  // No letter upper case, and lower case dropped: the nucleotides as MAFFT
  // writes them, which only -u's rule reads. An alignment with any letter
  // in upper case is read as it was.
  if (kind.fmt == format::fasta && !ctx.fold_case && !ctx.keep_letters &&
      lower_case_and_dots(in.drops) > 0 && !holds_residue(in) &&
      (plain || rereadable || recorded.copy() != nullptr)) {
    ctx.fold_case = true;
    if (plain) {
      in = read_fasta_input();
    } else if (rereadable) {
      if (lseek(fd, start, SEEK_SET) != start)
        throw fatal_error("Error: cannot read " + ctx.where +
                          " again: " + std::strerror(errno));
      input_bytes again(fd, input_name);  // its warnings were given
      in = read_fasta(again.source(), ctx);
    } else {
      string_source again(*recorded.copy());
      in = read_fasta(&again, ctx);
    }
    if (warn)
      warn(
          "Warning: no letter of the alignment is upper case, so it was read "
          "as -u reads it: lower-case letters as residues, '.' as gaps (as "
          "MAFFT writes nucleotides)");
  }

  if (ctx.keep_letters) keep_letters(in, kind.fmt, ctx.fold_case, summary);
  if (in.aln.names.empty())
    throw fatal_error("Error: no sequences in input file");
  for (std::size_t i = 0; i < in.lengths.size(); ++i)
    if (in.lengths[i] > ctx.limit)
      record_too_long(i + 1, in.aln.names[i], ctx.limit);
  for (std::size_t i = 1; i < in.lengths.size(); ++i)
    if (in.lengths[i] != in.lengths[0]) refuse_lengths(in, i);
  in.aln.lseq = in.lengths[0];
  if (in.aln.lseq == 0) {
    std::string message = "Error: alignment has no columns";
    if (kind.fmt == format::fasta && !ctx.fold_case)
      message +=
          " (lower-case letters and '.' are read as insertions and dropped)";
    const std::uint64_t dropped = lower_case_and_dots(in.drops);
    if (dropped > 0)
      message += "\nHint: " + std::to_string(dropped) +
                 " lower-case letters and '.' were dropped; -u reads them as "
                 "residues and gaps.";
    throw fatal_error(message);
  }
  warn_dropped(in.drops, ctx.fold_case, warn);
  if (summary != nullptr) summary->format = format_row(kind.fmt).name;
  return std::move(in.aln);
}

}  // namespace

bool plain_file(int fd, off_t start, const input_bytes& bytes, off_t* begin,
                off_t* end) {
  struct stat st {};
  if (fd < 0 || start < 0 || bytes.compressed_with() != compression::none ||
      fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
    return false;
  *begin = start + static_cast<off_t>(bytes.skipped());
  *end = st.st_size;
  return *begin <= *end;
}

loaded_input read_plain_or_stream(input_bytes& bytes, int fd, off_t start,
                                  const read_context& ctx, thread_pool& pool) {
  off_t begin = 0, end = 0;
  if (plain_file(fd, start, bytes, &begin, &end))
    return read_fasta_file(fd, begin, end, ctx, pool);
  return read_fasta(bytes.source(), ctx);
}

alignment read_alignment(int fd, const std::string& input_name,
                         const input_options& opts, thread_pool& pool,
                         const warn_fn& warn, input_summary* summary) {
  const off_t start = lseek(fd, 0, SEEK_CUR);
  input_bytes bytes(fd, input_name, warn);
  return read_from(bytes, fd, start, input_name, opts, pool, warn, summary);
}

alignment read_alignment(std::unique_ptr<byte_source> raw,
                         const std::string& input_name,
                         const input_options& opts, thread_pool& pool,
                         const warn_fn& warn, input_summary* summary) {
  input_bytes bytes(std::move(raw), input_name, warn);
  return read_from(bytes, -1, -1, input_name, opts, pool, warn, summary);
}

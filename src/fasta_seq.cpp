#include "fasta_seq.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace {

// For each byte: the character stored for it, or 0 when it is dropped.
using filter_table = std::array<unsigned char, 256>;

constexpr filter_table make_filter_table(int flag) {
  filter_table t{};
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<unsigned char>(c);
  if (flag == 0) {
    t['-'] = '-';
  } else if (flag == 2) {
    t['-'] = '-';
    t['.'] = '.';
    for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<unsigned char>(c);
  } else {
    for (int c = 'a'; c <= 'z'; ++c)
      t[c] = static_cast<unsigned char>(c - 'a' + 'A');
  }
  return t;
}

constexpr filter_table kGapFilter = make_filter_table(0);
constexpr filter_table kInsertFilter = make_filter_table(2);
constexpr filter_table kUpperFilter = make_filter_table(1);

const filter_table& filter_for(int flag) {
  if (flag == 0) return kGapFilter;
  if (flag == 2) return kInsertFilter;
  return kUpperFilter;
}

// Appends the characters of [p, e) that the table keeps to out, which holds
// n residues so far and has room for MAX_SEQLEN. Returns the new count.
std::size_t filter_block(const unsigned char* p, const unsigned char* e,
                         const filter_table& table, char* out, std::size_t n) {
  if (n + static_cast<std::size_t>(e - p) <= MAX_SEQLEN) {
    // Cannot overflow: store every byte, advance only over kept ones.
    for (; p < e; ++p) {
      unsigned char v = table[*p];
      out[n] = static_cast<char>(v);
      n += v != 0;
    }
    return n;
  }
  for (; p < e; ++p) {
    unsigned char v = table[*p];
    if (v == 0) continue;
    if (n == MAX_SEQLEN) throw fasta_error("ERROR: sequence too long.");
    out[n++] = static_cast<char>(v);
  }
  return n;
}

// Reads the rest of the header line into *comment and consumes its line end.
void read_header(fasta_stream* fp, std::string* comment) {
  while (fp->fill()) {
    const char* b = fp->begin();
    const std::size_t len = fp->end() - b;
    const char* nl = static_cast<const char*>(std::memchr(b, '\n', len));
    if (nl != nullptr) {
      comment->append(b, nl);
      fp->skip(nl - b + 1);
      break;
    }
    comment->append(b, len);
    fp->skip(len);
  }
  // CRLF files: keep names clean.
  if (!comment->empty() && comment->back() == '\r') comment->pop_back();
}

}  // namespace

fasta_stream::fasta_stream(std::FILE* fp, std::size_t block_size)
    : fp_(fp), buf_(block_size), tseq_(MAX_SEQLEN + 1) {}

bool fasta_stream::refill() {
  pos_ = end_ = 0;
  if (eof_) return false;
  const std::size_t n = std::fread(buf_.data(), 1, buf_.size(), fp_);
  if (n == 0) {
    if (std::ferror(fp_))
      throw fasta_error(std::string("Error: cannot read input: ") +
                        std::strerror(errno));
    eof_ = true;
    return false;
  }
  end_ = n;
  return true;
}

int read_fasta_seq(fasta_stream* fp, std::unique_ptr<fasta_seq>* seq,
                   int flag) {
  if (!fp->fill()) return -1;
  const char first = *fp->begin();
  fp->skip(1);
  if (first != '>') throw fasta_error("Error: no header in fasta file");

  auto rec = std::make_unique<fasta_seq>();
  read_header(fp, &rec->comment);

  const filter_table& table = filter_for(flag);
  char* out = fp->tseq();
  std::size_t n = 0;
  while (fp->fill()) {
    const char* b = fp->begin();
    const std::size_t len = fp->end() - b;
    // '>' ends the record even in mid-line; it stays for the next call.
    const char* gt = static_cast<const char*>(std::memchr(b, '>', len));
    const char* stop = gt != nullptr ? gt : b + len;
    n = filter_block(reinterpret_cast<const unsigned char*>(b),
                     reinterpret_cast<const unsigned char*>(stop), table, out,
                     n);
    fp->skip(stop - b);
    if (gt != nullptr) break;
  }
  rec->seq.assign(out, n);
  *seq = std::move(rec);
  return 1;
}

void free_fasta_seq(std::unique_ptr<fasta_seq>* seq) { seq->reset(); }

void print_fasta_seq(std::FILE* fp, const fasta_seq& seq) {
  std::fputc('>', fp);
  std::fwrite(seq.comment.data(), 1, seq.comment.size(), fp);
  std::fprintf(fp, " sequence length = %d\n", seq.seqlen());
  const std::size_t len = seq.seq.size();
  for (std::size_t i = 0; i < len; i += 61) {
    std::fwrite(seq.seq.data() + i, 1, std::min<std::size_t>(61, len - i), fp);
    std::fputc('\n', fp);
  }
}

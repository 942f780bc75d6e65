#include "fasta_seq.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// Bit k is set when byte k of v is stored unchanged in filter mode Mode.
template <int Mode>
unsigned unchanged_mask(__m128i v) {
  // Signed compare trick for a range: 'A'-'Z' become -128..-103.
  const auto in_range = [v](char lo, char hi) {
    const __m128i biased =
        _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(0x80 - lo)));
    return _mm_cmplt_epi8(
        biased, _mm_set1_epi8(static_cast<char>(0x80 + (hi - lo) + 1)));
  };
  __m128i ok = in_range('A', 'Z');
  if (Mode != 1) ok = _mm_or_si128(ok, _mm_cmpeq_epi8(v, _mm_set1_epi8('-')));
  if (Mode == 2) {
    ok = _mm_or_si128(ok, _mm_cmpeq_epi8(v, _mm_set1_epi8('.')));
    ok = _mm_or_si128(ok, in_range('a', 'z'));
  }
  return static_cast<unsigned>(_mm_movemask_epi8(ok));
}
#endif

// Appends the residues of [*p, e) to out, which holds n residues so far and
// has room for MAX_SEQLEN + 1, until a '>' (left unread) or e. Returns the
// new count and sets *p to where it stopped.
template <int Mode>
std::size_t filter_residues(const unsigned char** p, const unsigned char* e,
                            char* out, std::size_t n) {
  static constexpr filter_table table = make_filter_table(Mode);
  const unsigned char* q = *p;
  while (q < e) {
#if defined(__SSE2__)
    // Sixteen bytes at a time while they are all stored as they are; the
    // store may run past the kept bytes, never past MAX_SEQLEN.
    while (e - q >= 16 && n + 16 <= MAX_SEQLEN) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
      const unsigned mask = unchanged_mask<Mode>(v);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), v);
      if (mask == 0xFFFF) {
        q += 16;
        n += 16;
        continue;
      }
      const unsigned k = static_cast<unsigned>(__builtin_ctz(~mask));
      q += k;
      n += k;
      break;
    }
    if (q == e) break;
#endif
    // One byte the fast path did not take: a line end, a '>', a character
    // to drop or change, or any byte near the end of the buffer.
    const unsigned char c = *q;
    if (c == '>') break;  // '>' ends the record even in mid-line
    const unsigned char v = table[c];
    if (v != 0) {
      if (n == MAX_SEQLEN) throw fasta_error("ERROR: sequence too long.");
      out[n++] = static_cast<char>(v);
    }
    ++q;
  }
  *p = q;
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

  char* out = fp->tseq();
  std::size_t n = 0;
  while (fp->fill()) {
    const auto* b = reinterpret_cast<const unsigned char*>(fp->begin());
    const auto* e = reinterpret_cast<const unsigned char*>(fp->end());
    const unsigned char* q = b;
    if (flag == 0)
      n = filter_residues<0>(&q, e, out, n);
    else if (flag == 2)
      n = filter_residues<2>(&q, e, out, n);
    else
      n = filter_residues<1>(&q, e, out, n);
    fp->skip(q - b);
    if (q != e) break;  // stopped at the next record's '>'
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

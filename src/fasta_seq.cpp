#include "fasta_seq.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// For each byte: the character stored for it, or 0 when it is dropped.
using filter_table = std::array<unsigned char, 256>;

filter_table make_filter_table(int flag, char gap_mark) {
  filter_table t{};
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<unsigned char>(c);
  if (flag == 0) {
    t['-'] = '-';
  } else if (flag == 2) {
    t['-'] = '-';
    t['.'] = '.';
    for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<unsigned char>(c);
  } else if (flag == FOLD_CASE) {
    for (int c = 'a'; c <= 'z'; ++c)
      t[c] = static_cast<unsigned char>(c - 'a' + 'A');
    for (int c : {'-', '.', '_', '~'}) t[c] = '-';
  } else {
    for (int c = 'a'; c <= 'z'; ++c)
      t[c] = static_cast<unsigned char>(c - 'a' + 'A');
  }
  if (gap_mark != 0)
    for (unsigned char& v : t)
      if (v == '-' || v == 'X') v = static_cast<unsigned char>(gap_mark);
  return t;
}

#if defined(__SSE2__)
// Bytes of v in [lo, hi], as a mask of 0xFF bytes.
inline __m128i in_range(__m128i v, char lo, char hi) {
  // Signed compare trick: lo..hi become -128..-128 + (hi - lo).
  const __m128i biased =
      _mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(0x80 - lo)));
  return _mm_cmplt_epi8(biased,
                        _mm_set1_epi8(static_cast<char>(0x80 + (hi - lo) + 1)));
}

inline __m128i is(__m128i v, char c) {
  return _mm_cmpeq_epi8(v, _mm_set1_epi8(c));
}

// The bytes of v as mode Mode stores them, into *out; returns a bit mask of
// the bytes it keeps. Mode 1 takes only what it keeps unchanged ('A'-'Z'),
// the rare rest goes byte by byte.
template <int Mode, bool Mark>
inline unsigned filter16(__m128i v, __m128i mark, __m128i* out) {
  __m128i keep = in_range(v, 'A', 'Z');
  __m128i gap = _mm_setzero_si128();
  if (Mode == 0 || Mode == 2) {
    gap = is(v, '-');
    keep = _mm_or_si128(keep, gap);
  }
  if (Mode == 2) {
    keep = _mm_or_si128(keep, is(v, '.'));
    keep = _mm_or_si128(keep, in_range(v, 'a', 'z'));
  }
  if (Mode == FOLD_CASE) {
    const __m128i lower = in_range(v, 'a', 'z');
    v = _mm_sub_epi8(v, _mm_and_si128(lower, _mm_set1_epi8(0x20)));
    gap = _mm_or_si128(_mm_or_si128(is(v, '-'), is(v, '.')),
                       _mm_or_si128(is(v, '_'), is(v, '~')));
    keep = _mm_or_si128(_mm_or_si128(keep, lower), gap);
    if (!Mark)
      v = _mm_or_si128(_mm_andnot_si128(gap, v),
                       _mm_and_si128(gap, _mm_set1_epi8('-')));
  }
  if (Mark) {
    gap = _mm_or_si128(gap, is(v, 'X'));
    v = _mm_or_si128(_mm_andnot_si128(gap, v), _mm_and_si128(gap, mark));
  }
  *out = v;
  return static_cast<unsigned>(_mm_movemask_epi8(keep));
}
#endif

bool is_blank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' ||
         c == '\f';
}

// State of one record's residue loop.
struct residue_state {
  std::size_t n = 0;        // residues stored
  std::size_t limit = 0;    // most residues allowed
  std::size_t dropped = 0;  // lower-case letters and '.' dropped
  // PIR: residues and drops of the first line, and where a trailing '*'
  // stood.
  bool first_line_done = false;
  std::size_t first_n = 0, first_dropped = 0;
  bool star = false;
  std::size_t star_n = 0;
  bool too_long = false;
};

// Filters the residues of [*p, e) into out until a '>' (left unread) or e.
// out has room for the block's bytes plus 16. Sets *p to where it stopped.
template <int Mode, bool Mark, bool Pir>
void filter_residues(const unsigned char** p, const unsigned char* e, char* out,
                     const filter_table& table, char gap_mark,
                     residue_state* st) {
  const unsigned char* q = *p;
  std::size_t n = st->n;
#if defined(__SSE2__)
  const __m128i mark = _mm_set1_epi8(gap_mark);
#else
  (void)gap_mark;
#endif
  while (q < e) {
#if defined(__SSE2__)
    // Sixteen bytes at a time while all are kept; the store may run past
    // the kept bytes, into room the caller made.
    while (e - q >= 16 && n + 16 <= st->limit) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
      const unsigned mask = filter16<Mode, Mark>(v, mark, &v);
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
    // to drop, or any byte near the end of the block or the limit.
    const unsigned char c = *q;
    if (c == '>') break;  // '>' ends the record even in mid-line
    const unsigned char v = table[c];
    if (v != 0) {
      if (n == st->limit) {
        st->too_long = true;
        break;
      }
      out[n++] = static_cast<char>(v);
    } else {
      if ((c >= 'a' && c <= 'z') || c == '.') ++st->dropped;
      if (Pir) {
        if (c == '\n' && !st->first_line_done) {
          st->first_line_done = true;
          st->first_n = n;
          st->first_dropped = st->dropped;
          // The description does not count towards the limit.
          st->limit += n;
        }
        // The terminator ends the residue lines, after the description.
        if (c == '*' && st->first_line_done) {
          st->star = true;
          st->star_n = n;
        } else if (!is_blank(c)) {
          st->star = false;
        }
      }
    }
    ++q;
  }
  *p = q;
  st->n = n;
}

template <int Mode, bool Mark>
void filter_block(bool pir, const unsigned char** p, const unsigned char* e,
                  char* out, const filter_table& table, char gap_mark,
                  residue_state* st) {
  if (pir)
    filter_residues<Mode, Mark, true>(p, e, out, table, gap_mark, st);
  else
    filter_residues<Mode, Mark, false>(p, e, out, table, gap_mark, st);
}

template <int Mode>
void filter_block(bool mark, bool pir, const unsigned char** p,
                  const unsigned char* e, char* out, const filter_table& table,
                  char gap_mark, residue_state* st) {
  if (mark)
    filter_block<Mode, true>(pir, p, e, out, table, gap_mark, st);
  else
    filter_block<Mode, false>(pir, p, e, out, table, gap_mark, st);
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

// A sink over the stream's working buffer.
class vector_sink : public residue_sink {
 public:
  explicit vector_sink(std::vector<char>* v) : v_(v) {}
  char* reserve(std::size_t n) override {
    if (v_->size() < n) v_->resize(std::max(n, v_->size() * 2));
    return v_->data();
  }

 private:
  std::vector<char>* v_;
};

}  // namespace

bool has_pir_code(const std::string& comment) {
  static const char* const kCodes[] = {"P1;", "F1;", "DL;", "DC;", "RL;",
                                       "RC;", "N3;", "N1;", "XX;"};
  for (const char* code : kCodes)
    if (comment.compare(0, 3, code) == 0) return true;
  return false;
}

stdio_source::stdio_source(std::FILE* fp, std::size_t block_size)
    : fp_(fp), buf_(block_size) {}

bool stdio_source::next(const char** data, std::size_t* size) {
  const std::size_t n = std::fread(buf_.data(), 1, buf_.size(), fp_);
  if (n == 0) {
    if (std::ferror(fp_))
      throw fasta_error(std::string("Error: cannot read input: ") +
                        std::strerror(errno));
    return false;
  }
  *data = buf_.data();
  *size = n;
  return true;
}

fasta_stream::fasta_stream(std::FILE* fp, std::size_t block_size)
    : owned_(std::make_unique<stdio_source>(fp, block_size)),
      src_(owned_.get()) {}

bool fasta_stream::refill() {
  if (eof_) return false;
  const char* data;
  std::size_t size;
  if (!src_->next(&data, &size)) {
    eof_ = true;
    pos_ = end_ = nullptr;
    return false;
  }
  pos_ = data;
  end_ = data + size;
  return true;
}

bool read_fasta_record(fasta_stream* fp, const fasta_rules& rules,
                       std::string* comment, residue_sink* out,
                       fasta_record_info* info) {
  if (!fp->fill()) return false;
  const char first = *fp->begin();
  fp->skip(1);
  if (first != '>') throw fasta_error("Error: no header in fasta file");

  comment->clear();
  read_header(fp, comment);
  const bool pir = has_pir_code(*comment);
  const filter_table table = make_filter_table(rules.flag, rules.gap_mark);
  const bool mark = rules.gap_mark != 0;

  residue_state st;
  st.limit = rules.max_residues;
  while (fp->fill()) {
    const auto* b = reinterpret_cast<const unsigned char*>(fp->begin());
    const auto* e = reinterpret_cast<const unsigned char*>(fp->end());
    // Room for every byte of the block, and for the fast path's overrun.
    char* dst = out->reserve(st.n + static_cast<std::size_t>(e - b) + 16);
    const unsigned char* q = b;
    switch (rules.flag) {
      case 0:
        filter_block<0>(mark, pir, &q, e, dst, table, rules.gap_mark, &st);
        break;
      case 2:
        filter_block<2>(mark, pir, &q, e, dst, table, rules.gap_mark, &st);
        break;
      case FOLD_CASE:
        filter_block<FOLD_CASE>(mark, pir, &q, e, dst, table, rules.gap_mark,
                                &st);
        break;
      default:
        filter_block<1>(mark, pir, &q, e, dst, table, rules.gap_mark, &st);
    }
    fp->skip(q - b);
    if (st.too_long) break;
    if (q != e) break;  // stopped at the next record's '>'
  }

  std::size_t n = st.n;
  std::size_t dropped = st.dropped;
  if (pir && st.star && st.star_n == n && !st.too_long) {
    // PIR: the first line was the description.
    char* dst = out->reserve(n + 16);
    std::memmove(dst, dst + st.first_n, n - st.first_n);
    n -= st.first_n;
    dropped -= st.first_dropped;
  }
  info->residues = n;
  info->dropped = dropped;
  info->too_long = st.too_long || n > rules.max_residues;
  return true;
}

int read_fasta_seq(fasta_stream* fp, std::unique_ptr<fasta_seq>* seq,
                   int flag) {
  auto rec = std::make_unique<fasta_seq>();
  vector_sink sink(&fp->tseq());
  fasta_rules rules;
  rules.flag = flag;
  fasta_record_info info;
  if (!read_fasta_record(fp, rules, &rec->comment, &sink, &info)) return -1;
  if (info.too_long) throw fasta_error("ERROR: sequence too long.");
  rec->seq.assign(fp->tseq().data(), info.residues);
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

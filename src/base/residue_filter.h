// How the characters of residue lines are read, written once: a rule, the
// 256-entry table built from it, and a 16-byte kernel built from the same
// rule for the readers' fast path. The table is the reference: the kernel
// must store what the table says for every byte it keeps (tests check the
// two against each other on random bytes).
#ifndef COLSIEVE_BASE_RESIDUE_FILTER_H
#define COLSIEVE_BASE_RESIDUE_FILTER_H

#include <array>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

struct residue_rule {
  enum class lower_case { drop, keep, fold };
  // 'A'-'Z' are always kept; lower case is dropped, kept as it is, or read
  // as upper case.
  lower_case lower = lower_case::drop;
  const char* kept = "-";  // other characters kept as they are
  const char* gaps = "";   // characters read as '-'
  // When not 0, '-' (also what `gaps` became) and 'X' are stored as this
  // character instead: the table's gap marker.
  char gap_mark = 0;
};

// For each byte: the byte stored for it, or 0 when the rule does not keep
// it (the reader drops it, or refuses it).
using filter_table = std::array<unsigned char, 256>;
filter_table make_filter_table(const residue_rule& rule);

// The table's answer for 16 bytes: stores what it keeps them as into out
// (bytes it does not keep may be anything there) and returns a mask with
// bit i set when in[i] is kept. The scalar twin of filter16.
unsigned filter16_scalar(const filter_table& table, const unsigned char* in,
                         unsigned char* out);

// The rule as a 16-byte kernel.
class filter16 {
 public:
  explicit filter16(const residue_rule& rule);
  // As filter16_scalar, for the table made from the same rule.
  unsigned operator()(const unsigned char* in, unsigned char* out) const;

 private:
#if defined(__SSE2__)
  static constexpr int kMost = 8;  // characters a list may hold
  bool keep_lower_ = false, fold_ = false, mark_ = false;
  int nkept_ = 0, ngaps_ = 0;
  __m128i kept_[kMost], gaps_[kMost], mark_char_;
#else
  filter_table table_;
#endif
};

// The rule as a kernel for whole lines of 32 bytes or more, for the two
// rules most reading takes (upper case and '-' with the gap marker; -u's
// letters of either case and . _ ~ ? with the gap marker): 32 bytes at a
// time, with its constants in registers. For other rules it is not there,
// and callers take filter16.
class line_filter {
 public:
  explicit line_filter(const residue_rule& rule);
  bool available() const { return kind_ != kind::none; }
  // Stores what the table keeps each of the n bytes at in as (n >= 32)
  // into out, and returns true when it keeps every one of them; false
  // otherwise (out then holds anything). REQUIRES: available().
  bool operator()(const unsigned char* in, unsigned char* out,
                  std::size_t n) const;
  // The same for `count` lines of n bytes each (n >= 32), `stride` bytes
  // apart at in, stored one after another into out.
  bool lines(const unsigned char* in, std::size_t stride, unsigned char* out,
             std::size_t n, std::size_t count) const;

 private:
  enum class kind { none, upper, fold };
  kind kind_ = kind::none;
};

#if defined(__SSE2__)
namespace filter16_detail {
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
inline __m128i blend(__m128i mask, __m128i yes, __m128i no) {
  return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}
}  // namespace filter16_detail

inline unsigned filter16::operator()(const unsigned char* in,
                                     unsigned char* out) const {
  using namespace filter16_detail;
  __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  __m128i keep = in_range(v, 'A', 'Z');
  if (!keep_lower_ && nkept_ == 1 && ngaps_ == 0) {
    // The usual rule (upper case and '-'), without the loops.
    keep = _mm_or_si128(keep, _mm_cmpeq_epi8(v, kept_[0]));
    if (mark_) v = blend(_mm_or_si128(is(v, '-'), is(v, 'X')), mark_char_, v);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
    return static_cast<unsigned>(_mm_movemask_epi8(keep));
  }
  if (keep_lower_) {
    const __m128i lower = in_range(v, 'a', 'z');
    keep = _mm_or_si128(keep, lower);
    if (fold_) v = _mm_sub_epi8(v, _mm_and_si128(lower, _mm_set1_epi8(0x20)));
  }
  for (int k = 0; k < nkept_; ++k)
    keep = _mm_or_si128(keep, _mm_cmpeq_epi8(v, kept_[k]));
  if (ngaps_ > 0) {
    __m128i gap = _mm_cmpeq_epi8(v, gaps_[0]);
    for (int k = 1; k < ngaps_; ++k)
      gap = _mm_or_si128(gap, _mm_cmpeq_epi8(v, gaps_[k]));
    keep = _mm_or_si128(keep, gap);
    v = blend(gap, _mm_set1_epi8('-'), v);
  }
  if (mark_) v = blend(_mm_or_si128(is(v, '-'), is(v, 'X')), mark_char_, v);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), v);
  return static_cast<unsigned>(_mm_movemask_epi8(keep));
}
#else
inline unsigned filter16::operator()(const unsigned char* in,
                                     unsigned char* out) const {
  return filter16_scalar(table_, in, out);
}
#endif

#endif  // COLSIEVE_BASE_RESIDUE_FILTER_H

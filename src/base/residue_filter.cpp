#include "base/residue_filter.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "base/platform.h"

filter_table make_filter_table(const residue_rule& rule) {
  filter_table t{};
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<unsigned char>(c);
  if (rule.lower != residue_rule::lower_case::drop)
    for (int c = 'a'; c <= 'z'; ++c)
      t[c] = static_cast<unsigned char>(
          rule.lower == residue_rule::lower_case::fold ? c - 'a' + 'A' : c);
  for (const char* p = rule.kept; *p != 0; ++p)
    t[static_cast<unsigned char>(*p)] = static_cast<unsigned char>(*p);
  for (const char* p = rule.gaps; *p != 0; ++p)
    t[static_cast<unsigned char>(*p)] = '-';
  if (rule.gap_mark != 0)
    for (unsigned char& v : t)
      if (v == '-' || v == 'X') v = static_cast<unsigned char>(rule.gap_mark);
  return t;
}

unsigned filter16_scalar(const filter_table& table, const unsigned char* in,
                         unsigned char* out) {
  unsigned mask = 0;
  for (int i = 0; i < 16; ++i) {
    out[i] = table[in[i]];
    if (out[i] != 0) mask |= 1u << i;
  }
  return mask;
}

#if defined(__SSE2__)
filter16::filter16(const residue_rule& rule)
    : keep_lower_(rule.lower != residue_rule::lower_case::drop),
      fold_(rule.lower == residue_rule::lower_case::fold),
      mark_(rule.gap_mark != 0),
      mark_char_(_mm_set1_epi8(rule.gap_mark)) {
  for (const char* p = rule.kept; *p != 0 && nkept_ < kMost; ++p)
    kept_[nkept_++] = _mm_set1_epi8(*p);
  for (const char* p = rule.gaps; *p != 0 && ngaps_ < kMost; ++p)
    gaps_[ngaps_++] = _mm_set1_epi8(*p);
}
#else
filter16::filter16(const residue_rule& rule)
    : table_(make_filter_table(rule)) {}
#endif

namespace {

// Vectors of 32 bytes, wider where the processor has them
// (COLSIEVE_CLONES).
typedef unsigned char u8x32 __attribute__((vector_size(32)));
typedef signed char s8x32 __attribute__((vector_size(32)));

// Translates 32 bytes at in into out, as the rule's table does with gap
// marker `mark`; clears the bits of *ok of the bytes it does not keep.
template <bool fold>
inline __attribute__((always_inline)) void translate32(const unsigned char* in,
                                                       unsigned char* out,
                                                       unsigned char mark,
                                                       u8x32* ok) {
  u8x32 v;
  std::memcpy(&v, in, sizeof v);
  if (fold) v -= reinterpret_cast<u8x32>((v >= 'a') & (v <= 'z')) & 0x20;
  s8x32 gap = (v == '-') | (v == 'X');
  if (fold) gap |= (v == '.') | (v == '_') | (v == '~') | (v == '?');
  const u8x32 g = reinterpret_cast<u8x32>(gap);
  *ok &= reinterpret_cast<u8x32>((v >= 'A') & (v <= 'Z')) | g;
  v = (v & ~g) | (g & mark);
  std::memcpy(out, &v, sizeof v);
}

// n bytes (n >= 32), 32 at a time, the last 32 again where n does not end
// on them.
template <bool fold>
inline __attribute__((always_inline)) bool translate(const unsigned char* in,
                                                     unsigned char* out,
                                                     std::size_t n) {
  constexpr auto mark = static_cast<unsigned char>('[');
  u8x32 ok = {};
  ok = ~ok;
  for (std::size_t k = 0; k + 32 <= n; k += 32)
    translate32<fold>(in + k, out + k, mark, &ok);
  if (n % 32 != 0) translate32<fold>(in + n - 32, out + n - 32, mark, &ok);
  std::uint64_t all[4];
  std::memcpy(all, &ok, sizeof all);
  return (all[0] & all[1] & all[2] & all[3]) == ~std::uint64_t{0};
}

COLSIEVE_CLONES bool translate_upper(const unsigned char* in,
                                     unsigned char* out, std::size_t n) {
  return translate<false>(in, out, n);
}
COLSIEVE_CLONES bool translate_fold(const unsigned char* in, unsigned char* out,
                                    std::size_t n) {
  return translate<true>(in, out, n);
}

// `lines` lines of n bytes each, `stride` bytes apart at in, one after
// another into out: one call for a row's lines.
template <bool fold>
inline __attribute__((always_inline)) bool translate_lines(
    const unsigned char* in, std::size_t stride, unsigned char* out,
    std::size_t n, std::size_t lines) {
  bool all = true;
  for (std::size_t l = 0; l < lines; ++l)
    all &= translate<fold>(in + l * stride, out + l * n, n);
  return all;
}
COLSIEVE_CLONES bool lines_upper(const unsigned char* in, std::size_t stride,
                                 unsigned char* out, std::size_t n,
                                 std::size_t lines) {
  return translate_lines<false>(in, stride, out, n, lines);
}
COLSIEVE_CLONES bool lines_fold(const unsigned char* in, std::size_t stride,
                                unsigned char* out, std::size_t n,
                                std::size_t lines) {
  return translate_lines<true>(in, stride, out, n, lines);
}

}  // namespace

line_filter::line_filter(const residue_rule& rule) {
  using lower = residue_rule::lower_case;
  // The kernels hold the gap marker of the table, '[' (the character after
  // 'Z'), and these two rules' lists.
  if (rule.gap_mark != '[') return;
  const std::string kept = rule.kept, gaps = rule.gaps;
  if (rule.lower == lower::drop && kept == "-" && gaps.empty())
    kind_ = kind::upper;
  else if (rule.lower == lower::fold && kept == "-" && gaps == "._~?")
    kind_ = kind::fold;
}

bool line_filter::operator()(const unsigned char* in, unsigned char* out,
                             std::size_t n) const {
  return kind_ == kind::fold ? translate_fold(in, out, n)
                             : translate_upper(in, out, n);
}

bool line_filter::lines(const unsigned char* in, std::size_t stride,
                        unsigned char* out, std::size_t n,
                        std::size_t count) const {
  return kind_ == kind::fold ? lines_fold(in, stride, out, n, count)
                             : lines_upper(in, stride, out, n, count);
}

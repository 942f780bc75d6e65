#include "base/residue_filter.h"

#include <cstring>

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

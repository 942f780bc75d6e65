#include "base/text.h"

#include <cstdio>

std::size_t utf8_length(std::string_view s) {
  if (s.empty()) return 0;
  const auto c = static_cast<unsigned char>(s[0]);
  const std::size_t n = c >= 0xF0 && c <= 0xF4  ? 4
                        : c >= 0xE0 && c < 0xF0 ? 3
                        : c >= 0xC2 && c < 0xE0 ? 2
                                                : 0;
  if (n == 0 || s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 0;
  // The second byte rules out what UTF-8 forbids: overlong forms, the
  // surrogates (U+D800-U+DFFF) and code points above U+10FFFF.
  const auto c1 = static_cast<unsigned char>(s[1]);
  if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0) ||
      (c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 >= 0x90))
    return 0;
  return n;
}

std::string_view utf8_prefix(std::string_view s, std::size_t n) {
  if (s.size() <= n) return s;
  std::size_t end = 0;
  while (end < n) {
    const std::size_t len = utf8_length(s.substr(end));
    const std::size_t step = len == 0 ? 1 : len;
    if (end + step > n) break;
    end += step;
  }
  return s.substr(0, end);
}

std::string shown(std::string_view name) {
  constexpr std::size_t kMax = 60;  // characters
  std::string s;
  std::size_t chars = 0;
  for (std::size_t i = 0; i < name.size(); ++chars) {
    if (chars == kMax) return s + "...";
    const auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x80) {
      const std::size_t n = utf8_length(name.substr(i));
      if (n > 0) {
        s.append(name.substr(i, n));
        i += n;
        continue;
      }
    }
    s += c < 0x20 || c >= 0x7f ? '?' : static_cast<char>(c);
    ++i;
  }
  return s;
}

std::string quoted(std::string_view name) { return '"' + shown(name) + '"'; }

std::string record_label(std::size_t i, std::string_view name) {
  return "record " + std::to_string(i + 1) + " (" + shown(name) + ")";
}

std::string_view first_word(std::string_view text) {
  std::size_t b = 0;
  while (b < text.size() && (text[b] == ' ' || text[b] == '\t')) ++b;
  std::size_t e = b;
  while (e < text.size() && text[e] != ' ' && text[e] != '\t') ++e;
  return text.substr(b, e - b);
}

std::string fixed_decimals(double v) {
  char buf[400];  // room for any double in "%f"
  std::snprintf(buf, sizeof buf, "%f", v);
  return buf;
}

std::string table_cell(std::string s) {
  for (char& c : s)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return s;
}

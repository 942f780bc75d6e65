#include "input/text_lines.h"

#include <cstring>

bool line_reader::next(std::string_view* line) {
  long_line_.clear();
  while (in_.fill()) {
    const char* b = in_.begin();
    const std::size_t len = static_cast<std::size_t>(in_.end() - b);
    const char* nl = static_cast<const char*>(std::memchr(b, '\n', len));
    if (nl == nullptr) {
      long_line_.append(b, len);
      in_.skip(len);
      continue;
    }
    const std::size_t n = static_cast<std::size_t>(nl - b);
    in_.skip(n + 1);
    if (long_line_.empty()) {
      *line = std::string_view(b, n);
    } else {
      long_line_.append(b, n);
      *line = long_line_;
    }
    if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
    ++number_;
    return true;
  }
  if (long_line_.empty()) return false;
  *line = long_line_;  // a last line without a line end
  if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
  ++number_;
  return true;
}

std::string_view take_word(std::string_view* rest) {
  std::size_t i = 0;
  while (i < rest->size() && is_blank_char((*rest)[i])) ++i;
  std::size_t j = i;
  while (j < rest->size() && !is_blank_char((*rest)[j])) ++j;
  const std::string_view word = rest->substr(i, j - i);
  rest->remove_prefix(j);
  return word;
}

std::string_view trim(std::string_view line) {
  while (!line.empty() && is_blank_char(line.front())) line.remove_prefix(1);
  while (!line.empty() && is_blank_char(line.back())) line.remove_suffix(1);
  return line;
}

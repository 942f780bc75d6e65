#include "input/text_lines.h"

#include <cstring>

bool line_reader::start() {
  // A "\r\n" whose "\n" came in the next call is one line end.
  if (after_cr_ && in_.peek() == '\n') in_.skip(1);
  after_cr_ = false;
  cut_ = false;
  if (!in_.fill()) return false;
  ++number_;
  return true;
}

int line_reader::peek() {
  const int c = in_.peek();
  return c == '\n' || c == '\r' ? -1 : c;
}

int line_reader::take(const byte_set& stops, std::string* out,
                      std::size_t max) {
  const int c = in_.get_until(stops, out, max);
  return c == '\n' || c == '\r' ? -1 : c;
}

void line_reader::end_line(int line_end) {
  if (line_end == '\n' || line_end == '\r') in_.skip(1);
  after_cr_ = line_end == '\r';
}

void line_reader::finish() { end_line(in_.get_until(kLineEnd, nullptr)); }

void line_reader::skip_empty_lines() {
  while (in_.fill()) {
    const char* p = in_.begin();
    const char* const e = in_.end();
    for (; p < e; ++p) {
      if (*p == '\n') {
        if (!after_cr_) ++number_;  // else the end of a "\r\n"
        after_cr_ = false;
      } else if (*p == '\r') {
        ++number_;
        after_cr_ = true;
      } else {
        break;
      }
    }
    in_.skip(static_cast<std::size_t>(p - in_.begin()));
    if (p < e) return;
  }
}

bool line_reader::next(std::string_view* line, std::size_t max) {
  if (!start()) return false;
  // The usual case: the line ends within the block and is taken in place.
  const char* b = in_.begin();
  const std::size_t len = static_cast<std::size_t>(in_.end() - b);
  const std::size_t look = len < max ? len : max;
  const char* nl = static_cast<const char*>(std::memchr(b, '\n', look));
  const char* cr = static_cast<const char*>(std::memchr(
      b, '\r', nl == nullptr ? look : static_cast<std::size_t>(nl - b)));
  const char* eol = cr != nullptr ? cr : nl;
  if (eol != nullptr) {
    *line = std::string_view(b, static_cast<std::size_t>(eol - b));
    in_.skip(static_cast<std::size_t>(eol - b));
    end_line(*eol);
    return true;
  }
  long_line_.clear();
  int stop = in_.get_until(kLineEnd, &long_line_, max);
  if (stop == byte_stream::kFull) {
    cut_ = true;
    stop = in_.get_until(kLineEnd, nullptr);
  }
  end_line(stop);
  *line = long_line_;
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

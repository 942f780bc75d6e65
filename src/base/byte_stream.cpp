#include "base/byte_stream.h"

#include <cerrno>
#include <cstring>

#include "base/error.h"

stdio_source::stdio_source(std::FILE* fp, std::size_t block_size)
    : fp_(fp), buf_(block_size) {}

bool stdio_source::next(const char** data, std::size_t* size) {
  const std::size_t n = std::fread(buf_.data(), 1, buf_.size(), fp_);
  if (n == 0) {
    if (std::ferror(fp_))
      throw fatal_error(std::string("Error: cannot read input: ") +
                        std::strerror(errno));
    return false;
  }
  *data = buf_.data();
  *size = n;
  return true;
}

namespace {

// The first byte of [b, b + n) in the set, or nullptr.
const char* find_first(const byte_set& set, const char* b, std::size_t n,
                       int count, const int* only) {
  if (count == 1) return static_cast<const char*>(std::memchr(b, only[0], n));
  if (count == 2) {
    // The second byte is looked for only before the first one's hit, so a
    // rare second byte (a carriage return) costs little.
    const char* hit = static_cast<const char*>(std::memchr(b, only[0], n));
    const std::size_t before = hit == nullptr ? n : hit - b;
    const char* other =
        static_cast<const char*>(std::memchr(b, only[1], before));
    return other != nullptr ? other : hit;
  }
  for (std::size_t i = 0; i < n; ++i)
    if (set.has(static_cast<unsigned char>(b[i]))) return b + i;
  return nullptr;
}

}  // namespace

bool byte_stream::refill() {
  if (eof_) return false;
  const char* data;
  std::size_t size;
  if (!src_->next(&data, &size)) {
    eof_ = true;
    base_ += static_cast<std::uint64_t>(end_ - block_);
    block_ = pos_ = end_ = nullptr;
    return false;
  }
  base_ += static_cast<std::uint64_t>(end_ - block_);
  block_ = pos_ = data;
  end_ = data + size;
  return true;
}

int byte_stream::get_until(const byte_set& stops, std::string* out,
                           std::size_t max) {
  std::size_t taken = 0;
  for (;;) {
    if (!fill()) return kEnd;
    if (taken == max)
      return stops.has(static_cast<unsigned char>(*pos_))
                 ? static_cast<unsigned char>(*pos_)
                 : kFull;
    std::size_t len = static_cast<std::size_t>(end_ - pos_);
    if (len > max - taken) len = max - taken;
    const char* hit = find_first(stops, pos_, len, stops.count_, stops.only_);
    const char* stop = hit != nullptr ? hit : pos_ + len;
    if (out != nullptr) out->append(pos_, stop);
    taken += static_cast<std::size_t>(stop - pos_);
    pos_ = stop;
    if (hit != nullptr) return static_cast<unsigned char>(*hit);
  }
}

bool byte_stream::take_line_end() {
  const int c = peek();
  if (c == '\n') {
    ++pos_;
    return true;
  }
  if (c != '\r') return false;
  ++pos_;
  if (peek() == '\n') ++pos_;
  return true;
}

// Buffered output to a C stream.
#include "output/buffer.h"

#include <cerrno>
#include <cstring>

#include "error.h"

output_buffer::output_buffer(std::FILE* fp, std::string name,
                             std::size_t capacity)
    : fp_(fp), name_(std::move(name)), buf_(capacity) {}

void output_buffer::fail() const {
  throw fatal_error("Error: cannot write " + name_ + ": " +
                    std::strerror(errno));
}

void output_buffer::drain() {
  if (len_ > 0 && std::fwrite(buf_.data(), 1, len_, fp_) != len_) fail();
  drained_ += len_;
  len_ = 0;
}

void output_buffer::write(const char* p, std::size_t n) {
  if (n > buf_.size() - len_) {
    drain();
    if (n >= buf_.size()) {
      if (std::fwrite(p, 1, n, fp_) != n) fail();
      drained_ += n;
      return;
    }
  }
  std::memcpy(buf_.data() + len_, p, n);
  len_ += n;
}

char* output_buffer::reserve(std::size_t n) {
  if (n > buf_.size() - len_) {
    drain();
    if (n > buf_.size()) buf_.resize(n);
  }
  return buf_.data() + len_;
}

void output_buffer::flush() {
  drain();
  if (std::fflush(fp_) != 0 || std::ferror(fp_)) fail();
}

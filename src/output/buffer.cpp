// Buffered output to a C stream.
#include "output/buffer.h"

#include <cerrno>
#include <cstring>

#include "base/error.h"

output_buffer::output_buffer(std::FILE* fp, std::string name,
                             std::size_t capacity)
    : fp_(fp), name_(std::move(name)), size_(capacity), buf_(new char[size_]) {}

void output_buffer::fail() const { throw write_error(name_, errno); }

void output_buffer::drain() {
  if (len_ > 0 && std::fwrite(buf_.get(), 1, len_, fp_) != len_) fail();
  drained_ += len_;
  len_ = 0;
}

void output_buffer::write(const char* p, std::size_t n) {
  // Large pieces go out as they are, without a copy.
  if (n > size_ - len_ || n >= (std::size_t{64} << 10)) {
    drain();
    if (n >= size_ || n >= (std::size_t{64} << 10)) {
      if (std::fwrite(p, 1, n, fp_) != n) fail();
      drained_ += n;
      return;
    }
  }
  std::memcpy(buf_.get() + len_, p, n);
  len_ += n;
}

char* output_buffer::reserve(std::size_t n) {
  if (n > size_ - len_) {
    drain();
    if (n > size_) {
      buf_.reset(new char[n]);
      size_ = n;
    }
  }
  return buf_.get() + len_;
}

void output_buffer::flush() {
  drain();
  if (std::fflush(fp_) != 0 || std::ferror(fp_)) fail();
}

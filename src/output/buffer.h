// Buffered output to a C stream.
#ifndef COLSIEVE_OUTPUT_BUFFER_H
#define COLSIEVE_OUTPUT_BUFFER_H

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

// Collects output in a large buffer and hands it to the C stream in big
// writes. Throws fatal_error, naming the output as `name`, when a write
// fails.
class output_buffer {
 public:
  explicit output_buffer(std::FILE* fp, std::string name,
                         std::size_t capacity = 1 << 20);
  output_buffer(const output_buffer&) = delete;
  output_buffer& operator=(const output_buffer&) = delete;

  void write(const char* p, std::size_t n);
  void write(const std::string& s) { write(s.data(), s.size()); }
  void put(char c) {
    if (len_ == size_) drain();
    buf_[len_++] = c;
  }
  // Room for n bytes at the end of the buffer; commit(k) then keeps the
  // first k of them (k <= n).
  char* reserve(std::size_t n);
  void commit(std::size_t k) { len_ += k; }
  // Writes out everything buffered and flushes the C stream.
  void flush();
  // Bytes accepted so far.
  std::size_t written() const { return drained_ + len_; }

 private:
  void drain();
  [[noreturn]] void fail() const;

  std::FILE* fp_;
  std::string name_;
  std::size_t size_;
  std::unique_ptr<char[]> buf_;  // not cleared: only written bytes are read
  std::size_t len_ = 0;
  std::size_t drained_ = 0;  // bytes handed to the C stream
};

#endif  // COLSIEVE_OUTPUT_BUFFER_H

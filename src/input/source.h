// Byte sources of the input: the input file or standard input, read in
// large blocks; the start of a source looked at before it is read; and the
// input as the readers see it, gzip inflated and a byte-order mark passed
// over.
#ifndef COLSIEVE_INPUT_SOURCE_H
#define COLSIEVE_INPUT_SOURCE_H

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/byte_stream.h"
#include "base/error.h"
#include "base/unique_fd.h"
#include "input/detect.h"

// Reads a descriptor (not owned) in blocks, from where it stands to its end,
// or only the bytes [begin, end) of a regular file.
class fd_source : public byte_source {
 public:
  explicit fd_source(int fd, std::size_t block_size = 1 << 20);
  // Reads through its own descriptor, which it closes.
  fd_source(unique_fd fd, std::size_t block_size);
  // Reads [begin, end) into buf, block_size bytes, which the caller owns.
  fd_source(int fd, off_t begin, off_t end, char* buf, std::size_t block_size);
  bool next(const char** data, std::size_t* size) override;
  // Adds the size of every block read to *counter (nullptr: none).
  void count_into(std::atomic<std::uint64_t>* counter) { counted_ = counter; }

 private:
  unique_fd owned_;  // the descriptor, when it is this source's own
  int fd_;
  std::atomic<std::uint64_t>* counted_ = nullptr;
  bool ranged_ = false;
  off_t pos_ = 0, end_ = 0;
  std::size_t size_;
  std::unique_ptr<char[]> own_;  // not cleared: every byte is read into
  char* buf_;
};

// The start of a source, looked at before deciding how to read it, then
// handed out again ahead of the rest.
class peeked_source : public byte_source {
 public:
  // Reads from src (which must outlive this) until at least n bytes are at
  // hand or the input ends.
  peeked_source(byte_source* src, std::size_t n);
  std::string_view head() const { return head_; }
  // Leaves out the first n bytes of the head (n <= head().size()).
  void drop(std::size_t n) { head_.remove_prefix(n); }
  bool next(const char** data, std::size_t* size) override;

 private:
  byte_source* src_;
  std::string_view head_;  // the source's first block, or owned_
  std::string owned_;      // the first blocks, when one was too short
  bool head_given_ = false;
};

class gzip_source;

// The input as it should be read: gzip inflated, anything else as it is,
// and a UTF-8 byte-order mark at its start passed over. Throws fatal_error
// for xz, bzip2, zstd and zip, with the command that reads them.
class input_bytes {
 public:
  // Reads fd (not owned); input_name is the file name, or "-" for standard
  // input. warn gets one line if gzip cannot have a thread of its own.
  input_bytes(int fd, std::string input_name, warn_fn warn = {});
  // Reads raw, which it then owns (tests feed it in odd pieces).
  input_bytes(std::unique_ptr<byte_source> raw, std::string input_name,
              warn_fn warn = {});
  ~input_bytes();

  byte_source* source() { return peek_; }
  compression compressed_with() const { return compression_; }
  // The first bytes the readers get, for telling the format.
  std::string_view head() const { return peek_->head(); }
  // Bytes of a byte-order mark passed over at the start (0 or 3).
  std::size_t skipped() const { return skipped_; }

 private:
  void open(std::unique_ptr<byte_source> raw, warn_fn warn);

  std::string name_;
  std::unique_ptr<peeked_source> raw_;
  std::unique_ptr<gzip_source> gzip_;
  std::unique_ptr<peeked_source> unzipped_;
  peeked_source* peek_ = nullptr;  // raw_, or unzipped_ for gzip
  compression compression_ = compression::none;
  std::size_t skipped_ = 0;
  // raw_ reads this one; with gzip, the inflating side owns it instead.
  std::unique_ptr<byte_source> raw_owner_;
};

#endif  // COLSIEVE_INPUT_SOURCE_H

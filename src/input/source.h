// Byte sources: the input file or standard input, read in large blocks, and
// gzip decompressed on a thread of its own. Compressions colsieve does not
// read are recognised and refused with the command that would read them.
#ifndef COLSIEVE_INPUT_SOURCE_H
#define COLSIEVE_INPUT_SOURCE_H

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "fasta_seq.h"

// Reads a descriptor (not owned) in blocks, from where it stands to its end,
// or only the bytes [begin, end) of a regular file.
class fd_source : public byte_source {
 public:
  explicit fd_source(int fd, std::size_t block_size = 1 << 20);
  // Reads [begin, end) into buf, block_size bytes, which the caller owns.
  fd_source(int fd, off_t begin, off_t end, char* buf, std::size_t block_size);
  bool next(const char** data, std::size_t* size) override;

 private:
  int fd_;
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
  bool next(const char** data, std::size_t* size) override;

 private:
  byte_source* src_;
  std::string_view head_;  // the source's first block, or owned_
  std::string owned_;      // the first blocks, when one was too short
  bool head_given_ = false;
};

// How the input is compressed, from its first bytes.
enum class compression { none, gzip, xz, bzip2, zstd, zip };
compression detect_compression(std::string_view head);

// Decompresses a gzip stream (every member of it, as bgzip writes them) on a
// thread of its own, a few blocks ahead of the reader. A stream that is
// corrupt or ends early is a fatal_error naming the input.
class gzip_source : public byte_source {
 public:
  // Decompresses `head` (bytes already read from fd), then the rest of fd.
  gzip_source(int fd, std::string head, std::string input_name);
  ~gzip_source() override;
  bool next(const char** data, std::size_t* size) override;

 private:
  struct state;
  std::shared_ptr<state> s_;
  std::thread thread_;
};

// The input as it should be read: gzip decompressed, anything else as it
// is. Throws fatal_error for xz, bzip2, zstd and zip, with the command that
// reads them. `input_name` is the file name, or "-" for standard input.
class input_bytes {
 public:
  input_bytes(int fd, std::string input_name);
  ~input_bytes();
  byte_source* source() { return peek_; }
  bool compressed() const { return gzip_ != nullptr; }
  // The first bytes after decompression, for telling the format.
  std::string_view head() const { return peek_->head(); }

 private:
  std::unique_ptr<fd_source> file_;
  std::unique_ptr<peeked_source> raw_;
  std::unique_ptr<gzip_source> gzip_;
  std::unique_ptr<peeked_source> unzipped_;
  peeked_source* peek_ = nullptr;  // raw_, or unzipped_ for gzip
};

#endif  // COLSIEVE_INPUT_SOURCE_H

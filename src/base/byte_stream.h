// The ground every reader stands on: where bytes come from (a byte_source,
// handing out blocks) and a stream over it that readers look into and take
// from without copying more than they keep. The stream is kseq's stream
// without its record: the record readers (FASTA and PIR in fasta_seq, the
// alignment formats in input/) are built on it.
#ifndef COLSIEVE_BASE_BYTE_STREAM_H
#define COLSIEVE_BASE_BYTE_STREAM_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

// Where a reader gets its bytes: blocks handed out one after the other.
class byte_source {
 public:
  virtual ~byte_source() = default;
  // Points *data at the next block of input, *size > 0 bytes long, valid
  // until the next call. Returns false at the end of input. Throws
  // fatal_error on a read error.
  virtual bool next(const char** data, std::size_t* size) = 0;
};

// A byte_source over a C stream, read in blocks of block_size bytes. Does
// not own the stream.
class stdio_source : public byte_source {
 public:
  explicit stdio_source(std::FILE* fp, std::size_t block_size = 1 << 18);
  bool next(const char** data, std::size_t* size) override;

 private:
  std::FILE* fp_;
  std::vector<char> buf_;
};

// A set of bytes, for the stop bytes of byte_stream::get_until.
class byte_set {
 public:
  constexpr byte_set(std::initializer_list<unsigned char> bytes) {
    for (const unsigned char c : bytes) add(c);
  }
  constexpr bool has(unsigned char c) const { return in_[c]; }
  constexpr byte_set operator|(const byte_set& other) const {
    byte_set s = *this;
    for (int c = 0; c < 256; ++c)
      if (other.in_[c]) s.add(static_cast<unsigned char>(c));
    return s;
  }
  // Every other byte.
  constexpr byte_set operator~() const {
    byte_set s({});
    for (int c = 0; c < 256; ++c)
      if (!in_[c]) s.add(static_cast<unsigned char>(c));
    return s;
  }

 private:
  friend class byte_stream;
  constexpr void add(unsigned char c) {
    if (in_[c]) return;
    in_[c] = true;
    if (count_ < 2) only_[count_] = c;
    ++count_;
  }
  std::array<bool, 256> in_{};
  int only_[2] = {-1, -1};  // its bytes when it has one or two, for memchr
  int count_ = 0;
};

// Line ends: "\n", "\r\n" and a lone "\r" (old Mac files) all end a line.
inline constexpr byte_set kLineEnd{'\n', '\r'};
// Blanks within a line.
inline constexpr byte_set kBlank{' ', '\t', '\v', '\f'};

// A stream of bytes over a byte_source: the current block, which a reader
// looks into without consuming, and takes bytes from up to a stop byte.
class byte_stream {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);
  // What get_until stopped at, besides a stop byte (0-255).
  static constexpr int kEnd = -1;   // the end of input
  static constexpr int kFull = -2;  // `max` bytes were taken first

  // Reads from src, which must outlive the stream.
  explicit byte_stream(byte_source* src) : src_(src) {}
  byte_stream(const byte_stream&) = delete;
  byte_stream& operator=(const byte_stream&) = delete;

  // Makes sure unread bytes are at hand. Returns false at the end of input.
  // Throws fatal_error on a read error.
  bool fill() { return pos_ < end_ || refill(); }
  const char* begin() const { return pos_; }
  const char* end() const { return end_; }
  // REQUIRES: n <= end() - begin().
  void skip(std::size_t n) { pos_ += n; }

  // The next byte, left unread, or kEnd.
  int peek() { return fill() ? static_cast<unsigned char>(*pos_) : kEnd; }
  // The next byte, taken, or kEnd.
  int get() { return fill() ? static_cast<unsigned char>(*pos_++) : kEnd; }

  // Takes the bytes before the next stop byte, at most `max` of them,
  // appending them to *out (unless out is null: then they are passed over
  // unstored). Returns the stop byte (left unread), kEnd, or kFull when
  // `max` bytes were taken before any stop byte.
  int get_until(const byte_set& stops, std::string* out,
                std::size_t max = npos);

  // Takes one line end ("\n", "\r\n" or "\r") if one is next; returns
  // whether it did.
  bool take_line_end();

  // Bytes taken since the stream began.
  std::uint64_t offset() const {
    return base_ + static_cast<std::uint64_t>(pos_ - block_);
  }

 private:
  bool refill();

  byte_source* src_;
  const char* block_ = nullptr;  // the current block
  const char* pos_ = nullptr;
  const char* end_ = nullptr;
  std::uint64_t base_ = 0;  // bytes in the blocks before it
  bool eof_ = false;
};

#endif  // COLSIEVE_BASE_BYTE_STREAM_H

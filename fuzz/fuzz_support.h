// Helpers the fuzz targets share: piece sizes that a byte of the fuzz input
// chooses, gzip files built around a text, a C stream into memory that
// fills up after a chosen number of bytes, and reading an input one way or
// another with its outcome kept, error or table.
#ifndef COLSIEVE_FUZZ_FUZZ_SUPPORT_H
#define COLSIEVE_FUZZ_FUZZ_SUPPORT_H

#include <ftw.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/parallel.h"
#include "input/read_input.h"
#include "test_support.h"

// Stops the fuzzer, saying why first: libFuzzer keeps the input.
[[noreturn]] inline void fault(const std::string& what) {
  std::fprintf(stderr, "fuzz fault: %s\n", what.c_str());
  std::abort();
}

// The pieces a string_source hands out, as one byte of the fuzz input
// chooses them: its low three bits the largest piece (the whole input, 1,
// 2, 3, 7, 16, 100 or 4096 bytes), the other five the seed of the random
// sizes up to it.
inline std::vector<std::size_t> pieces_of(unsigned char b) {
  static constexpr std::size_t kMost[] = {0, 1, 2, 3, 7, 16, 100, 4096};
  const std::size_t most = kMost[b & 7];
  if (most == 0) return {};
  if (most == 1) return {1};
  return string_source::random_pieces(b >> 3, most);
}

inline void put_le(std::string* out, std::uint32_t v, int bytes) {
  for (int k = 0; k < bytes; ++k)
    *out += static_cast<char>((v >> (8 * k)) & 0xff);
}

// text as a gzip file of `members` members, cut at evenly spread points (a
// member is empty where there are more members than bytes), each header
// carrying the optional fields that flags asks for (gzip's FLG bits: 2
// FHCRC, 4 FEXTRA, 8 FNAME, 16 FCOMMENT), `field` bytes long in the first
// member and field % 8 in the others.
inline std::string gzip_of(std::string_view text, unsigned members,
                           unsigned flags, std::size_t field, int level) {
  std::string out;
  field = std::min<std::size_t>(field, 65535);  // XLEN is 16 bits
  for (unsigned m = 0; m < members; ++m) {
    const std::size_t b = text.size() * m / members;
    const std::size_t e = text.size() * (m + 1) / members;
    const std::string_view part = text.substr(b, e - b);
    if (m == 1) field %= 8;
    std::string h = {'\x1f', '\x8b', 8, static_cast<char>(flags), 0, 0, 0,
                     0,      0,      3};
    if (flags & 4) {
      put_le(&h, static_cast<std::uint32_t>(field), 2);
      h.append(field, 'x');
    }
    if (flags & 8) h.append(field, 'n').push_back('\0');
    if (flags & 16) h.append(field, 'c').push_back('\0');
    if (flags & 2)
      put_le(&h,
             static_cast<std::uint32_t>(
                 crc32(0, reinterpret_cast<const Bytef*>(h.data()), h.size())),
             2);
    out += h;
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
      fault("deflateInit2");
    std::string d(deflateBound(&z, part.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(part.data()));
    z.avail_in = static_cast<uInt>(part.size());
    z.next_out = reinterpret_cast<Bytef*>(d.data());
    z.avail_out = static_cast<uInt>(d.size());
    if (deflate(&z, Z_FINISH) != Z_STREAM_END) fault("deflate");
    d.resize(z.total_out);
    deflateEnd(&z);
    out += d;
    put_le(&out,
           static_cast<std::uint32_t>(crc32(
               0, reinterpret_cast<const Bytef*>(part.data()), part.size())),
           4);
    put_le(&out, static_cast<std::uint32_t>(part.size()), 4);
  }
  return out;
}

// A C stream into memory that takes `room` bytes, then fails as a full disk
// does (ENOSPC). Closed when it goes.
class capped_file {
 public:
  explicit capped_file(std::size_t room = static_cast<std::size_t>(-1))
      : room_(room) {
    cookie_io_functions_t io{};
    io.write = &capped_file::write_fn;
    fp_ = fopencookie(this, "w", io);
    if (fp_ == nullptr) fault("fopencookie");
  }
  ~capped_file() { close(); }
  capped_file(const capped_file&) = delete;
  capped_file& operator=(const capped_file&) = delete;
  std::FILE* fp() const { return fp_; }
  // Closes the stream (what it still buffers goes out, or fails).
  void close() {
    if (fp_ != nullptr) std::fclose(fp_);
    fp_ = nullptr;
  }
  // What the stream took so far.
  const std::string& text() const { return text_; }

 private:
  static ssize_t write_fn(void* cookie, const char* buf, std::size_t n) {
    auto* self = static_cast<capped_file*>(cookie);
    const std::size_t k = std::min(n, self->room_ - self->text_.size());
    if (k == 0) {
      errno = ENOSPC;
      return -1;
    }
    self->text_.append(buf, k);
    return static_cast<ssize_t>(k);
  }

  std::size_t room_;
  std::string text_;
  std::FILE* fp_ = nullptr;
};

// A file in memory holding text, positioned at its start. Returns the
// descriptor, which the caller closes.
inline int memory_fd(std::string_view text) {
  const int fd = memfd_create("fuzz", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0 ||
      write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
    fault("memfd");
  lseek(fd, 0, SEEK_SET);
  return fd;
}

// Everything in the file open on fd, from its start.
inline std::string fd_text(int fd) {
  std::string text;
  char buf[1 << 14];
  for (off_t at = 0;;) {
    const ssize_t n = pread(fd, buf, sizeof buf, at);
    if (n <= 0) break;
    text.append(buf, static_cast<std::size_t>(n));
    at += n;
  }
  return text;
}

// A scratch folder of the process's own, made on the first call in $TMPDIR
// (else /dev/shm, in memory, else /tmp) and removed at exit.
inline int remove_entry(const char* path, const struct stat*, int,
                        struct FTW*) {
  return remove(path);
}

inline std::string& scratch_path() {
  static std::string path;
  return path;
}

inline void remove_scratch() {
  if (!scratch_path().empty())
    nftw(scratch_path().c_str(), remove_entry, 8, FTW_DEPTH | FTW_PHYS);
}

inline const std::string& scratch() {
  std::string& path = scratch_path();
  if (path.empty()) {
    const char* tmp = std::getenv("TMPDIR");
    for (const char* base : {tmp, "/dev/shm", "/tmp"}) {
      if (base == nullptr || *base == 0) continue;
      std::string dir = std::string(base) + "/colsieve-fuzz-XXXXXX";
      if (mkdtemp(dir.data()) != nullptr) {
        path = dir;
        break;
      }
    }
    if (path.empty()) fault("no scratch folder");
    std::atexit(remove_scratch);
  }
  return path;
}

// The alignment or the error message of one reading, with its warnings.
struct read_result {
  bool ok = false;
  alignment aln;
  std::string error;
  std::vector<std::string> warnings;
};

// Reads with a pool of `threads` that splits even the smallest input, from
// a descriptor (src null) or from src.
inline read_result read_input(int fd, std::unique_ptr<byte_source> src,
                              const input_options& opts, unsigned threads) {
  read_result r;
  thread_pool pool(threads);
  pool.set_min_work(0);
  const warn_fn warn = [&r](const std::string& w) { r.warnings.push_back(w); };
  try {
    r.aln = src ? read_alignment(std::move(src), "fuzz", opts, pool, warn)
                : read_alignment(fd, "fuzz", opts, pool, warn);
    r.ok = true;
  } catch (const fatal_error& e) {
    r.error = e.what();
  }
  return r;
}

inline read_result read_pieces(std::string text,
                               std::vector<std::size_t> pieces,
                               const input_options& opts) {
  return read_input(
      -1, std::make_unique<string_source>(std::move(text), std::move(pieces)),
      opts, 1);
}

// Why two tables differ, or empty when they are the same: names, how each
// name stood, and rows (either table may read its rows from a file).
inline std::string table_difference(const alignment& a, const alignment& b) {
  if (a.names != b.names) return "names";
  if (a.lseq != b.lseq) return "widths";
  for (std::size_t i = 0; i < a.nseq(); ++i) {
    if (a.form(i) != b.form(i)) return "name forms";
    if (row_text(a, i) != row_text(b, i)) return "rows";
  }
  return {};
}

// Why two readings differ, or empty when they agree in every way.
inline std::string outcome_difference(const read_result& a,
                                      const read_result& b) {
  if (a.ok != b.ok) return "one reading failed: " + (a.ok ? b.error : a.error);
  if (a.error != b.error) return "messages: " + a.error + " | " + b.error;
  if (a.warnings != b.warnings) return "warnings";
  return a.ok ? table_difference(a.aln, b.aln) : std::string();
}

#endif  // COLSIEVE_FUZZ_FUZZ_SUPPORT_H

#include "input/source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/error.h"
#include "input/gzip.h"
#include "input/records.h"

namespace {

[[noreturn]] void read_failed(int err) {
  throw fatal_error(std::string("Error: cannot read input: ") +
                    std::strerror(err));
}

// Bytes already read, then the rest of a source it owns.
class prefixed_source : public byte_source {
 public:
  prefixed_source(std::string head, std::unique_ptr<byte_source> rest)
      : head_(std::move(head)), rest_(std::move(rest)) {}
  bool next(const char** data, std::size_t* size) override {
    if (!head_given_) {
      head_given_ = true;
      if (!head_.empty()) {
        *data = head_.data();
        *size = head_.size();
        return true;
      }
    }
    return rest_->next(data, size);
  }

 private:
  std::string head_;
  std::unique_ptr<byte_source> rest_;
  bool head_given_ = false;
};

constexpr std::size_t kPeek = 64 << 10;  // bytes looked at to tell the kind

}  // namespace

fd_source::fd_source(int fd, std::size_t block_size)
    : fd_(fd),
      size_(block_size),
      own_(new char[block_size]),
      buf_(own_.get()) {}

fd_source::fd_source(unique_fd fd, std::size_t block_size)
    : fd_source(fd.get(), block_size) {
  owned_ = std::move(fd);
}

fd_source::fd_source(int fd, off_t begin, off_t end, char* buf,
                     std::size_t block_size)
    : fd_(fd),
      ranged_(true),
      pos_(begin),
      end_(end),
      size_(block_size),
      buf_(buf) {}

bool fd_source::next(const char** data, std::size_t* size) {
  for (;;) {
    ssize_t n;
    if (ranged_) {
      if (pos_ >= end_) return false;
      const std::size_t want =
          std::min<std::size_t>(size_, static_cast<std::size_t>(end_ - pos_));
      n = pread(fd_, buf_, want, pos_);
      if (n > 0) pos_ += n;
    } else {
      n = read(fd_, buf_, size_);
    }
    if (n > 0) {
      if (counted_ != nullptr)
        counted_->fetch_add(static_cast<std::uint64_t>(n),
                            std::memory_order_relaxed);
      *data = buf_;
      *size = static_cast<std::size_t>(n);
      return true;
    }
    if (n == 0) return false;
    if (errno != EINTR) read_failed(errno);
  }
}

peeked_source::peeked_source(byte_source* src, std::size_t n) : src_(src) {
  const char* data;
  std::size_t size;
  if (!src_->next(&data, &size)) return;
  if (size >= n) {  // the usual case: the first block is enough, no copy
    head_ = std::string_view(data, size);
    return;
  }
  owned_.assign(data, size);
  while (owned_.size() < n && src_->next(&data, &size))
    owned_.append(data, size);
  head_ = owned_;
}

bool peeked_source::next(const char** data, std::size_t* size) {
  if (!head_given_) {
    head_given_ = true;
    if (!head_.empty()) {
      *data = head_.data();
      *size = head_.size();
      return true;
    }
  }
  return src_->next(data, size);
}

input_bytes::input_bytes(int fd, std::string input_name, warn_fn warn)
    : name_(std::move(input_name)) {
  // Reads of 1 MiB, or of the whole of a smaller file: many small inputs
  // then touch little fresh memory.
  std::size_t block = std::size_t{1} << 20;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
    block = std::clamp<std::size_t>(static_cast<std::size_t>(st.st_size) + 1,
                                    4096, block);
  // Through a descriptor of its own: gzip's thread, which may outlive this
  // object when reading stops early, must never read whatever file the
  // caller opens next under the number of a descriptor it has closed.
  unique_fd own(fcntl(fd, F_DUPFD_CLOEXEC, 0));
  if (own.get() >= 0)
    open(std::make_unique<fd_source>(std::move(own), block), std::move(warn));
  else
    open(std::make_unique<fd_source>(fd, block), std::move(warn));
}

input_bytes::input_bytes(std::unique_ptr<byte_source> raw,
                         std::string input_name, warn_fn warn)
    : name_(std::move(input_name)) {
  open(std::move(raw), std::move(warn));
}

void input_bytes::open(std::unique_ptr<byte_source> raw, warn_fn warn) {
  raw_owner_ = std::move(raw);
  raw_ = std::make_unique<peeked_source>(raw_owner_.get(), kPeek);
  compression_ = detect_compression(raw_->head());
  peek_ = raw_.get();
  if (compression_ == compression::gzip) {
    // The inflating side takes the bytes read so far and the rest of the
    // input with it: its thread may outlive this object.
    auto feed = std::make_unique<prefixed_source>(std::string(raw_->head()),
                                                  std::move(raw_owner_));
    raw_.reset();
    gzip_ =
        std::make_unique<gzip_source>(std::move(feed), name_, std::move(warn));
    unzipped_ = std::make_unique<peeked_source>(gzip_.get(), kPeek);
    peek_ = unzipped_.get();
  } else if (compression_ != compression::none) {
    const compression_entry& c = compression_row(compression_);
    const std::string how =
        name_ == "-" ? std::string("... | ") + c.tool + " | colsieve -i -"
                     : std::string(c.tool) + " " + name_ + " | colsieve -i -";
    throw fatal_error("Error: " + input_label(name_) + " is compressed with " +
                      c.name +
                      ", which colsieve does not read (only gzip); "
                      "decompress it on the way in: " +
                      how);
  }
  // A byte-order mark is no part of the text.
  if (peek_->head().substr(0, 3) == "\xEF\xBB\xBF") {
    peek_->drop(3);
    skipped_ = 3;
  }
}

input_bytes::~input_bytes() = default;

#include "input/source.h"

#include <isa-l/igzip_lib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "error.h"
#include "input/records.h"

namespace {

[[noreturn]] void read_failed(int err) {
  throw fatal_error(std::string("Error: cannot read input: ") +
                    std::strerror(err));
}

}  // namespace

fd_source::fd_source(int fd, std::size_t block_size)
    : fd_(fd),
      size_(block_size),
      own_(new char[block_size]),
      buf_(own_.get()) {}

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

compression detect_compression(std::string_view head) {
  const auto starts = [head](std::string_view magic) {
    return head.substr(0, magic.size()) == magic;
  };
  if (starts("\x1f\x8b")) return compression::gzip;
  if (starts(std::string_view("\xfd"
                              "7zXZ\0",
                              6)))
    return compression::xz;
  if (starts("BZh") && head.size() > 3 && head[3] >= '1' && head[3] <= '9')
    return compression::bzip2;
  if (starts("\x28\xb5\x2f\xfd")) return compression::zstd;
  if (starts("PK\x03\x04")) return compression::zip;
  return compression::none;
}

// The decompressing thread and the blocks it hands over. Shared with the
// thread, which may outlive the source when a run stops early while the
// thread waits for input that may never come.
struct gzip_source::state {
  static constexpr std::size_t kBlocks = 4;
  static constexpr std::size_t kBlockSize = 1 << 20;

  state(int fd, std::string head, std::string name)
      : file(fd), first(std::move(head)), name(std::move(name)) {}

  fd_source file;
  std::string first;  // bytes already read from file, ahead of the rest
  std::string held;   // those bytes while they are being decompressed
  std::string name;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<char> blocks[kBlocks];
  std::size_t filled[kBlocks] = {};
  std::size_t produced = 0;  // blocks decompressed
  std::size_t taken = 0;     // blocks handed to the reader
  std::size_t released = 0;  // blocks the reader is done with
  bool finished = false, stop = false;
  std::exception_ptr error;

  void run();
  bool next_input(const char** data, std::size_t* size);
  [[noreturn]] void corrupt(const char* why) const {
    throw fatal_error("Error: " + input_label(name) +
                      " is not valid gzip data: " + why);
  }
};

bool gzip_source::state::next_input(const char** data, std::size_t* size) {
  if (!first.empty()) {
    held.swap(first);  // stays valid until the next call
    first.clear();
    *data = held.data();
    *size = held.size();
    return true;
  }
  return file.next(data, size);
}

void gzip_source::state::run() {
  try {
    inflate_state st;
    isal_inflate_init(&st);
    st.crc_flag = ISAL_GZIP;
    bool in_member = false;  // inside a member that has not ended yet
    bool input_left = true;
    for (;;) {
      if (st.avail_in == 0 && input_left) {
        const char* data;
        std::size_t size;
        input_left = next_input(&data, &size);
        if (input_left) {
          st.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(data));
          st.avail_in = static_cast<uint32_t>(size);
        }
      }
      if (st.avail_in == 0 && !input_left) {
        if (in_member)
          throw fatal_error("Error: " + input_label(name) +
                            " ends in the middle of its gzip data (an "
                            "incomplete download or copy?)");
        break;
      }
      // A member after the first must be gzip too.
      if (!in_member && st.next_in[0] != 0x1f)
        corrupt("something else follows the compressed data");
      in_member = true;
      std::size_t slot;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock,
                     [&] { return stop || produced - released < kBlocks; });
        if (stop) return;
        slot = produced % kBlocks;
      }
      std::vector<char>& out = blocks[slot];
      out.resize(kBlockSize);
      st.next_out = reinterpret_cast<uint8_t*>(out.data());
      st.avail_out = static_cast<uint32_t>(out.size());
      switch (isal_inflate(&st)) {
        case ISAL_DECOMP_OK:
        case ISAL_END_INPUT:
        case ISAL_OUT_OVERFLOW:
          break;
        case ISAL_INCORRECT_CHECKSUM:
          corrupt("its checksum does not match (a damaged file?)");
        case ISAL_INVALID_WRAPPER:
        case ISAL_UNSUPPORTED_METHOD:
          corrupt("its header is damaged or of an unknown kind");
        default:
          corrupt("its compressed data is damaged");
      }
      const std::size_t made = out.size() - st.avail_out;
      if (st.block_state == ISAL_BLOCK_FINISH) {
        in_member = false;
        isal_inflate_reset(&st);
        st.crc_flag = ISAL_GZIP;
      }
      if (made > 0) {
        std::lock_guard<std::mutex> lock(mutex);
        filled[slot] = made;
        ++produced;
        changed.notify_all();
      }
    }
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex);
    error = std::current_exception();
  }
  std::lock_guard<std::mutex> lock(mutex);
  finished = true;
  changed.notify_all();
}

gzip_source::gzip_source(int fd, std::string head, std::string input_name)
    : s_(std::make_shared<state>(fd, std::move(head), std::move(input_name))) {
  thread_ = std::thread([s = s_] { s->run(); });
}

gzip_source::~gzip_source() {
  bool finished;
  {
    std::lock_guard<std::mutex> lock(s_->mutex);
    s_->stop = true;
    finished = s_->finished;
  }
  s_->changed.notify_all();
  // A thread still reading may wait on input that never comes: let it go;
  // it holds its own share of the state.
  if (finished)
    thread_.join();
  else
    thread_.detach();
}

bool gzip_source::next(const char** data, std::size_t* size) {
  std::unique_lock<std::mutex> lock(s_->mutex);
  if (s_->released < s_->taken) {  // the block handed out last is done with
    s_->released = s_->taken;
    s_->changed.notify_all();
  }
  s_->changed.wait(lock,
                   [&] { return s_->produced > s_->taken || s_->finished; });
  if (s_->produced > s_->taken) {
    const std::size_t slot = s_->taken++ % state::kBlocks;
    *data = s_->blocks[slot].data();
    *size = s_->filled[slot];
    return true;
  }
  if (s_->error) std::rethrow_exception(s_->error);
  return false;
}

input_bytes::input_bytes(int fd, std::string input_name)
    : file_(std::make_unique<fd_source>(fd)),
      raw_(std::make_unique<peeked_source>(file_.get(), 64 << 10)) {
  const compression c = detect_compression(raw_->head());
  if (c == compression::none) {
    peek_ = raw_.get();
    return;
  }
  if (c != compression::gzip) {
    static const char* const kTools[] = {"",          "",         "xz -dc",
                                         "bzip2 -dc", "zstd -dc", "unzip -p"};
    static const char* const kNames[] = {"", "", "xz", "bzip2", "zstd", "zip"};
    const int k = static_cast<int>(c);
    const std::string how =
        input_name == "-"
            ? std::string("... | ") + kTools[k] + " | colsieve -i -"
            : std::string(kTools[k]) + " " + input_name + " | colsieve -i -";
    throw fatal_error("Error: " + input_label(input_name) +
                      " is compressed with " + kNames[k] +
                      ", which colsieve does not read (only gzip); "
                      "decompress it on the way in: " +
                      how);
  }
  gzip_ =
      std::make_unique<gzip_source>(fd, std::string(raw_->head()), input_name);
  unzipped_ = std::make_unique<peeked_source>(gzip_.get(), 64 << 10);
  peek_ = unzipped_.get();
}

input_bytes::~input_bytes() = default;

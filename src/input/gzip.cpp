#include "input/gzip.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <vector>

#include "input/inflater.h"
#include "input/records.h"

namespace {

// A gzip member's header (RFC 1952), read a byte at a time as it comes, so
// that a header split over many reads, or with a name of megabytes, is read
// like any other.
class gzip_header {
 public:
  // Takes bytes of the header from [p, p + n); returns how many. After the
  // header's last byte, done() is true. Sets *bad (and stops) when the
  // header is not a valid gzip header.
  std::size_t feed(const unsigned char* p, std::size_t n, bool* bad) {
    std::size_t i = 0;
    for (; i < n && step_ != step::done; ++i) {
      const unsigned char c = p[i];
      if (step_ != step::hcrc) crc_ = gzip_crc32(crc_, &c, 1);
      switch (step_) {
        case step::fixed:
          fixed_[got_++] = c;
          if (got_ == 10) {
            // Magic, deflate as the method, no reserved flag bits.
            if (fixed_[0] != 0x1f || fixed_[1] != 0x8b || fixed_[2] != 8 ||
                (fixed_[3] & 0xE0) != 0) {
              *bad = true;
              return i;
            }
            flags_ = fixed_[3];
            got_ = 0;
            next_field();
          }
          break;
        case step::extra_length:
          extra_ |= static_cast<std::size_t>(c) << (8 * got_++);
          if (got_ == 2) {
            got_ = 0;
            step_ = step::extra;
            if (extra_ == 0) next_field();
          }
          break;
        case step::extra:
          if (--extra_ == 0) next_field();
          break;
        case step::name:
        case step::comment:
          if (c == 0) next_field();
          break;
        case step::hcrc:
          stored_crc_ |= static_cast<std::uint32_t>(c) << (8 * got_++);
          if (got_ == 2) {
            if (stored_crc_ != (crc_ & 0xFFFF)) {
              *bad = true;
              return i;
            }
            step_ = step::done;
          }
          break;
        case step::done:
          break;
      }
    }
    return i;
  }
  bool done() const { return step_ == step::done; }

 private:
  enum class step { fixed, extra_length, extra, name, comment, hcrc, done };
  static constexpr unsigned kHcrc = 2, kExtra = 4, kName = 8, kComment = 16;

  // The optional fields come in this order: extra, name, comment, CRC.
  void next_field() {
    const auto has = [this](unsigned flag) {
      const bool yes = (flags_ & flag) != 0;
      flags_ &= ~flag;
      return yes;
    };
    if (has(kExtra))
      step_ = step::extra_length;
    else if (has(kName))
      step_ = step::name;
    else if (has(kComment))
      step_ = step::comment;
    else if (has(kHcrc))
      step_ = step::hcrc;
    else
      step_ = step::done;
    got_ = 0;
  }

  step step_ = step::fixed;
  unsigned char fixed_[10] = {};
  int got_ = 0;
  unsigned flags_ = 0;
  std::size_t extra_ = 0;
  std::uint32_t crc_ = 0, stored_crc_ = 0;
};

// The members of a gzip stream, one block of inflated bytes at a time.
class gzip_decoder {
 public:
  gzip_decoder(std::unique_ptr<byte_source> raw, std::string name)
      : raw_(std::move(raw)), name_(std::move(name)), z_(inflater::create()) {}

  // Inflates into out, up to cap bytes; returns how many (0 at the end of
  // the stream). Throws fatal_error.
  std::size_t read(unsigned char* out, std::size_t cap) {
    std::size_t made = 0;
    while (made == 0) {
      const unsigned char* p = nullptr;
      std::size_t n = 0;
      const bool have = input(&p, &n);
      switch (part_) {
        case part::member_start:
          if (!have) {
            part_ = part::done;
            break;
          }
          // A member after the first must be gzip too.
          if (p[0] != 0x1f)
            corrupt("something else follows the compressed data");
          header_ = gzip_header();
          crc_ = 0;
          size_ = 0;
          part_ = part::header;
          break;
        case part::header: {
          if (!have) cut_short();
          bool bad = false;
          consume(header_.feed(p, n, &bad));
          if (bad) corrupt("its header is damaged or of an unknown kind");
          if (header_.done()) {
            z_->reset();
            part_ = part::body;
          }
          break;
        }
        case part::body: {
          const inflater::step s = z_->inflate(p, n, out, cap);
          if (s.damaged) corrupt("its compressed data is damaged");
          consume(s.consumed);
          crc_ = gzip_crc32(crc_, out, s.produced);
          size_ += static_cast<std::uint32_t>(s.produced);
          made = s.produced;
          if (s.finished) {
            // Bytes the inflater took past the data come before the rest.
            pending_ = z_->leftover() + pending_.substr(pending_at_);
            pending_at_ = 0;
            part_ = part::trailer;
            trailer_got_ = 0;
          } else if (!have && made == 0) {
            cut_short();
          }
          break;
        }
        case part::trailer: {
          if (!have) cut_short();
          std::size_t k = 0;
          for (; k < n && trailer_got_ < 8; ++k)
            trailer_[trailer_got_++] = p[k];
          consume(k);
          if (trailer_got_ == 8) {
            if (little_endian(trailer_) != crc_)
              corrupt("its checksum does not match (a damaged file?)");
            if (little_endian(trailer_ + 4) != size_)
              corrupt("its recorded length does not match (a damaged file?)");
            part_ = part::member_start;
          }
          break;
        }
        case part::done:
          return 0;
      }
    }
    return made;
  }

 private:
  enum class part { member_start, header, body, trailer, done };

  static std::uint32_t little_endian(const unsigned char* b) {
    return static_cast<std::uint32_t>(b[0]) |
           static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 |
           static_cast<std::uint32_t>(b[3]) << 24;
  }

  // The input at hand: bytes handed back by the inflater first, then the
  // source's current block. False at the end of the input.
  bool input(const unsigned char** p, std::size_t* n) {
    if (pending_at_ < pending_.size()) {
      *p =
          reinterpret_cast<const unsigned char*>(pending_.data()) + pending_at_;
      *n = pending_.size() - pending_at_;
      return true;
    }
    while (avail_ == 0) {
      const char* data;
      std::size_t size;
      if (!raw_->next(&data, &size)) return false;
      in_ = reinterpret_cast<const unsigned char*>(data);
      avail_ = size;
    }
    *p = in_;
    *n = avail_;
    return true;
  }
  void consume(std::size_t k) {
    if (pending_at_ < pending_.size()) {
      pending_at_ += k;
    } else {
      in_ += k;
      avail_ -= k;
    }
  }
  [[noreturn]] void corrupt(const char* why) const {
    throw fatal_error("Error: " + input_label(name_) +
                      " is not valid gzip data: " + why);
  }
  [[noreturn]] void cut_short() const {
    throw fatal_error("Error: " + input_label(name_) +
                      " ends in the middle of its gzip data (an incomplete "
                      "download or copy?)");
  }

  std::unique_ptr<byte_source> raw_;
  std::string name_;
  std::unique_ptr<inflater> z_;
  part part_ = part::member_start;
  gzip_header header_;
  const unsigned char* in_ = nullptr;
  std::size_t avail_ = 0;
  std::string pending_;
  std::size_t pending_at_ = 0;
  unsigned char trailer_[8] = {};
  int trailer_got_ = 0;
  std::uint32_t crc_ = 0, size_ = 0;
};

}  // namespace

// The decoder and the blocks it hands over. Shared with the thread, which
// may outlive the source when a run stops early while the thread waits for
// input that may never come.
struct gzip_source::state {
  static constexpr std::size_t kBlocks = 4;
  static constexpr std::size_t kBlockSize = 1 << 20;

  state(std::unique_ptr<byte_source> raw, std::string name)
      : decoder(std::move(raw), std::move(name)) {}

  gzip_decoder decoder;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<unsigned char> blocks[kBlocks];
  std::size_t filled[kBlocks] = {};
  std::size_t produced = 0;  // blocks inflated
  std::size_t taken = 0;     // blocks handed to the reader
  std::size_t released = 0;  // blocks the reader is done with
  bool finished = false, stop = false;
  std::exception_ptr error;

  // Inflates the next block into slot; false at the end of the stream.
  bool fill(std::size_t slot) {
    std::vector<unsigned char>& out = blocks[slot];
    out.resize(kBlockSize);
    filled[slot] = decoder.read(out.data(), out.size());
    return filled[slot] > 0;
  }

  void run() {
    try {
      for (;;) {
        std::size_t slot;
        {
          std::unique_lock<std::mutex> lock(mutex);
          changed.wait(lock,
                       [&] { return stop || produced - released < kBlocks; });
          if (stop) return;
          slot = produced % kBlocks;
        }
        if (!fill(slot)) break;
        std::lock_guard<std::mutex> lock(mutex);
        ++produced;
        changed.notify_all();
      }
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      error = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(mutex);
    finished = true;
    changed.notify_all();
  }
};

gzip_source::gzip_source(std::unique_ptr<byte_source> raw,
                         std::string input_name, warn_fn warn)
    : s_(std::make_shared<state>(std::move(raw), std::move(input_name))) {
  try {
    thread_ = std::thread([s = s_] { s->run(); });
  } catch (const std::system_error& e) {
    inline_ = true;
    if (warn)
      warn("Warning: could not start a thread for gzip (" + e.code().message() +
           "); inflating on the main thread");
  }
}

gzip_source::~gzip_source() {
  if (inline_) return;
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
  if (inline_) {
    if (!s_->fill(0)) return false;
    *data = reinterpret_cast<const char*>(s_->blocks[0].data());
    *size = s_->filled[0];
    return true;
  }
  std::unique_lock<std::mutex> lock(s_->mutex);
  if (s_->released < s_->taken) {  // the block handed out last is done with
    s_->released = s_->taken;
    s_->changed.notify_all();
  }
  s_->changed.wait(lock,
                   [&] { return s_->produced > s_->taken || s_->finished; });
  if (s_->produced > s_->taken) {
    const std::size_t slot = s_->taken++ % state::kBlocks;
    *data = reinterpret_cast<const char*>(s_->blocks[slot].data());
    *size = s_->filled[slot];
    return true;
  }
  if (s_->error) std::rethrow_exception(s_->error);
  return false;
}

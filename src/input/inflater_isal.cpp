// Raw deflate data inflated by ISA-L.
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>

#include <limits>

#include "input/gzip.h"
#include "input/inflater.h"

namespace {

class isal_inflater : public inflater {
 public:
  isal_inflater() { reset(); }
  void reset() override {
    isal_inflate_init(&st_);
    st_.crc_flag = ISAL_DEFLATE;
  }
  step inflate(const unsigned char* in, std::size_t n, unsigned char* out,
               std::size_t cap) override {
    constexpr std::size_t kMost = std::numeric_limits<std::uint32_t>::max();
    st_.next_in = const_cast<unsigned char*>(in);
    st_.avail_in = static_cast<std::uint32_t>(n < kMost ? n : kMost);
    st_.next_out = out;
    st_.avail_out = static_cast<std::uint32_t>(cap < kMost ? cap : kMost);
    const std::uint32_t in_before = st_.avail_in, out_before = st_.avail_out;
    const int r = isal_inflate(&st_);
    step s;
    s.consumed = in_before - st_.avail_in;
    s.produced = out_before - st_.avail_out;
    s.finished = st_.block_state == ISAL_BLOCK_FINISH;
    s.damaged =
        r != ISAL_DECOMP_OK && r != ISAL_END_INPUT && r != ISAL_OUT_OVERFLOW;
    return s;
  }
  std::string leftover() override {
    // Whole bytes still in the bit buffer were read past the end of the
    // deflate data; they come first in the input that follows.
    std::string bytes;
    const int bits = st_.read_in_length;
    if (bits <= 0) return bytes;
    std::uint64_t v = st_.read_in >> (bits % 8);
    for (int k = 0; k < bits / 8; ++k, v >>= 8)
      bytes.push_back(static_cast<char>(v & 0xFF));
    return bytes;
  }

 private:
  inflate_state st_;
};

}  // namespace

std::unique_ptr<inflater> inflater::create() {
  return std::make_unique<isal_inflater>();
}

std::uint32_t gzip_crc32(std::uint32_t crc, const unsigned char* p,
                         std::size_t n) {
  return crc32_gzip_refl(crc, p, n);
}

const char* gzip_library() { return "ISA-L"; }

// Raw deflate data inflated by zlib, where ISA-L is not there.
#include <zlib.h>

#include <limits>
#include <new>

#include "input/gzip.h"
#include "input/inflater.h"

namespace {

class zlib_inflater : public inflater {
 public:
  zlib_inflater() {
    if (inflateInit2(&z_, -15) != Z_OK) throw std::bad_alloc();
  }
  ~zlib_inflater() override { inflateEnd(&z_); }
  void reset() override { inflateReset(&z_); }
  step inflate(const unsigned char* in, std::size_t n, unsigned char* out,
               std::size_t cap) override {
    constexpr std::size_t kMost = std::numeric_limits<uInt>::max();
    z_.next_in = const_cast<unsigned char*>(in);
    z_.avail_in = static_cast<uInt>(n < kMost ? n : kMost);
    z_.next_out = out;
    z_.avail_out = static_cast<uInt>(cap < kMost ? cap : kMost);
    const uInt in_before = z_.avail_in, out_before = z_.avail_out;
    const int r = ::inflate(&z_, Z_NO_FLUSH);
    step s;
    s.consumed = in_before - z_.avail_in;
    s.produced = out_before - z_.avail_out;
    s.finished = r == Z_STREAM_END;
    s.damaged = r == Z_DATA_ERROR || r == Z_NEED_DICT || r == Z_STREAM_ERROR;
    if (r == Z_MEM_ERROR) throw std::bad_alloc();
    return s;
  }
  // zlib stops right after the deflate data: nothing was taken beyond it.
  std::string leftover() override { return {}; }

 private:
  z_stream z_{};
};

}  // namespace

std::unique_ptr<inflater> inflater::create() {
  return std::make_unique<zlib_inflater>();
}

std::uint32_t gzip_crc32(std::uint32_t crc, const unsigned char* p,
                         std::size_t n) {
  return static_cast<std::uint32_t>(::crc32(crc, p, static_cast<uInt>(n)));
}

const char* gzip_library() { return "zlib"; }

// gzip input: the members of a gzip stream (one, or many as bgzip and
// `cat a.gz b.gz` write them) inflated on a thread of their own, a few
// blocks ahead of the reader. The gzip framing (headers of any length,
// trailers, members) is read here, byte by byte where it must be, so that it
// never matters where the input's reads happen to split; the deflate data
// is inflated by ISA-L, or by zlib where ISA-L is not there.
#ifndef COLSIEVE_INPUT_GZIP_H
#define COLSIEVE_INPUT_GZIP_H

#include <cstddef>
#include <memory>
#include <string>
#include <thread>

#include "base/byte_stream.h"
#include "base/error.h"

// The library that inflates deflate data: "ISA-L" or "zlib".
const char* gzip_library();

// Decompresses the gzip stream that raw holds. Throws fatal_error naming the
// input when the stream is damaged or ends early.
class gzip_source : public byte_source {
 public:
  // input_name names the input in messages ("-" for standard input). When
  // no thread can be started, the data is inflated in the reader's calls,
  // after one warning through warn.
  gzip_source(std::unique_ptr<byte_source> raw, std::string input_name,
              warn_fn warn = {});
  ~gzip_source() override;
  bool next(const char** data, std::size_t* size) override;

  struct state;

 private:
  std::shared_ptr<state> s_;
  std::thread thread_;
  bool inline_ = false;  // no thread: inflate in next()
};

#endif  // COLSIEVE_INPUT_GZIP_H

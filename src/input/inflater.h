// The deflate library behind gzip input, chosen when colsieve is built:
// raw deflate data in, bytes out, and the CRC-32 of gzip trailers.
#ifndef COLSIEVE_INPUT_INFLATER_H
#define COLSIEVE_INPUT_INFLATER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class inflater {
 public:
  struct step {
    std::size_t consumed = 0;  // input bytes taken
    std::size_t produced = 0;  // output bytes written
    bool finished = false;     // the deflate data ended
    bool damaged = false;      // the deflate data is not valid
  };

  static std::unique_ptr<inflater> create();
  virtual ~inflater() = default;

  // Starts afresh, for the next member.
  virtual void reset() = 0;
  // Inflates from in (n bytes, maybe 0) into out (room for cap bytes).
  virtual step inflate(const unsigned char* in, std::size_t n,
                       unsigned char* out, std::size_t cap) = 0;
  // After a step that finished: input bytes it took beyond the end of the
  // deflate data, which belong to what follows.
  virtual std::string leftover() = 0;
};

// CRC-32 as gzip's trailer holds it, continued from crc.
std::uint32_t gzip_crc32(std::uint32_t crc, const unsigned char* p,
                         std::size_t n);

#endif  // COLSIEVE_INPUT_INFLATER_H

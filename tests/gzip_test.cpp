// gzip input however its reads split it: members, headers with every
// optional field (a name of megabytes too), and damaged data. Every case
// runs whole, one byte a read and in random short reads.
#include "input/gzip.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include "input/source.h"
#include "test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// One gzip member holding text, with the given header fields.
std::string member(const std::string& text, const std::string& name = "",
                   const std::string& comment = "",
                   const std::string& extra = "", bool header_crc = false) {
  std::string out = "\x1f\x8b\x08";
  out += static_cast<char>((header_crc ? 2 : 0) | (extra.empty() ? 0 : 4) |
                           (name.empty() ? 0 : 8) | (comment.empty() ? 0 : 16));
  out += std::string(6, '\0');  // time, flags, OS
  if (!extra.empty()) {
    out += static_cast<char>(extra.size() & 0xFF);
    out += static_cast<char>(extra.size() >> 8);
    out += extra;
  }
  if (!name.empty()) out += name + '\0';
  if (!comment.empty()) out += comment + '\0';
  if (header_crc) {
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(out.data()),
                            static_cast<uInt>(out.size()));
    out += static_cast<char>(crc & 0xFF);
    out += static_cast<char>((crc >> 8) & 0xFF);
  }
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string body(deflateBound(&z, text.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(body.data());
  z.avail_out = static_cast<uInt>(body.size());
  deflate(&z, Z_FINISH);
  body.resize(z.total_out);
  deflateEnd(&z);
  out += body;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(text.data()),
                          static_cast<uInt>(text.size()));
  for (int k = 0; k < 4; ++k) out += static_cast<char>((crc >> (8 * k)) & 0xFF);
  for (int k = 0; k < 4; ++k)
    out += static_cast<char>((text.size() >> (8 * k)) & 0xFF);
  return out;
}

// What the readers get from gz, read in the given pieces.
std::string inflated(const std::string& gz, std::vector<std::size_t> pieces) {
  input_bytes bytes(std::make_unique<string_source>(gz, std::move(pieces)),
                    "in.gz");
  byte_stream in(bytes.source());
  std::string out;
  in.get_until(byte_set{}, &out);
  return out;
}

const std::vector<std::vector<std::size_t>> kReads = {
    {}, {1}, string_source::random_pieces(3, 7)};

TEST(gzip_source, members_and_headers_whatever_the_reads) {
  std::string big;
  for (int i = 0; i < 20000; ++i) big += ">s" + std::to_string(i) + "\nACGT\n";
  const std::string long_name(3 << 20, 'n');
  const struct {
    std::string gz, text;
  } cases[] = {
      {member(big), big},
      {member(">a\nAC\n", "a.fa", "made by hand", "XY", true), ">a\nAC\n"},
      {member(">a\n", long_name) + member("AC\n", "", long_name), ">a\nAC\n"},
      {member(">a\nA") + member("") + member("C\n"), ">a\nAC\n"},
  };
  for (const auto& c : cases)
    for (const auto& reads : kReads)
      ASSERT_EQ(inflated(c.gz, reads), c.text) << reads.size();
}

TEST(gzip_source, damaged_data_is_an_error_naming_the_input) {
  const std::string good = member(">a\nACGTACGT\n", "a.fa");
  std::string bad_crc = good;
  bad_crc[bad_crc.size() - 8] ^= 1;
  std::string bad_flags = good;
  bad_flags[3] |= 0x40;
  const struct {
    std::string gz;
    const char* message;
  } cases[] = {
      {good.substr(0, good.size() - 3), "in.gz ends in the middle"},
      {good.substr(0, 12), "in.gz ends in the middle"},
      {bad_crc, "its checksum does not match"},
      {bad_flags, "its header is damaged"},
      {good + "garbage", "something else follows the compressed data"},
  };
  for (const auto& c : cases)
    for (const auto& reads : kReads)
      EXPECT_THAT([&] { inflated(c.gz, reads); },
                  ThrowsMessage<fatal_error>(HasSubstr(c.message)))
          << c.message;
}

TEST(gzip_source, an_alignment_reads_the_same_compressed) {
  const std::string text = "# STOCKHOLM 1.0\na AC-G\nb ACTG\n//\n";
  for (const auto& reads : kReads) {
    const auto out = read_text(member(text), {}, reads);
    EXPECT_EQ(rows_of(out.aln), (std::vector<std::string>{"AC-G", "ACTG"}));
  }
}

TEST(gzip_library, names_the_library_in_use) {
  const std::string name = gzip_library();
  EXPECT_TRUE(name == "ISA-L" || name == "zlib") << name;
}

}  // namespace

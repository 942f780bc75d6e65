// The input as the readers get it: a byte-order mark passed over, other
// compressions refused with the command that reads them.
#include "input/source.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using ::testing::ThrowsMessage;

TEST(input_bytes, a_byte_order_mark_is_no_part_of_the_text) {
  for (const char* text :
       {"\xEF\xBB\xBF>a\nAC\n", "\xEF\xBB\xBF# STOCKHOLM 1.0\na AC\n//\n",
        "\xEF\xBB\xBF"
        "CLUSTAL\n\na AC\n"})
    for (std::size_t piece : {1, 100})
      EXPECT_EQ(rows_of(read_text(text, {}, {piece}).aln),
                std::vector<std::string>{"AC"})
          << text;
}

TEST(input_bytes, other_compressions_are_refused_with_the_command) {
  EXPECT_THAT(
      [] {
        input_bytes(std::make_unique<string_source>("BZh91AY&SY"), "aln.bz2");
      },
      ThrowsMessage<fatal_error>(
          "Error: aln.bz2 is compressed with bzip2, which colsieve does not "
          "read (only gzip); decompress it on the way in: bzip2 -dc aln.bz2 "
          "| colsieve -i -"));
}

}  // namespace

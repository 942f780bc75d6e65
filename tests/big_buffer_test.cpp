#include "core/big_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(big_buffer, grows_keeping_its_contents_across_page_kinds) {
  big_buffer b(100);  // normal pages
  std::memcpy(b.data(), "residues", 8);
  b.reserve(std::size_t{5} << 20);  // past the huge-page threshold
  EXPECT_GE(b.capacity(), std::size_t{5} << 20);
  EXPECT_EQ(std::memcmp(b.data(), "residues", 8), 0);
  b.data()[(std::size_t{5} << 20) - 1] = 'x';
  big_buffer moved(std::move(b));
  EXPECT_EQ(b.data(), nullptr);
  EXPECT_EQ(moved.data()[(std::size_t{5} << 20) - 1], 'x');
  big_buffer empty;
  empty.reserve(3);
  EXPECT_GE(empty.capacity(), 3u);
}

}  // namespace

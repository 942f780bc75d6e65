#include "output/buffer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "base/error.h"

namespace {

using ::testing::ThrowsMessage;

TEST(output_buffer, reports_write_errors) {
  std::FILE* full = std::fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  output_buffer out(full, "standard output", 64);
  EXPECT_THAT(
      [&] {
        for (int i = 0; i < 100; ++i) out.write("0123456789", 10);
        out.flush();
      },
      ThrowsMessage<fatal_error>(
          "Error: cannot write standard output: No space left on device"));
  std::fclose(full);
}

}  // namespace

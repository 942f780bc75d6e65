#include "output/column_map.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

TEST(write_column_map, one_line_a_column) {
  selection sel;
  sel.is_selected = {1, 0, 1};
  std::FILE* fp = std::tmpfile();
  {
    output_buffer out(fp, "column map", 16);
    write_column_map(out, {1.0, 0.25, 1e300}, sel);
    out.flush();
  }
  const std::string text = written_text(fp);
  const std::string head =
      "column\tscore\tkept\n1\t1.000000\t1\n2\t0.250000\t0\n3\t1000000";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.substr(text.size() - 11), "0.000000\t1\n");
}

}  // namespace

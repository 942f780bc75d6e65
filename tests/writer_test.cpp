#include "output/writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

std::string written(const std::vector<unsigned char>& mask, int remove_cols,
                    int phylip, const std::vector<fasta_seq>& recs) {
  std::FILE* fp = std::tmpfile();
  {
    output_buffer out(fp, "test output", 16);
    trimmed_writer writer(mask, remove_cols, phylip);
    for (const auto& r : recs) writer.write(out, r);
    out.flush();
  }
  return written_text(fp);
}

TEST(trimmed_writer, case_and_gap_characters) {
  const std::vector<unsigned char> mask = {1, 0, 1, 0, 1, 1, 0};
  const fasta_seq s{"s", "ACDEF[["};
  EXPECT_EQ(written(mask, 0, 0, {s}), ">s\nAcDeF-.\n");
  EXPECT_EQ(written(mask, 1, 0, {s}), ">s\nADF-\n");
  EXPECT_EQ(written(mask, 0, 1, {s}), "s AcDeF-.\n");
  EXPECT_EQ(written(mask, 1, 1, {s}), "s ADF-\n");
}

TEST(trimmed_writer, kept_writes_the_selected_runs) {
  const std::vector<unsigned char> mask = {0, 1, 1, 0, 0, 1, 0, 1};
  // Run by run (with -r) or column by column: the same.
  for (const int remove_cols : {1, 0}) {
    const trimmed_writer writer(mask, remove_cols, 0);
    char out[8];
    EXPECT_EQ(std::string(out, writer.kept(out, "AC[DEFGH", 8)), "C-FH");
    // A row shorter than the mask stops at its end.
    EXPECT_EQ(std::string(out, writer.kept(out, "AC[DEF", 6)), "C-F");
  }
}

TEST(trimmed_writer, lines_of_61_without_empty_lines) {
  const std::string a(122, 'A');
  EXPECT_EQ(written(std::vector<unsigned char>(123, 1), 0, 0, {{"s", a}}),
            ">s\n" + a.substr(0, 61) + "\n" + a.substr(0, 61) + "\n");
  EXPECT_EQ(written(std::vector<unsigned char>(123, 1), 0, 0, {{"s", a + "C"}}),
            ">s\n" + a.substr(0, 61) + "\n" + a.substr(0, 61) + "\nC\n");
  // Removed columns do not count towards a line.
  std::vector<unsigned char> every_other(244);
  for (std::size_t j = 0; j < every_other.size(); j += 2) every_other[j] = 1;
  EXPECT_EQ(written(every_other, 1, 0, {{"s", a + a}}),
            ">s\n" + a.substr(0, 61) + "\n" + a.substr(0, 61) + "\n");
  // PHYLIP lines are never broken.
  EXPECT_EQ(written(std::vector<unsigned char>(122, 1), 0, 1, {{"a b", a}}),
            "a b " + a + "\n");
}

TEST(trimmed_writer, records_with_nothing_to_write) {
  const std::vector<unsigned char> none = {0, 0};
  const std::vector<fasta_seq> recs = {{"a", "AC"}, {"b", "D["}};
  EXPECT_EQ(written(none, 1, 0, recs), ">a\n>b\n");
  EXPECT_EQ(written(none, 1, 1, recs), "a b ");
  EXPECT_EQ(written(none, 0, 1, recs), "a ac\nb d.\n");
}

TEST(trimmed_writer, print_trimmed_align_writes_one_record) {
  std::FILE* fp = std::tmpfile();
  {
    output_buffer out(fp, "test output");
    print_trimmed_align(out, {0, 1, 1}, 0, 0, {"n", "[X["});
    out.flush();
  }
  EXPECT_EQ(written_text(fp), ">n\n.X-\n");
}

TEST(write_records, threads_write_the_same_bytes) {
  const alignment aln = random_alignment(75, 300, 9);
  std::vector<unsigned char> mask(300);
  for (std::size_t j = 0; j < mask.size(); j += 3) mask[j] = 1;
  for (int phylip : {0, 1}) {
    const trimmed_writer writer(mask, 1 - phylip, phylip);
    std::string texts[2];
    for (int k = 0; k < 2; ++k) {
      std::FILE* fp = std::tmpfile();
      {
        thread_pool pool(k == 0 ? 1 : 3);
        pool.set_min_work(0);
        output_buffer out(fp, "test output", 64);
        write_records(out, aln, writer, pool);
        out.flush();
      }
      texts[k] = written_text(fp);
    }
    EXPECT_EQ(texts[0], texts[1]);
    EXPECT_EQ(texts[0].substr(0, phylip ? 2 : 3), phylip ? "0 " : ">0\n");
  }
}

}  // namespace

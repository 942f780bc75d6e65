#include "output/summary_table.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

std::string table(const std::vector<summary_row>& rows, bool json) {
  std::FILE* fp = std::tmpfile();
  {
    output_buffer out(fp, "summary");
    write_summary_table(out, rows, json);
    out.flush();
  }
  return written_text(fp);
}

std::vector<summary_row> rows() {
  summary_row ok;
  ok.input = "g1.fa";
  ok.format = "FASTA";
  ok.ok = true;
  ok.sequences = 4;
  ok.columns = 10;
  ok.kept_columns = 8;
  ok.kept_fraction = 0.8;
  ok.target = 0.85;
  ok.before.variable = 3;
  ok.after.variable = 2;
  ok.before.missing_percent = 12.5;
  summary_row failed;
  failed.input = "g2\t\"x\".fa";
  failed.error = "Error: sequence lengths differ!";
  return {ok, failed};
}

TEST(write_summary_table, tab_separated_with_empty_fields) {
  const std::string t = table(rows(), false);
  EXPECT_EQ(t.substr(0, t.find('\n')),
            "input\tformat\tsequences\tcolumns\tkept_columns\tkept_fraction\t"
            "target\tvariable_before\tvariable_after\t"
            "parsimony_informative_before\tparsimony_informative_after\t"
            "missing_percent_before\tmissing_percent_after\tgc_percent\t"
            "status\terror");
  EXPECT_NE(t.find("\ng1.fa\tFASTA\t4\t10\t8\t0.800000\t0.850000\t3\t2\t0\t0\t"
                   "12.500000\t0.000000\t\tok\t\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("\ng2 \"x\".fa\t\t\t\t\t\t\t\t\t\t\t\t\t\tfailed\tError: "
                   "sequence lengths differ!\n"),
            std::string::npos)
      << t;
}

TEST(write_summary_table, json_with_nulls_and_escapes) {
  const std::string j = table(rows(), true);
  EXPECT_NE(j.find("\"gc_percent\": null, \"status\": \"ok\", \"error\": null"),
            std::string::npos)
      << j;
  EXPECT_NE(j.find("\"input\": \"g2\\u0009\\\"x\\\".fa\", \"format\": null, "
                   "\"sequences\": null"),
            std::string::npos)
      << j;
  EXPECT_EQ(table({}, true), "[]\n");
}

}  // namespace

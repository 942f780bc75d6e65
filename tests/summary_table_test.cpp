#include "output/summary_table.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace {

const std::vector<std::string> kCommandLine = {"colsieve", "--summary",
                                               "s\"\t.json", "g1.fa"};

std::string table(const std::vector<summary_row>& rows, summary_format format,
                  const std::vector<std::string>& command_line = kCommandLine) {
  std::FILE* fp = std::tmpfile();
  {
    output_buffer out(fp, "summary");
    write_summary_table(out, rows, format, command_line);
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
  const std::string t = table(rows(), summary_format::tsv);
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
  const std::string j = table(rows(), summary_format::json);
  EXPECT_NE(j.find("\"gc_percent\": null, \"status\": \"ok\", \"error\": null"),
            std::string::npos)
      << j;
  EXPECT_NE(j.find("\"input\": \"g2\\u0009\\\"x\\\".fa\", \"format\": null, "
                   "\"sequences\": null"),
            std::string::npos)
      << j;
}

TEST(write_summary_table, json_names_the_run_before_its_rows) {
  const std::string j = table(rows(), summary_format::json);
  EXPECT_EQ(j.substr(0, j.find("\"rows\": [\n") + 10),
            "{\n  \"tool\": \"colsieve\",\n  \"version\": \"" COLSIEVE_VERSION
            "\",\n  \"command_line\": [\"colsieve\", \"--summary\", "
            "\"s\\\"\\u0009.json\", \"g1.fa\"],\n  \"rows\": [\n")
      << j;
  EXPECT_EQ(j.substr(j.size() - 8), "}\n  ]\n}\n") << j;
  EXPECT_EQ(table({}, summary_format::json, {"colsieve"}),
            "{\n  \"tool\": \"colsieve\",\n  \"version\": \"" COLSIEVE_VERSION
            "\",\n  \"command_line\": [\"colsieve\"],\n  \"rows\": []\n}\n");
}

TEST(write_summary_table, multiqc_header_then_the_table) {
  const std::string plain = table(rows(), summary_format::tsv);
  const std::string m = table(rows(), summary_format::multiqc_tsv);
  // Every line before the table is a comment; the table is the plain one.
  const std::size_t header_end = m.find("\ninput\t") + 1;
  ASSERT_NE(header_end, 0u) << m;
  for (std::size_t at = 0; at < header_end; at = m.find('\n', at) + 1)
    EXPECT_EQ(m[at], '#') << m;
  EXPECT_EQ(m.substr(header_end), plain);
  for (const char* line :
       {"# id: \"colsieve\"\n", "# plot_type: \"table\"\n",
        "# version: \"" COLSIEVE_VERSION "\"\n",
        "# command_line: [\"colsieve\", \"--summary\", \"s\\\"\\x09.json\", "
        "\"g1.fa\"]\n"})
    EXPECT_NE(m.find(line), std::string::npos) << line << m;
}

TEST(write_summary_table, multiqc_cells_keep_to_their_line) {
  // What MultiQC would take as a line end or as a header line, or not read
  // as UTF-8, is made harmless; the plain table keeps it.
  summary_row r;
  r.input =
      "#a\xc2\x85"
      "b\xe2\x80\xa8"
      "c\x0b\xff\xc3\xa9.fa";
  const std::string m = table({r}, summary_format::multiqc_tsv, {"c\xc2\x85"});
  EXPECT_NE(m.find("\n./#a b c ?\xc3\xa9.fa\t"), std::string::npos) << m;
  EXPECT_NE(m.find("# command_line: [\"c\\u0085\"]\n"), std::string::npos) << m;
  EXPECT_NE(table({r}, summary_format::tsv).find("\n" + r.input + "\t"),
            std::string::npos);
}

TEST(summary_format_of, told_by_the_name) {
  EXPECT_EQ(summary_format_of("a.json"), summary_format::json);
  EXPECT_EQ(summary_format_of("colsieve_mqc.json"), summary_format::json);
  EXPECT_EQ(summary_format_of("out/colsieve_mqc.tsv"),
            summary_format::multiqc_tsv);
  EXPECT_EQ(summary_format_of("mqc.tsv"), summary_format::tsv);
  EXPECT_EQ(summary_format_of("a.tsv"), summary_format::tsv);
  EXPECT_EQ(summary_format_of("json"), summary_format::tsv);
}

}  // namespace

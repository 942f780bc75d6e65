// The supermatrix: its rows made from the genes for any window of columns
// (the Clustal writer reads windows), gaps for the missing, taxon names by
// field.
#include "output/supermatrix.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "run/taxa.h"

namespace {

join_gene gene(const std::string& name, std::vector<std::string> taxa,
               const std::vector<std::string>& rows) {
  const alignment aln = make_alignment(taxa, rows);
  selection all;
  all.is_selected.assign(aln.lseq, 1);
  all.n_gt_target = static_cast<int>(aln.lseq);
  return make_join_gene(name, std::move(taxa), aln, all, false);
}

// The genes, moved in (a gene holds its cells alone).
std::vector<join_gene> genes(join_gene a, join_gene b) {
  std::vector<join_gene> v;
  v.push_back(std::move(a));
  v.push_back(std::move(b));
  return v;
}

std::string written(const supermatrix& m, out_format f) {
  char* buf = nullptr;
  std::size_t size = 0;
  std::FILE* fp = open_memstream(&buf, &size);
  {
    output_buffer out(fp, "test");
    m.write(out, f, thread_pool::serial());
    out.flush();
  }
  std::fclose(fp);
  std::string s(buf, size);
  std::free(buf);
  return s;
}

TEST(supermatrix, rows_are_the_genes_side_by_side_in_any_window) {
  std::vector<join_gene> three = genes(gene("g1", {"a", "b"}, {"ACG", "ACT"}),
                                       gene("g2", {"c", "a"}, {"MKV", "MRV"}));
  three.push_back(gene("g3", {"b"}, {"TTTT"}));
  const supermatrix m(std::move(three), '?');
  ASSERT_EQ(m.taxa(), 3u);
  ASSERT_EQ(m.columns(), 10u);
  const std::string whole = written(m, out_format::fasta);
  EXPECT_EQ(whole, ">a\nACGMRV????\n>b\nACT???TTTT\n>c\n???MKV????\n");
  // Clustal reads the rows a window at a time: every window of every row
  // is that part of the row.
  const std::string rows[] = {"ACGMRV????", "ACT???TTTT", "???MKV????"};
  char buf[10];
  for (std::size_t t = 0; t < 3; ++t)
    for (std::size_t c0 = 0; c0 < 10; ++c0)
      for (std::size_t c1 = c0; c1 <= 10; ++c1)
        EXPECT_EQ(std::string(m.segment(t, c0, c1, buf), c1 - c0),
                  rows[t].substr(c0, c1 - c0))
            << t << " " << c0 << " " << c1;
}

TEST(supermatrix, gaps_fill_the_missing_with_dash) {
  const supermatrix m(
      genes(gene("g1", {"a"}, {"A-C"}), gene("g2", {"b"}, {"GG"})), '-');
  EXPECT_EQ(written(m, out_format::phylip_relaxed), "2 5\na A-C--\nb ---GG\n");
}

TEST(taxa, a_field_of_the_name_at_a_separator) {
  const alignment aln =
      make_alignment({"Homo|x|1", "a::b::c", "Pan|y"}, {"A", "A", "A"});
  const taxon_rule second = taxon_field_value("|:2");
  EXPECT_EQ(second.separator, "|");
  // The last ':' ends the separator: "::" splits "a::b::c".
  const std::vector<std::string> taxa =
      taxa_of(make_alignment({"a::b::c"}, {"A"}), {"a::b::c"},
              taxon_field_value(":::3"), out_format::fasta, false, "g");
  EXPECT_EQ(taxa, std::vector<std::string>{"c"});
  EXPECT_THROW(taxa_of(aln, aln.names, second, out_format::fasta, false, "g"),
               fatal_error);  // "a::b::c" has no second '|' field
  EXPECT_THROW(taxon_field_value("|:0"), fatal_error);
  EXPECT_THROW(taxon_field_value(":1"), fatal_error);
  EXPECT_THROW(taxon_field_value("|"), fatal_error);
}

}  // namespace

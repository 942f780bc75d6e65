// The names of a batch's outputs, made from each input's file name.
#include "run/naming.h"

#include <gtest/gtest.h>

namespace {

TEST(naming, name_and_stem_of_an_input) {
  EXPECT_EQ(name_of_input("dir/a.fa"), "a.fa");
  EXPECT_EQ(stem_of_input("dir/a.fa"), "a");
  // gzip is no part of either; only the last extension leaves the stem.
  EXPECT_EQ(name_of_input("x/y/fn3.sto.gz"), "fn3.sto");
  EXPECT_EQ(stem_of_input("x/y/fn3.sto.gz"), "fn3");
  EXPECT_EQ(stem_of_input("gene.v2.aln.fa"), "gene.v2.aln");
  // A name whose only dot starts it, and names without an extension.
  EXPECT_EQ(stem_of_input(".hidden"), ".hidden");
  EXPECT_EQ(stem_of_input("dir/plain"), "plain");
  EXPECT_EQ(stem_of_input("a.gz"), "a");
  EXPECT_EQ(file_name("/abs/path/"), "");
}

TEST(naming, templates_are_filled_in_one_pass) {
  EXPECT_EQ(expand_template("{stem}.{ext}", "in/fn3.sto", "fa"), "fn3.fa");
  EXPECT_EQ(expand_template("maps/{name}.tsv", "in/fn3.sto.gz", "phy"),
            "maps/fn3.sto.tsv");
  // A value is never searched for placeholders, and an unknown one stays.
  EXPECT_EQ(expand_template("{stem}-{ext}", "a{ext}.fa", "nex"), "a{ext}-nex");
  EXPECT_EQ(expand_template("{x}{stem}{", "b.fa", "fa"), "{x}b{");
  EXPECT_TRUE(names_each_input("out/{name}"));
  EXPECT_TRUE(names_each_input("{stem}.tsv"));
  EXPECT_FALSE(names_each_input("map-{ext}.tsv"));
}

}  // namespace

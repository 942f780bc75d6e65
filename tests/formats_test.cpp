#include "output/formats.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

thread_pool one_thread(1);

// A table of one-column rows with these names and forms.
alignment named(const std::vector<std::string>& names,
                const std::vector<name_form>& forms = {}) {
  alignment aln = make_alignment(
      names, std::vector<std::string>(names.size(), std::string("A")));
  aln.forms = forms;
  return aln;
}

struct named_result {
  std::vector<std::string> names;
  std::vector<std::string> warnings;
};

named_result names_for(const alignment& aln, out_format f,
                       bool safe_names = false) {
  named_result r;
  r.names = output_names(aln, f, safe_names, [&](const std::string& w) {
    r.warnings.push_back(w);
  });
  return r;
}

std::string write(const alignment& aln, const selection& sel, out_format f,
                  bool safe_names = false) {
  const std::vector<std::string> names =
      output_names(aln, f, safe_names, [](const std::string&) {});
  std::FILE* fp = std::tmpfile();
  {
    output_buffer out(fp, "test output", 64);
    write_alignment(out, aln, names, sel, f, 0, one_thread);
    out.flush();
  }
  return written_text(fp);
}

selection all_of(const alignment& aln) {
  selection sel;
  sel.is_selected.assign(aln.lseq, 1);
  sel.n_gt_target = static_cast<int>(aln.lseq);
  return sel;
}

TEST(output_names, nexus_names_are_plain_words) {
  const named_result r =
      names_for(named({"HBB_HUMAN", "VCAM1_HUMAN/1-90", "a.b desc", "x+y",
                       "caf\xc3\xa9|\xff", "'q'"}),
                out_format::nexus);
  EXPECT_EQ(r.names, (std::vector<std::string>{"HBB_HUMAN", "VCAM1_HUMAN_1_90",
                                               "a.b", "x_y", "caf___", "_q_"}));
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_EQ(r.warnings[0],
            "Warning: 4 names were changed for nexus output (blanks and "
            "characters other than letters, digits, '.' and '_' became '_'); "
            "the first: \"VCAM1_HUMAN/1-90\" became \"VCAM1_HUMAN_1_90\"");
  // Names that differ only in their punctuation are refused.
  EXPECT_THAT(
      [] {
        names_for(named({"a/1", "a-1"}), out_format::nexus);
      },
      ThrowsMessage<fatal_error>(HasSubstr("both be named \"a_1\"")));
}

TEST(output_names, newick_rule_for_the_other_tree_formats) {
  const alignment aln = named({"seq one:x", "a/1-9", "(b)", " "});
  for (const out_format f :
       {out_format::phylip_relaxed, out_format::paml, out_format::clustal}) {
    const named_result r = names_for(aln, f);
    EXPECT_EQ(r.names, (std::vector<std::string>{"seq", "a/1-9", "_b_", "_"}));
    EXPECT_EQ(r.warnings.size(), 1u);
  }
  EXPECT_EQ(names_for(aln, out_format::phylip_relaxed).warnings[0],
            "Warning: 2 names were changed for phylip-relaxed output (blanks "
            "and ( ) [ ] : ; , ' became '_'); the first: \"(b)\" became "
            "\"_b_\"");
}

TEST(output_names, layouts_of_old_keep_the_whole_header) {
  const alignment aln =
      named({"P1;MYG_ESCGI x", "a (b)"}, {name_form::pir, name_form::plain});
  for (const out_format f : {out_format::default_layout, out_format::phylip})
    for (const bool safe : {false, true})
      EXPECT_EQ(names_for(aln, f, safe).names, aln.names);
}

TEST(output_names, pir_records_are_named_after_their_type_code) {
  const alignment aln =
      named({"P1;MYG_ESCGI", "F1;MYG_ESCGJ desc", "P1;plain"},
            {name_form::pir, name_form::pir, name_form::plain});
  EXPECT_EQ(names_for(aln, out_format::phylip_strict).names,
            (std::vector<std::string>{"MYG_ESCGI", "MYG_ESCGJ", "P1_plain"}));
  EXPECT_EQ(
      names_for(aln, out_format::fasta).names,
      (std::vector<std::string>{"MYG_ESCGI", "MYG_ESCGJ desc", "P1;plain"}));
  // Without forms every name is plain.
  EXPECT_EQ(names_for(named({"P1;MYG_ESCGI"}), out_format::paml).names,
            std::vector<std::string>{"P1_MYG_ESCGI"});
}

TEST(output_names, a_quoted_name_is_one_word) {
  const alignment aln =
      named({"Homo sapiens", "Homo erectus", "Pan x"},
            {name_form::quoted, name_form::quoted, name_form::plain});
  const named_result r = names_for(aln, out_format::nexus);
  EXPECT_EQ(r.names,
            (std::vector<std::string>{"Homo_sapiens", "Homo_erectus", "Pan"}));
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_THAT(r.warnings[0], HasSubstr("\"Homo sapiens\" became"));
  EXPECT_EQ(names_for(aln, out_format::phylip_relaxed).names[1],
            "Homo_erectus");
}

TEST(output_names, safe_names_for_fasta_and_pir) {
  const alignment aln =
      named({"MYG_PROGU[2] desc", "P1;x y", "b:1"},
            {name_form::plain, name_form::pir, name_form::plain});
  for (const out_format f : {out_format::fasta, out_format::pir}) {
    EXPECT_EQ(names_for(aln, f, true).names,
              (std::vector<std::string>{"MYG_PROGU_2_", "x", "b_1"}));
    EXPECT_EQ(names_for(aln, f, true).warnings.size(), 1u);
    EXPECT_TRUE(names_for(aln, f, false).warnings.empty());
  }
  EXPECT_THAT(
      [] {
        names_for(named({"a b", "a c"}), out_format::fasta, true);
      },
      ThrowsMessage<fatal_error>(
          "Error: records 1 (\"a b\") and 2 (\"a c\") would both be "
          "named \"a\" in fasta output; tree programs need names "
          "that differ"));
  // Duplicates are allowed in fasta without safe names, as they always were.
  EXPECT_EQ(names_for(named({"a b", "a b"}), out_format::fasta).names.size(),
            2u);
}

TEST(output_names, phylip_strict_cuts_at_a_character_boundary) {
  // Byte 10 is the middle of the e-acute.
  const named_result r =
      names_for(named({"abcdefghi\xc3\xa9", "abcdefgh\xc3\xa9xyz"}),
                out_format::phylip_strict);
  EXPECT_EQ(r.names,
            (std::vector<std::string>{"abcdefghi", "abcdefgh\xc3\xa9"}));
}

TEST(output_names, messages_show_names_safely) {
  const std::string long_name(100, 'n');
  EXPECT_THAT(
      [&] {
        names_for(named({"x\x1b[2J y", "x\x1b]2J"}),
                  out_format::phylip_relaxed);
      },
      ThrowsMessage<fatal_error>(
          "Error: records 1 (\"x?[2J y\") and 2 (\"x?]2J\") would both be "
          "named \"x__2J\" in phylip-relaxed output; tree programs need names "
          "that differ"));
  // The warning's names, and a long duplicate cut to 60 characters.
  const named_result r =
      names_for(named({"a\x1b:b", "c"}), out_format::phylip_relaxed);
  EXPECT_EQ(r.warnings[0],
            "Warning: 1 name was changed for phylip-relaxed output (blanks and "
            "( ) [ ] : ; , ' became '_'); the first: \"a?:b\" became \"a__b\"");
  EXPECT_THAT(
      [&] {
        names_for(named({long_name + "a", long_name + "b"}),
                  out_format::phylip_strict);
      },
      ThrowsMessage<fatal_error>(HasSubstr(
          "(\"" + std::string(60, 'n') + "...\") and 2 (\"" +
          std::string(60, 'n') + "...\") would both be named \"nnnnnnnnnn\"")));
}

TEST(write_alignment, nexus_block_with_bare_names) {
  const alignment aln = make_alignment({"HBB_HUMAN", "VCAM1_HUMAN/1-90", "c"},
                                       {"ACGTE", "ACGR[", "ACGTQ"});
  selection sel = all_of(aln);
  sel.is_selected[4] = 0;  // the protein letters are not written
  sel.n_gt_target = 4;
  EXPECT_EQ(write(aln, sel, out_format::nexus),
            "#NEXUS\n\nBEGIN DATA;\n  DIMENSIONS NTAX=3 NCHAR=4;\n"
            "  FORMAT DATATYPE=DNA GAP=- MISSING=?;\n  MATRIX\n"
            "  HBB_HUMAN         ACGT\n"
            "  VCAM1_HUMAN_1_90  ACGR\n"
            "  c                 ACGT\n"
            "  ;\nEND;\n");
  EXPECT_THAT(write(aln, all_of(aln), out_format::nexus),
              HasSubstr("DATATYPE=PROTEIN"));
}

TEST(write_alignment, clustal_marks_columns_of_one_residue) {
  // Column 2 is the same residue everywhere, column 3 a gap everywhere.
  const alignment aln = make_alignment({"a", "b"}, {"AC[[D", "GC[AD"});
  EXPECT_EQ(write(aln, all_of(aln), out_format::clustal),
            "CLUSTAL W multiple sequence alignment, written by colsieve\n\n\n"
            "a               AC--D\n"
            "b               GC-AD\n"
            "                 *  *\n");
}

TEST(write_alignment, clustal_blocks_follow_the_mask) {
  std::string row;
  for (int j = 0; j < 130; ++j) row += static_cast<char>('A' + j % 20);
  const alignment aln = make_alignment({"s"}, {row});
  selection sel = all_of(aln);
  for (std::size_t j = 0; j < 130; j += 2) sel.is_selected[j] = 0;
  sel.n_gt_target = 65;
  std::string kept;
  for (std::size_t j = 1; j < 130; j += 2) kept += row[j];
  const std::string pad(15, ' '), marks(60, '*');
  EXPECT_EQ(
      write(aln, sel, out_format::clustal),
      "CLUSTAL W multiple sequence alignment, written by colsieve\n\n" +
          ("\ns" + pad + kept.substr(0, 60) + "\n" + pad + " " + marks + "\n") +
          ("\ns" + pad + kept.substr(60) + "\n" + pad + " *****\n"));
}

TEST(write_alignment, pir_keeps_a_records_type_code) {
  const alignment aln =
      make_alignment({"F1;FRAG x", "DL;dna", "P1;looks_coded", "plain"},
                     {"AC", "AC", "A[", "AC"});
  alignment with_forms =
      make_alignment({"F1;FRAG x", "DL;dna", "P1;looks_coded", "plain"},
                     {"AC", "AC", "A[", "AC"});
  with_forms.forms = {name_form::pir, name_form::pir, name_form::plain,
                      name_form::plain};
  EXPECT_EQ(write(with_forms, all_of(with_forms), out_format::pir),
            ">F1;FRAG x\nFRAG x\nAC*\n>DL;dna\ndna\nAC*\n"
            ">P1;looks_coded\nlooks_coded\nA-*\n>P1;plain\nplain\nAC*\n");
  // Safe names: still a type code and ';' before the name.
  EXPECT_EQ(write(with_forms, all_of(with_forms), out_format::pir, true),
            ">F1;FRAG\nFRAG\nAC*\n>DL;dna\ndna\nAC*\n"
            ">P1;P1_looks_coded\nP1_looks_coded\nA-*\n>P1;plain\nplain\nAC*\n");
  EXPECT_EQ(write(with_forms, all_of(with_forms), out_format::fasta),
            ">FRAG x\nAC\n>dna\nAC\n>P1;looks_coded\nA-\n>plain\nAC\n");
  EXPECT_THAT(write(aln, all_of(aln), out_format::pir),
              HasSubstr(">F1;FRAG x\nFRAG x\nAC*\n"));
}

}  // namespace

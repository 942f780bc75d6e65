#include "input/mega.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "input/detect.h"
#include "test_support.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

TEST(read_mega, format_symbols_comments_and_cut_names) {
  // EMBOSS cuts names to 40 characters, so two rows may share one.
  const std::string text =
      "#mega\n!Title: Written by EMBOSS 08/12/26;\n!Format\n"
      "    DataType=Protein DataFormat=Interleaved\n"
      "    Identical=. Indel = * Missing=N\n    ;\n"
      "[a comment [nested]\n over two lines]\n"
      "#seq_cut  ACGT-a\n#seq_cut  ..N*.C\n#other    .G..?.\n\n"
      "#seq_cut  TT\n#seq_cut  .A\n#other    [x]-.\n";
  for (const auto& pieces :
       {std::vector<std::size_t>{}, std::vector<std::size_t>{1}}) {
    const auto out = read_text(text, {}, pieces);
    EXPECT_EQ(rows_of(out.aln),
              (std::vector<std::string>{"ACGT-ATT", "AC---CTA", "AGGT-A-T"}));
    EXPECT_EQ(out.aln.names[1], "seq_cut");
    EXPECT_TRUE(out.warnings.empty());
  }
  EXPECT_EQ(detect_input("#Mega\n!Title x;\n").fmt, format::mega);
}

TEST(read_mega, sequential_rows_go_on_over_lines) {
  const auto out = read_text(
      "#MEGA\nTITLE: an old header\n\n#a\nACGT\nAC\n!Gene=g1;\n\n#b "
      "ACG\nT.C\n");
  EXPECT_EQ(rows_of(out.aln), (std::vector<std::string>{"ACGTAC", "ACGT-C"}));
  EXPECT_THAT(out.warnings,
              ElementsAre(HasSubstr("'.' in rows after the first was read as "
                                    "a gap")));
}

TEST(read_mega, each_fault_is_an_error_naming_its_line) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"#mega\n!Format Identical=.;\n#a AC.\n#b ...\n",
       "Error: in, line 3: the first sequence (\"a\") holds the identical "
       "character '.', which stands for the first sequence's own character"},
      {"#mega\n#a\nAC\nA*\n#b ACAC\n",
       "Error: in, line 4: sequence \"a\" holds '*', which is neither a "
       "residue (a letter) nor a gap"},
      {"#mega\n#a AC\n#b AC\n#a AC\n#c AC\n",
       "Error: in, line 5: row 2 of this block is \"c\", but row 2 of the "
       "first block is \"b\""},
      {"#mega\n#a AC\n#b ACG\n",
       "Error: in, line 3: sequence \"b\" has 3 columns in this block, but "
       "the block's first sequence (\"a\") has 2 (a ragged block)"},
      {"#mega\n#a AC [x\n#b AC\n",
       "Error: in, line 2: a comment '[' that starts here is never closed"},
      {"#mega\n!Title x\n#a AC\n",
       "Error: in, line 2: the command that starts here has no ';' (a file "
       "cut short?)"},
      {"#mega\n#a AC\n!Format Indel=-;\n#b AC\n",
       "Error: in, line 3: a Format command after the first sequence (it "
       "must come before the sequences)"},
      {"#mega\n!Format DataType=Distance;\n#a\n#b\n0.1\n",
       "Error: in holds a MEGA distance matrix (DataType=Distance), not an "
       "alignment"},
  };
  for (const auto& c : cases)
    EXPECT_THAT([&] { read_text(c.text); },
                ThrowsMessage<fatal_error>(c.message))
        << c.text;
}

}  // namespace

#include "input/fasta_seq.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

using ::testing::ThrowsMessage;

std::vector<fasta_seq> read_all(const std::string& text, int flag = 0,
                                std::size_t block = 1 << 18) {
  string_source src(text, {block});
  byte_stream fs(&src);
  std::vector<fasta_seq> out;
  std::unique_ptr<fasta_seq> rec;
  while (read_fasta_seq(&fs, &rec, flag) == 1) out.push_back(*rec);
  return out;
}

std::string dump(const fasta_seq& s) {
  std::FILE* fp = std::tmpfile();
  print_fasta_seq(fp, s);
  return written_text(fp);
}

TEST(read_fasta_seq, empty_input_is_the_end) {
  EXPECT_TRUE(read_all("").empty());
}

TEST(read_fasta_seq, filter_modes_keep_their_characters) {
  const std::string text = ">s1\nAC-gT*.\n";
  EXPECT_EQ(read_all(text, 0).at(0).seq, "AC-T");
  EXPECT_EQ(read_all(text, 2).at(0).seq, "AC-gT.");
  EXPECT_EQ(read_all(text, 1).at(0).seq, "ACGT");
  EXPECT_EQ(read_all(text, 7).at(0).seq, "ACGT");
}

TEST(read_fasta_seq, drops_blanks_digits_and_carriage_returns) {
  const auto recs = read_all(">s\r\n10 AC\r\n  DE\t12\r\n");
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0].seq, "ACDE");
  EXPECT_EQ(recs[0].seqlen(), 4);
}

TEST(read_fasta_seq, header_text_is_kept_whole) {
  auto recs = read_all(">a b c\nAA\n> s\nAA\n>t\r\nAA\n>\nAA\n>x>y\nAA");
  ASSERT_EQ(recs.size(), 5u);
  EXPECT_EQ(recs[0].comment, "a b c");
  EXPECT_EQ(recs[1].comment, " s");
  EXPECT_EQ(recs[2].comment, "t");  // CRLF line end dropped
  EXPECT_EQ(recs[3].comment, "");
  EXPECT_EQ(recs[4].comment, "x>y");  // '>' is ordinary inside a header

  const std::string long_name(5000, 'n');
  recs = read_all(">" + long_name + "\nAC\n");
  EXPECT_EQ(recs.at(0).comment, long_name);
  EXPECT_EQ(recs.at(0).seq, "AC");
}

TEST(read_fasta_seq, gt_ends_a_record_mid_line) {
  const auto recs = read_all(">s\nAC>x\nGG\n");
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0].seq, "AC");
  EXPECT_EQ(recs[1].comment, "x");
  EXPECT_EQ(recs[1].seq, "GG");
}

TEST(read_fasta_seq, empty_records_and_missing_final_line_end) {
  const auto recs = read_all(">a\n>b\nAC\n>c");
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[0].seqlen(), 0);
  EXPECT_EQ(recs[1].seq, "AC");
  EXPECT_EQ(recs[2].comment, "c");
  EXPECT_EQ(recs[2].seq, "");
  EXPECT_EQ(read_all(">a\nAC\nGT").at(0).seq, "ACGT");
}

TEST(read_fasta_seq, refuses_input_without_header) {
  for (const char* text : {"AC\n>a\nAC\n", "\n>a\nAC\n", " >a\nAC\n"}) {
    EXPECT_THAT([&] { read_all(text); },
                ThrowsMessage<fatal_error>("Error: no header in fasta file"))
        << text;
  }
}

// n residues, 60 a line, each line with its line end.
std::string residue_lines(std::size_t n, std::string* residues) {
  std::string s;
  residues->clear();
  for (std::size_t i = 0; i < n; ++i) {
    residues->push_back(static_cast<char>('A' + i % 20));
    s += residues->back();
    if (i % 60 == 59) s += '\n';
  }
  return s;
}

TEST(read_fasta_seq, holds_exactly_45000_residues_whatever_follows) {
  std::string residues;
  const std::string body = residue_lines(MAX_SEQLEN, &residues);
  ASSERT_EQ(body.back(), '\n');
  for (const char* tail : {"", "\n\n..ac*\r\n", ">next\nAC\n"}) {
    const auto recs = read_all(">s\n" + body + tail);
    ASSERT_GE(recs.size(), 1u) << tail;
    EXPECT_EQ(recs[0].seq, residues) << tail;
  }
  EXPECT_THAT(
      [&] { read_all(">s\n" + residue_lines(MAX_SEQLEN + 1, &residues)); },
      ThrowsMessage<fatal_error>("ERROR: sequence too long."));
}

TEST(read_fasta_seq, dropped_characters_do_not_count_towards_the_limit) {
  std::string lower(MAX_SEQLEN + 10, 'a');
  const auto recs = read_all(">s\n" + lower + "AC\n");
  EXPECT_EQ(recs.at(0).seq, "AC");
  EXPECT_THROW(read_all(">s\n" + lower + "AC\n", 1), fatal_error);
}

TEST(read_fasta_seq, block_boundaries_do_not_change_records) {
  const std::string text =
      ">first one\r\nAC-DE\nFG>mid\nHIK\n\n>\n>last\nLM-N\r\nPQ";
  const auto expected = read_all(text, 2);
  ASSERT_EQ(expected.size(), 4u);
  for (std::size_t block : {1, 2, 3, 5, 7, 16}) {
    const auto got = read_all(text, 2, block);
    ASSERT_EQ(got.size(), expected.size()) << "block " << block;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].comment, expected[i].comment) << "block " << block;
      EXPECT_EQ(got[i].seq, expected[i].seq) << "block " << block;
    }
  }
}

TEST(read_fasta_seq, agrees_with_a_character_by_character_model) {
  // Long runs of residues, as in real files, broken by every kind of byte.
  const std::string alphabet = "ACDEFGHIKLMNPQRSTVWXYZ-";
  const std::string odd =
      std::string("acgtxz.*0 \r\n\t>@[`{") + '\0' + "\x80\xff";
  std::mt19937 gen(11);
  for (int round = 0; round < 40; ++round) {
    std::string text = ">r0\n";
    const int len = 1 + gen() % 3000;
    for (int k = 0; k < len; ++k) {
      const bool rare = gen() % (round % 4 == 0 ? 3 : 40) == 0;
      text +=
          rare ? odd[gen() % odd.size()] : alphabet[gen() % alphabet.size()];
    }
    for (int flag : {0, 1, 2}) {
      std::vector<fasta_seq> expected;
      ASSERT_TRUE(model_read(text, flag, &expected));
      for (std::size_t block : {std::size_t{1} << 18, std::size_t{17}}) {
        const auto got = read_all(text, flag, block);
        ASSERT_EQ(got.size(), expected.size()) << round << " " << flag;
        for (std::size_t i = 0; i < got.size(); ++i) {
          ASSERT_EQ(got[i].comment, expected[i].comment) << round;
          ASSERT_EQ(got[i].seq, expected[i].seq) << round << " " << flag;
        }
      }
    }
  }
}

TEST(read_fasta_seq, read_error_is_not_the_end_of_input) {
  std::FILE* dir = std::fopen(".", "r");
  ASSERT_NE(dir, nullptr);
  stdio_source src(dir);
  byte_stream fs(&src);
  std::unique_ptr<fasta_seq> rec;
  EXPECT_THROW(read_fasta_seq(&fs, &rec, 0), fatal_error);
  EXPECT_EQ(rec, nullptr);
  std::fclose(dir);
}

TEST(free_fasta_seq, releases_the_record) {
  auto rec = std::make_unique<fasta_seq>();
  free_fasta_seq(&rec);
  EXPECT_EQ(rec, nullptr);
}

TEST(print_fasta_seq, writes_61_residues_a_line) {
  fasta_seq s{"s", std::string(61, 'A')};
  EXPECT_EQ(dump(s), ">s sequence length = 61\n" + std::string(61, 'A') + "\n");
  s.seq += "CD";
  EXPECT_EQ(dump(s),
            ">s sequence length = 63\n" + std::string(61, 'A') + "\nCD\n");
  EXPECT_EQ(dump(fasta_seq{"s", ""}), ">s sequence length = 0\n");
}

// The layout read_fasta_record reports: even records can be read again
// column by column from the file.
fasta_record_info layout(const std::string& text) {
  string_source src(text, {3});
  byte_stream in(&src);
  const fasta_rules rules(0);
  std::string name, residues;
  class : public residue_sink {
   public:
    std::string* s;
    char* reserve(std::size_t n) override {
      if (s->size() < n) s->resize(n);
      return s->data();
    }
  } sink;
  sink.s = &residues;
  fasta_record_info info;
  EXPECT_TRUE(read_fasta_record(&in, rules, &name, &sink, &info));
  return info;
}

TEST(read_fasta_record, tells_an_even_layout) {
  fasta_record_info i = layout(">name\nACGT\nAC-T\nAC\n\n");
  EXPECT_TRUE(i.even);
  EXPECT_EQ(i.start, 6u);
  EXPECT_EQ(i.width, 4u);
  EXPECT_EQ(i.line_end, 1u);
  i = layout(">n\r\nACG\r\nAC\r\n>next\nA\n");
  EXPECT_TRUE(i.even);
  EXPECT_EQ(i.start, 4u);
  EXPECT_EQ(i.line_end, 2u);
  EXPECT_TRUE(layout(">n\nACGTACGT").even);  // one line, no line end
  for (const char* text :
       {">n\nACG\nACGT\n", ">n\nAC\nACG\nA\n", ">n\nACG\nAC\nA\n",
        ">n\nACG\r\nACG\nA\n", ">n\nAC1G\nACGT\n", ">n\nAC\n\nAC\n",
        ">n\n\nACGT\n", ">n\nAC\rGT\n", ">n\nACgT\n", ">P1;n\nd\nAC*\n"})
    EXPECT_FALSE(layout(text).even) << text;
}

}  // namespace

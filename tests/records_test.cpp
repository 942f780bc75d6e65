// Rows of interleaved blocks: by name or by position, and the rules every
// block must keep.
#include "input/records.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "test_support.h"

namespace {

using ::testing::ThrowsMessage;

struct row {
  const char* name;
  const char* residues;  // nullptr: a blank line, ending the block
};

loaded_input rows_in(block_rows::key key, const std::vector<row>& lines) {
  read_context ctx;
  ctx.where = "in";
  ctx.limit = 10;
  block_rows rows(key, ctx, full_row_table(".-_~"));
  std::size_t line = 0;
  for (const row& r : lines) {
    ++line;
    if (r.residues == nullptr) {
      rows.end_block(line);
      continue;
    }
    rows.begin_row(r.name, line);
    rows.add(r.residues);
    rows.end_row();
  }
  loaded_input in = rows.take(line);
  in.aln.lseq = in.lengths[0];
  return in;
}

TEST(block_rows, blocks_append_to_their_records) {
  const loaded_input in = rows_in(
      block_rows::key::name,
      {{"a", "AC"}, {"b", "a."}, {"", nullptr}, {"b", "t"}, {"a", "G"}});
  EXPECT_EQ(rows_of(in.aln), (std::vector<std::string>{"ACG", "A-T"}));
  EXPECT_EQ(in.lengths, (std::vector<std::size_t>{3, 3}));
}

TEST(block_rows, a_block_that_breaks_the_rules_is_an_error) {
  using k = block_rows::key;
  const struct {
    k key;
    std::vector<row> lines;
    const char* message;
  } cases[] = {
      {k::name,
       {{"a", "ACGT"}, {"b", "ACGTAC"}},
       "Error: in, line 2: sequence \"b\" has 6 columns in this block, but "
       "the block's first sequence (\"a\") has 4 (a ragged block)"},
      {k::name,
       {{"a", "AC"}, {"a", "AC"}},
       "Error: in, line 2: sequence \"a\" appears twice in one block"},
      {k::name,
       {{"a", "AC"}, {"b", "AC"}, {"", nullptr}, {"b", "AC"}, {"b", "AC"}},
       "Error: in, line 5: sequence \"b\" appears twice in one block"},
      {k::name,
       {{"a", "AC"}, {"b", "AC"}, {"", nullptr}, {"a", "AC"}, {"c", "AC"}},
       "Error: in, line 5: sequence \"c\" is not in the first block"},
      {k::name,
       {{"a", "AC"}, {"b", "AC"}, {"", nullptr}, {"a", "AC"}},
       "Error: in, line 4: this block has 1 rows, but the first block has 2 "
       "(\"b\" is missing)"},
      {k::position,
       {{"a", "AC"}, {"b", "AC"}, {"", nullptr}, {"a", "AC"}, {"c", "AC"}},
       "Error: in, line 5: row 2 of this block is \"c\", but row 2 of the "
       "first block is \"b\""},
      {k::name,
       {{"a", "ACGTACGTAC"}, {"", nullptr}, {"a", "A"}},
       "ERROR: sequence too long.\nRecord 1 (a) has more than 10 columns, "
       "the limit; --max-columns N sets another, --max-columns 0 lifts it."},
      {k::name,
       {{"a", "AC*"}},
       "Error: in, line 1: sequence \"a\" holds '*', which is neither a "
       "residue (a letter) nor a gap"},
  };
  for (const auto& c : cases)
    EXPECT_THAT([&] { rows_in(c.key, c.lines); },
                ThrowsMessage<fatal_error>(c.message));
}

TEST(block_rows, by_position_rows_may_share_a_name) {
  // Clustal writers cut names: two rows of a block can carry the same one.
  const loaded_input in = rows_in(block_rows::key::position, {{"H.sap", "AC"},
                                                              {"H.sap", "GT"},
                                                              {"", nullptr},
                                                              {"H.sap", "A-"},
                                                              {"H.sap", "-T"}});
  EXPECT_EQ(rows_of(in.aln), (std::vector<std::string>{"ACA-", "GT-T"}));
}

}  // namespace

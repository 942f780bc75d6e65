#include "core/alignment.h"

#include <gtest/gtest.h>

namespace {

TEST(alignment, rows_names_and_forms) {
  alignment aln = make_alignment({"a", "b"}, {"AC[", "[CD"});
  EXPECT_EQ(aln.nseq(), 2u);
  EXPECT_EQ(aln.lseq, 3u);
  EXPECT_EQ(aln.row_view(1), "[CD");
  EXPECT_EQ(aln.form(1), name_form::plain);  // no forms: all plain
  aln.forms = {name_form::plain, name_form::quoted};
  EXPECT_EQ(aln.form(1), name_form::quoted);
  const std::size_t end = aln.append("c", "EF[", 6);
  EXPECT_EQ(end, 9u);
  EXPECT_EQ(aln.row_view(2), "EF[");
  EXPECT_EQ(aln.row_view(0), "AC[");
}

}  // namespace

// FASTA and PIR alignments: records into the table, in one pass or in
// pieces read by threads, and what the reader drops.
#include "input/fasta_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <stdexcept>

#include "core/weights.h"
#include "test_support.h"

namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// An in-memory file, for the reader that splits a file into pieces.
struct memory_file {
  explicit memory_file(const std::string& text)
      : fd(memfd_create("fasta_reader_test", 0)) {
    if (fd < 0 || write(fd, text.data(), text.size()) !=
                      static_cast<ssize_t>(text.size()))
      throw std::runtime_error("memfd");
  }
  ~memory_file() { close(fd); }
  alignment read(unsigned threads, std::size_t max_columns = 45000,
                 input_options::streaming stream =
                     input_options::streaming::automatic) const {
    lseek(fd, 0, SEEK_SET);
    thread_pool pool(threads);
    pool.set_min_work(0);  // split even the smallest file
    input_options opts;
    opts.max_columns = max_columns;
    opts.stream = stream;
    return read_alignment(fd, "mem.fa", opts, pool, [](const std::string&) {});
  }
  alignment streamed(unsigned threads) const {
    return read(threads, 45000, input_options::streaming::always);
  }
  int fd;
};

std::string records(int n, int len, int odd_record = 0, int odd_len = 0) {
  std::string text;
  for (int i = 1; i <= n; ++i) {
    text += ">r" + std::to_string(i) + " x>y\n";  // '>' inside a header
    const int cols = i == odd_record ? odd_len : len;
    for (int j = 0; j < cols; ++j) {
      text += "ACDX-GHI"[(i * 7 + j) % 8];
      if (j % 7 == 6) text += i % 2 ? "\n" : "\r\n";
    }
    text += '\n';
  }
  return text;
}

TEST(read_fasta_file, pieces_read_by_threads_equal_one_pass) {
  const memory_file file(records(97, 130));
  const alignment one = file.read(1), three = file.read(3);
  ASSERT_EQ(one.nseq(), 97u);
  EXPECT_EQ(one.lseq, 130u);
  EXPECT_EQ(three.names, one.names);
  EXPECT_EQ(rows_of(three), rows_of(one));
  EXPECT_EQ(one.names[5], "r6 x>y");
  EXPECT_EQ(rows_of(one)[0].substr(0, 8), "IACD--GH");  // gaps marked
  EXPECT_EQ(rows_of(read_text(records(97, 130)).aln), rows_of(one));
}

TEST(read_fasta_file, the_first_fault_in_input_order_is_reported) {
  // Record 96 is too long; record 10 is short. Reading stops at the first
  // record over the limit, before lengths are compared.
  std::string text = records(95, 100, 10, 99);
  text += ">long\n" + std::string(101, 'A') + "\n";
  const memory_file file(text);
  for (unsigned threads : {1u, 4u})
    EXPECT_THAT([&] { file.read(threads, 100); },
                ThrowsMessage<fatal_error>(HasSubstr("Record 96 (long)")))
        << threads << " threads";
  const memory_file short_one(records(95, 100, 60, 99));
  for (unsigned threads : {1u, 4u})
    EXPECT_THAT([&] { short_one.read(threads); },
                ThrowsMessage<fatal_error>(HasSubstr(
                    "Record 60 (r60 x>y) has 99 columns; record 1 (r1 x>y) "
                    "has 100.")));
}

TEST(index_fasta_file, streamed_rows_and_weights_equal_the_table) {
  // Lines of 7 with mixed line ends (kept in memory), even lines of 16 and
  // of 5 (read from the file), and a record on one line.
  std::string text = records(40, 130);
  for (int i = 0; i < 3; ++i) {
    text += ">even" + std::to_string(i) + "\n";
    const std::size_t width = i == 0 ? 16 : i == 1 ? 5 : 130;
    for (std::size_t j = 0; j < 130; j += width)
      text += std::string(std::min<std::size_t>(width, 130 - j), "AC-X"[i]) +
              (i == 1 ? "\r\n" : "\n");
  }
  const memory_file file(text);
  const alignment table = file.read(1);
  for (unsigned threads : {1u, 3u}) {
    const alignment aln = file.streamed(threads);
    ASSERT_FALSE(aln.in_memory());
    EXPECT_EQ(aln.names, table.names);
    EXPECT_EQ(rows_of(aln), rows_of(table));
    // Stretches across line ends, shorter and longer than 16 columns.
    char buf[130];
    for (std::size_t i = 40; i < aln.nseq(); ++i)
      for (const auto& [c0, c1] : {std::pair<std::size_t, std::size_t>{3, 4},
                                   {5, 37},
                                   {15, 17},
                                   {0, 130}})
        EXPECT_EQ(std::string(aln.segment(i, c0, c1, buf), c1 - c0),
                  std::string(table.row_view(i).substr(c0, c1 - c0)))
            << i << " " << c0;
    // The classes counted from the rows read in place: the table's weights.
    thread_pool pool(threads);
    pool.set_min_work(0);
    EXPECT_EQ(weigh_sequences(aln, 0, 1e6, pool).wt,
              weigh_sequences(table, 0, 1e6, pool).wt)
        << threads << " threads";
  }
}

TEST(index_fasta_file, a_first_record_without_residues) {
  // Nothing to count in a table of no columns: the same errors as in the
  // table, with one thread and several.
  const memory_file differ(">a b c\n>b\nAC\n>c\n\n");
  const memory_file none(">a\n>b\n");
  for (unsigned threads : {1u, 3u}) {
    EXPECT_THAT([&] { differ.streamed(threads); },
                ThrowsMessage<fatal_error>(HasSubstr(
                    "Record 2 (b) has 2 columns; record 1 (a b c) has 0.")));
    EXPECT_THAT([&] { none.streamed(threads); },
                ThrowsMessage<fatal_error>(
                    HasSubstr("Error: alignment has no columns")));
  }
}

TEST(read_fasta, pir_records_and_their_names) {
  const auto out = read_text(
      ">P1;a\nsequence A\nACDE\nFG*\n"  // PIR: description dropped
      ">F1;c\nsome text\nACDEFG*\n"
      ">b c\nACDEFG\n"
      // Residues after a '*': no terminator, so FASTA, the line included.
      ">P1;d\nAC\nDE*FG\n");
  EXPECT_EQ(rows_of(out.aln),
            (std::vector<std::string>{"ACDEFG", "ACDEFG", "ACDEFG", "ACDEFG"}));
  EXPECT_EQ(out.aln.form(0), name_form::pir);
  EXPECT_EQ(out.aln.form(2), name_form::plain);
  EXPECT_EQ(out.aln.form(3), name_form::plain);
  // A terminator is not a drop; the '*' in mid-record is.
  EXPECT_EQ(out.warnings, std::vector<std::string>{
                              "Warning: 1 '*' was dropped from the residues."});
}

TEST(read_fasta, a_byte_order_mark_and_lone_carriage_returns) {
  const std::string text = "\xEF\xBB\xBF>a\rAC-G\r>b\rACTG\r";
  for (unsigned threads : {1u, 2u}) {
    const memory_file file(text);
    const alignment aln = file.read(threads);
    EXPECT_EQ(aln.names, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(rows_of(aln), (std::vector<std::string>{"AC-G", "ACTG"}));
  }
}

}  // namespace

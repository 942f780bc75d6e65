// The input layer: PIR and the full-alignment rule in the record reader,
// line reading, compression magic, and reading a file in pieces.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/parallel.h"
#include "fasta_seq.h"
#include "input/read_input.h"
#include "input/source.h"
#include "input/text_lines.h"

namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

std::vector<fasta_seq> read_all(const std::string& text, int flag = 0) {
  std::FILE* fp = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  fasta_stream fs(fp, 5);  // tiny blocks: lines cross them
  std::vector<fasta_seq> out;
  std::unique_ptr<fasta_seq> rec;
  while (read_fasta_seq(&fs, &rec, flag) == 1) out.push_back(*rec);
  std::fclose(fp);
  return out;
}

TEST(read_fasta_seq, pir_description_is_not_sequence) {
  const auto recs = read_all(
      ">P1;a\nsequence A\nACDE\nFG*\n"  // PIR: description dropped
      ">P1;b\nACDE*\n"                  // terminator on the first line only
      ">F1;c\nsome text\nAC\n"          // no terminator: FASTA
      ">Q1;d\nA B\nAC*\n");             // not a PIR type code
  ASSERT_EQ(recs.size(), 4u);
  EXPECT_EQ(recs[0].comment, "P1;a");
  EXPECT_EQ(recs[0].seq, "ACDEFG");
  EXPECT_EQ(recs[1].seq, "ACDE");
  EXPECT_EQ(recs[2].seq, "AC");
  EXPECT_EQ(recs[3].seq, "ABAC");
}

TEST(read_fasta_seq, pir_description_does_not_count_towards_the_limit) {
  const std::string residues(MAX_SEQLEN, 'A');
  EXPECT_EQ(read_all(">P1;a\nDESCRIPTION\n" + residues + "\n*\n")[0].seq,
            residues);
  EXPECT_THROW(read_all(">P1;a\nDESCRIPTION\n" + residues + "\n"),
               fasta_error);  // FASTA after all: one residue too many
}

class string_sink : public residue_sink {
 public:
  char* reserve(std::size_t n) override {
    if (s.size() < n) s.resize(n);
    return s.data();
  }
  std::string s;
};

TEST(read_fasta_record, fold_case_reads_lower_case_and_gap_characters) {
  const std::string text = ">a\nac.g_T~-xX*\n";
  std::FILE* fp = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  fasta_stream fs(fp, 64);
  fasta_rules rules;
  rules.flag = FOLD_CASE;
  rules.gap_mark = '[';
  string_sink sink;
  std::string name;
  fasta_record_info info;
  ASSERT_TRUE(read_fasta_record(&fs, rules, &name, &sink, &info));
  EXPECT_EQ(sink.s.substr(0, info.residues), "AC[G[T[[[[");
  EXPECT_EQ(info.dropped, 0u);
  std::fclose(fp);
}

TEST(line_reader, lines_across_blocks_and_line_ends) {
  const std::string text = "first line\r\n\nthird, a long one\nlast";
  std::FILE* fp = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
  stdio_source src(fp, 4);
  line_reader lines(&src);
  std::vector<std::string> got;
  std::string_view line;
  while (lines.next(&line)) got.emplace_back(line);
  EXPECT_EQ(got, (std::vector<std::string>{"first line", "",
                                           "third, a long one", "last"}));
  EXPECT_EQ(lines.number(), 4u);
  std::fclose(fp);
}

TEST(detect_compression, magic_bytes) {
  EXPECT_EQ(detect_compression("\x1f\x8b\x08"), compression::gzip);
  EXPECT_EQ(detect_compression(std::string_view("\xfd"
                                                "7zXZ\0",
                                                6)),
            compression::xz);
  EXPECT_EQ(detect_compression("BZh9"), compression::bzip2);
  EXPECT_EQ(detect_compression("BZhx"), compression::none);
  EXPECT_EQ(detect_compression("\x28\xb5\x2f\xfd"), compression::zstd);
  EXPECT_EQ(detect_compression(">seq\nACGT"), compression::none);
}

// An in-memory file holding text, for the readers that take a descriptor.
struct memory_file {
  explicit memory_file(const std::string& text)
      : fd(memfd_create("input_test", 0)) {
    if (fd < 0 || write(fd, text.data(), text.size()) !=
                      static_cast<ssize_t>(text.size()))
      throw std::runtime_error("memfd");
  }
  ~memory_file() { close(fd); }
  alignment read(unsigned threads, std::size_t max_columns = 45000) const {
    lseek(fd, 0, SEEK_SET);
    thread_pool pool(threads);
    pool.set_min_work(0);  // split even the smallest file
    input_options opts;
    opts.max_columns = max_columns;
    return read_alignment(fd, "mem.fa", opts, pool, [](const std::string&) {});
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
      if (j % 7 == 6) text += '\n';
    }
    text += '\n';
  }
  return text;
}

TEST(read_alignment, pieces_read_by_threads_equal_one_pass) {
  const memory_file file(records(97, 130));
  const alignment one = file.read(1), three = file.read(3);
  ASSERT_EQ(one.nseq(), 97u);
  EXPECT_EQ(one.lseq, 130u);
  EXPECT_EQ(three.names, one.names);
  for (std::size_t i = 0; i < one.nseq(); ++i)
    ASSERT_EQ(three.row_view(i), one.row_view(i)) << "record " << i;
  EXPECT_EQ(one.names[5], "r6 x>y");
  EXPECT_EQ(one.row_view(0).substr(0, 8), "IACD[[GH");  // gaps marked
}

TEST(read_alignment, the_first_fault_in_input_order_is_reported) {
  // Record 90 is too long; record 10 is short. Reading stops at the first
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

TEST(thread_pool, runs_every_task_and_rethrows_the_lowest_failure) {
  thread_pool pool(3);
  std::vector<std::atomic<int>> hits(100);
  pool.for_ranges(100, thread_pool::kMinWork,
                  [&](std::size_t b, std::size_t e) {
                    for (std::size_t k = b; k < e; ++k) ++hits[k];
                  });
  for (const auto& h : hits) EXPECT_EQ(h.load(), 1);
  EXPECT_THAT(
      [&] {
        pool.run(6, thread_pool::kMinWork, [](std::size_t k) {
          if (k >= 2) throw std::runtime_error("task " + std::to_string(k));
        });
      },
      ThrowsMessage<std::runtime_error>("task 2"));
}

TEST(piece_begin, splits_evenly_and_covers_everything) {
  EXPECT_EQ(piece_begin(10, 3, 0), 0u);
  EXPECT_EQ(piece_begin(10, 3, 1), 4u);
  EXPECT_EQ(piece_begin(10, 3, 2), 7u);
  EXPECT_EQ(piece_begin(10, 3, 3), 10u);
  EXPECT_EQ(piece_begin(2, 4, 4), 2u);
}

}  // namespace

// Large FASTA files read in place: the rows each pass fetches from the file
// are the table's rows, a file that changes under the run is an error that
// commits nothing, and a long run shows its progress on a terminal.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <thread>

#include "app/progress_line.h"
#include "core/trimming.h"
#include "core/weights.h"
#include "input/read_input.h"
#include "run/driver.h"
#include "run/settings.h"
#include "test_support.h"

namespace {

using ::testing::HasSubstr;
using streaming = input_options::streaming;

// A folder of its own with the alignment in it, removed at the end.
struct scratch {
  explicit scratch(const std::string& text) {
    char name[] = "/tmp/colsieve-streaming-XXXXXX";
    if (mkdtemp(name) == nullptr) throw std::runtime_error("mkdtemp");
    dir = name;
    std::ofstream(dir / "in.fa", std::ios::binary) << text;
  }
  ~scratch() { std::filesystem::remove_all(dir); }
  std::string in() const { return dir / "in.fa"; }
  std::filesystem::path dir;
};

alignment read_file(const std::string& path, streaming mode, unsigned threads,
                    bool fold_case) {
  const int fd = open(path.c_str(), O_RDONLY);
  thread_pool pool(threads);
  pool.set_min_work(0);  // split even small files into pieces
  input_options opts;
  opts.fold_case = fold_case;
  opts.stream = mode;
  try {
    alignment aln =
        read_alignment(fd, path, opts, pool, [](const std::string&) {});
    close(fd);
    return aln;
  } catch (...) {
    close(fd);
    throw;
  }
}

std::string row_of(const alignment& aln, std::size_t i) {
  std::string buf(aln.lseq, '\0');
  return {aln.segment(i, 0, aln.lseq, buf.data()), aln.lseq};
}

// CRLF in every other record, lower case and '.' in the rows, a long
// header; lines of uneven widths with blanks and '*' among them, or lines
// of 60 (with -u, rows read from the mapped file, where rows whose lines
// hold other numbers of columns are copied when first read).
std::string records(bool even) {
  std::string text;
  // (Not a subscript of a conditional expression: GCC 12's
  // UndefinedBehaviorSanitizer reads the wrong element of one at -O0.)
  const char* const letters = even ? "ACdeFG-.HIykl-w" : "ACdeFG-.HI *kl-";
  for (int i = 1; i <= 40; ++i) {
    const char* eol = i % 2 ? "\n" : "\r\n";
    text += ">r" + std::to_string(i) + (i == 3 ? std::string(70000, 'h') : "");
    text += eol;
    for (int j = 0, width = even ? 60 : 1; j < 1500;
         ++j) {  // each byte 100 times
      text += letters[(i + j) % 15];
      if (j % width == width - 1) {
        text += eol;
        width = even ? 60 : 1 + (i + j) % 83;
      }
    }
    text += eol;
  }
  return text;
}

TEST(streaming, rows_read_in_place_are_the_tables) {
  for (const bool even : {false, true})
    for (const bool fold : {false, true}) {
      const scratch s(records(even));
      const alignment table = read_file(s.in(), streaming::never, 1, fold);
      ASSERT_TRUE(table.in_memory());
      for (const unsigned threads : {1u, 3u}) {
        const alignment aln =
            read_file(s.in(), streaming::always, threads, fold);
        ASSERT_FALSE(aln.in_memory());
        ASSERT_EQ(aln.names, table.names);
        ASSERT_EQ(aln.lseq, table.lseq);
        for (std::size_t i = 0; i < aln.names.size(); ++i)
          ASSERT_EQ(row_of(aln, i), row_of(table, i)) << "row " << i;
        // A piece from the middle of a row, across line ends.
        std::string buf(50, '\0');
        EXPECT_EQ(std::string(aln.segment(7, 100, 150, buf.data()), 50),
                  row_of(table, 7).substr(100, 50));
      }
    }
}

TEST(streaming, a_file_that_changes_is_an_error) {
  const scratch s(records(true));
  const alignment aln = read_file(s.in(), streaming::always, 2, true);
  aln.source->check_unchanged();  // as it was

  std::ofstream(s.in(), std::ios::app) << ">more\nACGT\n";
  EXPECT_THROW(
      {
        try {
          aln.source->check_unchanged();
        } catch (const fatal_error& e) {
          EXPECT_THAT(e.what(), HasSubstr("in.fa changed while colsieve was "
                                          "reading it; nothing was written"));
          throw;
        }
      },
      fatal_error);

  // Cut short under the mapping: the rows past the end are an error, not
  // SIGBUS.
  std::filesystem::resize_file(s.in(), 10);
  std::string buf(aln.lseq, '\0');
  EXPECT_THROW(aln.segment(aln.names.size() - 1, 0, aln.lseq, buf.data()),
               fatal_error);
}

// A rewrite in place that keeps the size and the modification time (as a
// process writing through a shared mapping can): the rows read again are
// not what the first pass read, which is the change error in the pass that
// reads them, whether it reads them whole or in pieces.
TEST(streaming, a_rewrite_that_keeps_size_and_time_is_a_change) {
  for (const bool whole : {false, true}) {
    const std::string text = records(true);
    const scratch s(text);
    const alignment aln = read_file(s.in(), streaming::always, 2, true);
    struct stat before {};
    ASSERT_EQ(stat(s.in().c_str(), &before), 0);
    std::string changed = text;
    const std::size_t at = changed.find("\nAC") + 1;  // a residue
    changed[at] = 'W';
    std::ofstream(s.in(), std::ios::binary | std::ios::in) << changed;
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, s.in().c_str(), times, 0), 0);
    thread_pool pool(2);
    pool.set_min_work(0);
    if (whole) {
      std::string buf(aln.lseq, '\0');
      EXPECT_THROW(for (std::size_t i = 0; i < aln.nseq(); ++i)
                       aln.segment(i, 0, aln.lseq, buf.data()),
                   input_changed);
    } else {
      EXPECT_THROW(weigh_sequences(aln, 1.0, 1e6, pool), input_changed);
    }
  }
}

// A rewrite of the same size within the same second: the modification
// time tells it apart to the nanosecond.
TEST(streaming, a_rewrite_within_the_same_second_is_a_change) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const scratch s(records(true));
    const alignment aln = read_file(s.in(), streaming::always, 1, true);
    const auto before = std::filesystem::last_write_time(s.in());
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    std::string text = records(true);
    text[text.size() - 2] = text[text.size() - 2] == 'A' ? 'C' : 'A';
    std::ofstream(s.in(), std::ios::binary) << text;
    const auto after = std::filesystem::last_write_time(s.in());
    using std::chrono::floor;
    using std::chrono::seconds;
    if (floor<seconds>(before) != floor<seconds>(after)) continue;  // retry
    EXPECT_THROW(aln.source->check_unchanged(), input_changed);
    return;
  }
  GTEST_SKIP() << "every rewrite crossed a second";
}

// Codons with real in-frame stops, internal and terminal, some of them in
// rows laid out unevenly: masked where the rows are read in place as in
// the table, to the last bit of every score.
TEST(streaming, stop_codons_are_masked_in_place_as_in_the_table) {
  std::string text;
  const char* body[] = {"ATGAAATAGCCCGGGTTTAAA", "ATGTGACCCAAAGGGTTTTAA",
                        "ATGAAACCCTAAGGGTTT---", "ATG---CCCAAATGATTTTAG"};
  for (int i = 0; i < 48; ++i) {
    std::string row;
    for (int k = 0; k < 20; ++k) row += body[(i + k) % 4];
    text += ">s" + std::to_string(i) + "\n";
    const std::size_t width = i % 5 == 0 ? 37 : 60;  // uneven ones copied
    for (std::size_t j = 0; j < row.size(); j += width)
      text += row.substr(j, width) + (i % 7 == 0 && j == 0 ? "  \n" : "\n");
  }
  const scratch s(text);
  trim_options opts;
  opts.codon = true;
  opts.stops = stop_mask::all;
  thread_pool pool(2);
  pool.set_min_work(0);
  alignment table = read_file(s.in(), streaming::never, 2, true);
  alignment mapped = read_file(s.in(), streaming::always, 2, true);
  ASSERT_FALSE(mapped.in_memory());
  const trimming a = trim(table, opts, pool, {});
  const trimming b = trim(mapped, opts, pool, {});
  EXPECT_GT(a.masked.internal, 0u);
  EXPECT_GT(a.masked.terminal, 0u);
  EXPECT_EQ(a.masked.internal, b.masked.internal);
  EXPECT_EQ(a.masked.terminal, b.masked.terminal);
  EXPECT_EQ(a.w.wt, b.w.wt);
  EXPECT_EQ(a.score, b.score);
  EXPECT_EQ(a.kept.is_selected, b.kept.is_selected);
  for (std::size_t i = 0; i < table.nseq(); ++i)
    ASSERT_EQ(row_of(mapped, i), row_of(table, i)) << "row " << i;
}

// A whole run whose input changes after it has been indexed (the warning
// on dropped lower case comes between the first pass and the others):
// the run fails and leaves no output and no temporary file.
TEST(streaming, a_run_whose_input_changes_commits_nothing) {
  for (const bool cut : {false, true}) {
    const scratch s(records(true));
    run_settings set;
    set.streaming = streaming::always;
    set.in_name = s.in();
    set.outputs.alignment = s.dir / "out.fa";
    set.outputs.column_map = s.dir / "map.tsv";
    const int fd = open(s.in().c_str(), O_RDONLY);
    run_hooks hooks;
    std::string error;
    hooks.say = [&](bool note, const std::string& text) {
      if (note) return;
      if (text.rfind("Warning", 0) == 0 && cut)
        std::filesystem::resize_file(s.in(), 100);
      else if (text.rfind("Warning", 0) == 0)
        std::ofstream(s.in(), std::ios::app) << ">more\nACGT\n";
      else
        error = text;
    };
    EXPECT_EQ(run_inputs(set, fd, stderr, hooks), 1) << cut;
    EXPECT_THAT(error, HasSubstr("changed while colsieve was reading it"));
    close(fd);
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(s.dir)) {
      EXPECT_EQ(e.path().filename(), "in.fa");
      ++files;
    }
    EXPECT_EQ(files, 1u);
  }
}

}  // namespace

namespace {

// The progress line: nothing but on a terminal; there, a line redrawn in
// place that makes way for messages and is erased at the end.
TEST(progress_line, draws_on_a_terminal_only_and_erases_itself) {
  run_progress p;
  p.file_size = 200;
  p.file_read = 100;
  EXPECT_EQ(progress_line::text(p, 2.5e6), "colsieve: pass 1, 50%, 2 MB/s");
  p.pass_size = 1000;
  p.rows_read = 2250;
  EXPECT_EQ(progress_line::text(p, -1), "colsieve: pass 4, 25%");
  // Between passes: what the run does, not a rate of 0.
  EXPECT_EQ(progress_line::text(p, 0), "colsieve: pass 4, 25%");
  p.rows_read = 3000;
  EXPECT_EQ(progress_line::text(p, 0), "colsieve: pass 4 done, working");
  EXPECT_EQ(progress_line::text(p, 3e6), "colsieve: pass 5, 0%, 3 MB/s");
  run_progress first;
  first.file_size = first.file_read = 200;
  EXPECT_EQ(progress_line::text(first, 0), "colsieve: pass 1 done, working");
  p.rows_read = 2250;

  std::FILE* file = std::tmpfile();
  { progress_line line(file, p, std::chrono::milliseconds(0)); }
  EXPECT_EQ(written_text(file), "");  // not a terminal

  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  std::FILE* tty = std::fopen(ptsname(master), "w");
  ASSERT_NE(tty, nullptr);
  const std::string drawn = "\rcolsieve: pass 4, 25%";
  std::string seen;
  // What the terminal has shown, until `until` holds or 10 s have passed.
  const auto read_until = [&](const std::function<bool()>& until) {
    for (int waited = 0; !until() && waited < 10000; waited += 10) {
      pollfd pfd{master, POLLIN, 0};
      if (poll(&pfd, 1, 10) != 1) continue;
      char buf[4096];
      const ssize_t n = read(master, buf, sizeof buf);
      if (n > 0) seen.append(buf, static_cast<std::size_t>(n));
    }
  };
  {
    progress_line line(tty, p, std::chrono::milliseconds(0));
    read_until([&] { return seen.size() >= drawn.size(); });
    line.around([&] { std::fputs("Warning: a message\n", tty); });
  }
  std::fclose(tty);
  // Everything is written by now: read until the terminal has no more.
  for (;;) {
    pollfd pfd{master, POLLIN, 0};
    char buf[4096];
    if (poll(&pfd, 1, 200) != 1) break;
    const ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) break;
    seen.append(buf, static_cast<std::size_t>(n));
  }
  close(master);
  const std::string erased = "\r" + std::string(drawn.size() - 1, ' ') + "\r";
  // The terminal turns "\n" into "\r\n".
  EXPECT_EQ(seen.substr(0, drawn.size() + erased.size()), drawn + erased);
  EXPECT_THAT(seen, HasSubstr(erased + "Warning: a message\r\n"));
  // Nothing of the line is left: it ends as the message did, or redrawn
  // and erased.
  const std::string tail = seen.substr(seen.find("a message\r\n") + 11);
  EXPECT_TRUE(tail.empty() || tail == drawn + erased) << tail;
}

}  // namespace

// Every output written before any is put in place: a failure leaves every
// existing file as it was, and no temporary file behind.
#include "output/side_files.h"

#include <dirent.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "base/error.h"

namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

struct scratch {
  scratch() {
    char templ[] = "/tmp/side_files_test.XXXXXX";
    dir = mkdtemp(templ);
  }
  ~scratch() {
    for (const std::string& f : files()) unlink((dir + "/" + f).c_str());
    rmdir(dir.c_str());
  }
  std::string path(const std::string& name) const { return dir + "/" + name; }
  std::vector<std::string> files() const {
    std::vector<std::string> out;
    DIR* d = opendir(dir.c_str());
    while (const dirent* e = readdir(d))
      if (e->d_name[0] != '.') out.push_back(e->d_name);
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(path(name));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name)) << text;
  }
  std::string dir;
};

output_paths paths(const std::optional<std::string>& map,
                   const std::optional<std::string>& report,
                   const std::optional<std::string>& out) {
  output_paths p;
  p.column_map = map;
  p.report = report;
  p.alignment = out;
  return p;
}

output_contents contents(content_writer map, content_writer report,
                         content_writer out) {
  output_contents c;
  c.column_map = std::move(map);
  c.report = std::move(report);
  c.alignment = std::move(out);
  return c;
}

content_writer text(const std::string& s) {
  return [s](std::FILE* fp, const std::string&) { std::fputs(s.c_str(), fp); };
}

TEST(side_files, everything_is_put_in_place_after_it_was_written) {
  const scratch tmp;
  tmp.write("map.tsv", "old map");
  thread_pool pool(1);
  side_files files(
      paths(tmp.path("map.tsv"), tmp.path("page.html"), tmp.path("out.fa")),
      input_ids{}, {{stdout}, {stderr}});
  files.write(contents(text("map"), text("page"), text("alignment")), pool);
  EXPECT_EQ(tmp.files(),
            (std::vector<std::string>{"map.tsv", "out.fa", "page.html"}));
  EXPECT_EQ(tmp.read("map.tsv"), "map");
  EXPECT_EQ(tmp.read("out.fa"), "alignment");
}

TEST(side_files, a_failing_output_replaces_nothing) {
  const scratch tmp;
  tmp.write("map.tsv", "old map");
  tmp.write("out.fa", "old alignment");
  thread_pool pool(1);
  const content_writer broken = [](std::FILE*, const std::string& name) {
    throw fatal_error("Error: cannot write " + name + ": disk full");
  };
  {
    side_files files(
        paths(tmp.path("map.tsv"), tmp.path("page.html"), tmp.path("out.fa")),
        input_ids{}, {{stdout}, {stderr}});
    EXPECT_THAT(
        [&] { files.write(contents(text("map"), broken, text("new")), pool); },
        ThrowsMessage<fatal_error>(HasSubstr("disk full")));
  }
  EXPECT_EQ(tmp.files(), (std::vector<std::string>{"map.tsv", "out.fa"}));
  EXPECT_EQ(tmp.read("map.tsv"), "old map");
  EXPECT_EQ(tmp.read("out.fa"), "old alignment");
}

TEST(side_files, two_outputs_into_one_file_are_refused_before_writing) {
  const scratch tmp;
  EXPECT_THAT(
      [&] {
        side_files(paths(tmp.path("same"), tmp.path("same"), std::nullopt),
                   input_ids{}, {{stdout}, {stderr}});
      },
      ThrowsMessage<fatal_error>(HasSubstr("it is the same file as")));
  EXPECT_TRUE(tmp.files().empty());
}

// A file read in place that changed: standard output gets nothing when the
// change is found before it is written, and the message says what it holds
// when the change is found while it is written.
TEST(side_files, standard_output_says_what_it_holds_of_an_input_that_changed) {
  thread_pool pool(1);
  output_paths none;
  bool written = false;
  output_contents c;
  c.alignment = [&](std::FILE*, const std::string&) { written = true; };
  c.verify = [] { throw input_changed("in.fa"); };
  side_files before(none, input_ids{}, {{stdout}, {stderr}});
  EXPECT_THAT([&] { before.write(c, pool); },
              ThrowsMessage<fatal_error>(
                  HasSubstr("in.fa changed while colsieve was reading it; "
                            "nothing was written")));
  EXPECT_FALSE(written);

  c.verify = {};
  c.alignment = [](std::FILE*, const std::string&) {
    throw input_changed("in.fa");
  };
  side_files during(none, input_ids{}, {{stdout}, {stderr}});
  EXPECT_THAT([&] { during.write(c, pool); },
              ThrowsMessage<fatal_error>(
                  HasSubstr("standard output holds a partial or wrong "
                            "alignment, and no file was written")));
}

}  // namespace

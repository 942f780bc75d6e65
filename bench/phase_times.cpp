// Times each phase of a default colsieve run on one file and prints a line
// per phase. Writing goes to /dev/null.
//
// usage: phase_times FILE [-r] [-p] [-j N] [--max-columns N]
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/weights.h"
#include "input/read_input.h"
#include "output/writer.h"

namespace {

using clock_type = std::chrono::steady_clock;

double since(clock_type::time_point& t) {
  const auto now = clock_type::now();
  const double s = std::chrono::duration<double>(now - t).count();
  t = now;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(
        stderr, "usage: phase_times FILE [-r] [-p] [-j N] [--max-columns N]\n");
    return 1;
  }
  int remove_cols = 0, phylip = 0;
  unsigned threads = 0;
  input_options opts;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "-r") == 0) remove_cols = 1;
    if (std::strcmp(argv[i], "-p") == 0) phylip = 1;
    if (std::strcmp(argv[i], "-j") == 0 && i + 1 < argc)
      threads = static_cast<unsigned>(std::atoi(argv[++i]));
    if (std::strcmp(argv[i], "--max-columns") == 0 && i + 1 < argc)
      opts.max_columns = std::strtoull(argv[++i], nullptr, 10);
  }
  const int fd = open(argv[1], O_RDONLY);
  std::FILE* null = std::fopen("/dev/null", "w");
  if (fd < 0 || null == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  try {
    auto t = clock_type::now();
    const auto start = t;
    thread_pool pool(threads);
    const alignment aln =
        read_alignment(fd, argv[1], opts, pool, [](const std::string&) {});
    const double load = since(t);
    const weighting w = weigh_sequences(aln, 1.0, 1000000.0, pool);
    const double weigh = since(t);
    const auto score = column_scores(aln, w.wt, w.cst, w.total_wt, pool);
    const double scores = since(t);
    const selection sel = select_columns(score, 0.85);
    const double select = since(t);
    output_buffer out(null, "/dev/null");
    const trimmed_writer writer(sel.is_selected, remove_cols, phylip);
    write_records(out, aln, writer, pool);
    out.flush();
    const double write = since(t);
    std::printf("threads %u\n", pool.size());
    std::printf("load    %.3f s\nweights %.3f s\nscores  %.3f s\n", load, weigh,
                scores);
    std::printf("select  %.3f s\nwrite   %.3f s\ntotal   %.3f s\n", select,
                write, std::chrono::duration<double>(t - start).count());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}

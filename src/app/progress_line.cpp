#include "app/progress_line.h"

#include <unistd.h>

namespace {

std::uint64_t done_bytes(const run_progress& p) {
  return p.file_read.load(std::memory_order_relaxed) +
         p.rows_read.load(std::memory_order_relaxed);
}

}  // namespace

progress_line::progress_line(std::FILE* fp, const run_progress& p,
                             std::chrono::milliseconds after)
    : fp_(fp), p_(p) {
  if (isatty(fileno(fp)) == 1)
    thread_ = std::thread([this, after] { loop(after); });
}

progress_line::~progress_line() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  erase();
}

void progress_line::around(const std::function<void()>& write) {
  std::lock_guard<std::mutex> lock(mutex_);
  erase();
  write();
}

std::string progress_line::text(const run_progress& p, double rate) {
  const std::uint64_t pass_size = p.pass_size.load();
  std::uint64_t pass = 1, done = p.file_read.load(), total = p.file_size.load();
  if (pass_size > 0) {  // read once: now the passes over the rows
    const std::uint64_t rows = p.rows_read.load();
    pass = 2 + rows / pass_size;
    done = rows % pass_size;
    total = pass_size;
  }
  char line[80];
  // Nothing read since the last look: at a pass's end or start the run is
  // working between passes (the index of the rows, the weights, the
  // columns), and a rate of 0 would say it had stalled.
  if (rate == 0 && (done == total || (done == 0 && pass > 1))) {
    const std::uint64_t finished = done == total ? pass : pass - 1;
    std::snprintf(line, sizeof line, "colsieve: pass %llu done, working",
                  static_cast<unsigned long long>(finished));
    return line;
  }
  const unsigned percent =
      total == 0 ? 0 : static_cast<unsigned>(done * 100 / total);
  if (rate <= 0) {  // not measured yet, or idle in mid-pass
    std::snprintf(line, sizeof line, "colsieve: pass %llu, %u%%",
                  static_cast<unsigned long long>(pass), percent);
    return line;
  }
  std::snprintf(line, sizeof line, "colsieve: pass %llu, %u%%, %.0f MB/s",
                static_cast<unsigned long long>(pass), percent, rate / 1e6);
  return line;
}

void progress_line::loop(std::chrono::milliseconds after) {
  using clock = std::chrono::steady_clock;
  std::unique_lock<std::mutex> lock(mutex_);
  auto then = clock::now();
  std::uint64_t before = done_bytes(p_);
  if (wake_.wait_for(lock, after, [this] { return done_; })) return;
  double rate = -1;  // not measured yet
  do {
    const auto now = clock::now();
    const std::uint64_t bytes = done_bytes(p_);
    const double seconds = std::chrono::duration<double>(now - then).count();
    if (seconds > 0.1) {
      rate = static_cast<double>(bytes - before) / seconds;
      then = now;
      before = bytes;
    }
    if (p_.file_size.load() == 0) continue;  // nothing counted: no line
    const std::string line = text(p_, rate);
    std::fprintf(fp_, "\r%s", line.c_str());
    if (line.size() < shown_)
      std::fprintf(fp_, "%*s\r%s", static_cast<int>(shown_ - line.size()), "",
                   line.c_str());
    std::fflush(fp_);
    shown_ = line.size();
  } while (!wake_.wait_for(lock, std::chrono::milliseconds(500),
                           [this] { return done_; }));
}

void progress_line::erase() {
  if (shown_ == 0) return;
  std::fprintf(fp_, "\r%*s\r", static_cast<int>(shown_), "");
  std::fflush(fp_);
  shown_ = 0;
}

// The progress line of a long run on a terminal: the pass over the input,
// how much of it is done and how fast, redrawn in place on standard error
// and erased at the end.
#ifndef COLSIEVE_APP_PROGRESS_LINE_H
#define COLSIEVE_APP_PROGRESS_LINE_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "core/progress.h"

class progress_line {
 public:
  // Draws on fp, when it is a terminal, from `after` into the run until
  // the object is destroyed, from the counts of p (which must outlive it);
  // nothing while p counts no file (one read in place).
  progress_line(std::FILE* fp, const run_progress& p,
                std::chrono::milliseconds after = std::chrono::seconds(5));
  ~progress_line();
  progress_line(const progress_line&) = delete;
  progress_line& operator=(const progress_line&) = delete;

  // Runs write (which writes a message to fp) with the line erased first,
  // so that the message stands on a line of its own.
  void around(const std::function<void()>& write);

  // The line for these counts, `rate` bytes a second (below 0: not known
  // yet); with a rate of 0 at a pass's end, the pass done and the run
  // working.
  static std::string text(const run_progress& p, double rate);

 private:
  void loop(std::chrono::milliseconds after);
  void erase();  // REQUIRES: mutex_ held

  std::FILE* fp_;
  const run_progress& p_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::size_t shown_ = 0;  // width of the line on the terminal, 0: none
  std::thread thread_;
};

#endif  // COLSIEVE_APP_PROGRESS_LINE_H

// The run's threads: a small pool that the phases share. Work is split into
// fixed contiguous pieces, so which thread adds which terms never depends on
// timing; every floating-point sum keeps its order whatever the count.
//
// Callers never test whether threads are worth it: they say how much work a
// phase is (cells, bytes), and the pool runs it on the caller's thread when
// it is small, as minimap2's kt_for runs serially when asked for one thread.
#ifndef COLSIEVE_CORE_PARALLEL_H
#define COLSIEVE_CORE_PARALLEL_H

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "base/error.h"

// The number of threads to use by default: the CPUs this process may run on,
// lowered to the CPU quota of its control groups where one is set.
unsigned default_threads();

// The k-th of parts contiguous pieces of [0, n): [first, last).
inline std::size_t piece_begin(std::size_t n, std::size_t parts,
                               std::size_t k) {
  return n / parts * k + (k < n % parts ? k : n % parts);
}

class thread_pool {
 public:
  // Below this much work a phase runs on the caller's thread: waking
  // threads would cost more than it saves.
  static constexpr std::size_t kMinWork = std::size_t{2} << 20;

  // threads in all, the caller's included; 0 means default_threads(),
  // looked up only when some work is worth threads. The other threads start
  // when first needed. A thread that cannot be started is not an error: the
  // work runs on those that did start, and warn gets one line naming the
  // cause.
  explicit thread_pool(unsigned threads, warn_fn warn = {});
  ~thread_pool();
  thread_pool(const thread_pool&) = delete;
  thread_pool& operator=(const thread_pool&) = delete;

  // A pool of the calling thread alone, for work that runs side by side
  // with other work on the threads of another pool.
  static thread_pool& serial();

  // The threads asked for.
  unsigned size();

  // Threads a phase of `work` units is worth: 1 when it is small, else
  // every thread of the pool, started now if they were not (fewer when
  // some could not be started).
  unsigned threads_for(std::size_t work);

  // Runs task(k) for every k in [0, n) and returns when all are done: on
  // the caller's thread, in order, when threads_for(work) is 1; else on the
  // pool's threads and the caller's. With n <= threads_for(work), every
  // task runs on a thread of its own at the same time, so tasks may wait for
  // each other (a barrier). If tasks throw, the exception of the lowest k is
  // rethrown.
  void run(std::size_t n, std::size_t work,
           const std::function<void(std::size_t)>& task);

  // Splits [0, n) into threads_for(work) contiguous pieces (at most n) and
  // runs body(begin, end) on each.
  void for_ranges(std::size_t n, std::size_t work,
                  const std::function<void(std::size_t, std::size_t)>& body);

  // Sets the threshold below which work stays on the caller's thread
  // (tests set 0, to spread even the smallest alignment).
  void set_min_work(std::size_t units) { min_work_ = units; }

 private:
  void work();
  void take_tasks();
  void start_workers();

  unsigned size_;
  warn_fn warn_;
  std::size_t min_work_ = kMinWork;
  bool started_ = false;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  const std::function<void(std::size_t)>* task_ = nullptr;
  std::size_t tasks_ = 0, next_ = 0, finished_ = 0;
  unsigned long generation_ = 0;
  bool stop_ = false;
  std::vector<std::exception_ptr> errors_;
};

#endif  // COLSIEVE_CORE_PARALLEL_H

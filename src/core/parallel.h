// The run's threads: a small pool that the phases share. Work is split into
// fixed contiguous pieces, so which thread adds which terms never depends on
// timing; every floating-point sum keeps its order whatever the count.
#ifndef COLSIEVE_CORE_PARALLEL_H
#define COLSIEVE_CORE_PARALLEL_H

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

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
  // threads in all, the caller's included; 0 is taken as 1. The other
  // threads start when first needed.
  explicit thread_pool(unsigned threads);
  ~thread_pool();
  thread_pool(const thread_pool&) = delete;
  thread_pool& operator=(const thread_pool&) = delete;

  unsigned size() const { return size_; }

  // The pool when a phase of `work` units (cells, bytes) is worth spreading
  // over threads, else nullptr: for small alignments, waking threads costs
  // more than it saves.
  thread_pool* worth(std::size_t work) {
    return size_ > 1 && work >= min_work_ ? this : nullptr;
  }
  // Below this much work, phases run on the caller's thread (tests set 0).
  void set_min_work(std::size_t units) { min_work_ = units; }

  // Runs task(k) for every k in [0, n), on the pool's threads and the
  // caller's, and returns when all are done. With n == size(), every task
  // runs on a thread of its own at the same time, so tasks may wait for each
  // other (a barrier). If tasks throw, the exception of the lowest k is
  // rethrown.
  void run(std::size_t n, const std::function<void(std::size_t)>& task);

  // Splits [0, n) into at most size() contiguous pieces and runs
  // body(begin, end) on each.
  void for_ranges(std::size_t n,
                  const std::function<void(std::size_t, std::size_t)>& body);

 private:
  void work();
  void take_tasks();

  void start_workers();

  unsigned size_;
  std::size_t min_work_ = std::size_t{2} << 20;
  std::vector<std::thread> workers_;  // started when first needed
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  const std::function<void(std::size_t)>* task_ = nullptr;
  std::size_t tasks_ = 0, next_ = 0, finished_ = 0;
  unsigned long generation_ = 0;
  bool stop_ = false;
  std::vector<std::exception_ptr> errors_;
};

#endif  // COLSIEVE_CORE_PARALLEL_H

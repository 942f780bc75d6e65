#include "core/parallel.h"

#include <string>
#include <system_error>

#include "base/platform.h"

unsigned default_threads() { return usable_cpus(); }

thread_pool::thread_pool(unsigned threads, warn_fn warn)
    : size_(threads), warn_(std::move(warn)) {}

thread_pool& thread_pool::serial() {
  thread_local thread_pool one(1);
  return one;
}

unsigned thread_pool::size() {
  if (size_ == 0) size_ = default_threads();
  return size_;
}

void thread_pool::start_workers() {
  started_ = true;
  const unsigned want = size();
  workers_.reserve(want - 1);
  for (unsigned i = 1; i < want; ++i) {
    try {
      workers_.emplace_back([this] { work(); });
    } catch (const std::system_error& e) {
      // Too few threads or too little memory for another stack: the work
      // runs on the threads there are, with the same results.
      if (warn_)
        warn_("Warning: could not start thread " + std::to_string(i + 1) +
              " of " + std::to_string(want) + " (" + e.code().message() +
              "); running on " + std::to_string(workers_.size() + 1) +
              (workers_.empty() ? " thread" : " threads"));
      break;
    }
  }
}

unsigned thread_pool::threads_for(std::size_t work) {
  if (work < min_work_ || size() == 1) return 1;
  if (!started_) start_workers();
  return static_cast<unsigned>(workers_.size() + 1);
}

thread_pool::~thread_pool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void thread_pool::take_tasks() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (next_ < tasks_) {
    const std::size_t k = next_++;
    const auto* task = task_;
    lock.unlock();
    std::exception_ptr error;
    try {
      (*task)(k);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    if (error) errors_[k] = error;
    if (++finished_ == tasks_) done_.notify_all();
  }
}

void thread_pool::work() {
  unsigned long seen = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
    if (stop_) return;
    seen = generation_;
    lock.unlock();
    take_tasks();
    lock.lock();
  }
}

void thread_pool::run(std::size_t n, std::size_t work,
                      const std::function<void(std::size_t)>& task) {
  if (n == 0) return;
  if (n == 1 || threads_for(work) == 1) {
    for (std::size_t k = 0; k < n; ++k) task(k);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = &task;
    tasks_ = n;
    next_ = finished_ = 0;
    errors_.assign(n, nullptr);
    ++generation_;
  }
  wake_.notify_all();
  take_tasks();
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return finished_ == tasks_; });
  task_ = nullptr;
  tasks_ = 0;
  for (const std::exception_ptr& e : errors_)
    if (e) std::rethrow_exception(e);
}

void thread_pool::for_ranges(
    std::size_t n, std::size_t work,
    const std::function<void(std::size_t, std::size_t)>& body) {
  const std::size_t parts = std::min<std::size_t>(threads_for(work), n);
  run(parts, work, [&](std::size_t k) {
    body(piece_begin(n, parts, k), piece_begin(n, parts, k + 1));
  });
}

// A file descriptor that closes itself when it goes.
#ifndef COLSIEVE_BASE_UNIQUE_FD_H
#define COLSIEVE_BASE_UNIQUE_FD_H

#include <unistd.h>

class unique_fd {
 public:
  unique_fd() = default;
  explicit unique_fd(int fd) : fd_(fd) {}
  ~unique_fd() { reset(); }
  unique_fd(const unique_fd&) = delete;
  unique_fd& operator=(const unique_fd&) = delete;
  unique_fd(unique_fd&& other) noexcept : fd_(other.release()) {}
  unique_fd& operator=(unique_fd&& other) noexcept {
    reset(other.release());
    return *this;
  }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor held (never standard input, output or error,
  // which the process keeps) and holds fd instead.
  void reset(int fd = -1) {
    if (fd_ > 2) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

#endif  // COLSIEVE_BASE_UNIQUE_FD_H

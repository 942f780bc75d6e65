// What a file is at a moment: which file, how long, when last changed, so
// that a later look can tell whether it changed (a file read in place, or
// read again).
#ifndef COLSIEVE_BASE_FILE_STATE_H
#define COLSIEVE_BASE_FILE_STATE_H

#include <sys/stat.h>
#include <sys/types.h>

struct file_state {
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = -1;  // -1: no such file to look at
  timespec mtime{};
  bool operator==(const file_state& o) const {
    return dev == o.dev && ino == o.ino && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec;
  }
};

// The state of the file open on fd; size -1 when it cannot be looked at.
inline file_state state_of(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0) return {};
  return {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

#endif  // COLSIEVE_BASE_FILE_STATE_H

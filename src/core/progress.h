// How far a long run is through its input, for a progress line: counted by
// the passes on any thread, read by the line's own.
#ifndef COLSIEVE_CORE_PROGRESS_H
#define COLSIEVE_CORE_PROGRESS_H

#include <atomic>
#include <cstdint>

struct run_progress {
  // The first pass over a file read in place: its size, and the bytes of
  // it read so far.
  std::atomic<std::uint64_t> file_size{0};
  std::atomic<std::uint64_t> file_read{0};
  // The later passes, each over every residue (nseq * lseq, known once the
  // first pass is done): the residues read back so far, in all of them.
  std::atomic<std::uint64_t> pass_size{0};
  std::atomic<std::uint64_t> rows_read{0};

  static void add(std::atomic<std::uint64_t>* counter, std::uint64_t n) {
    if (counter != nullptr) counter->fetch_add(n, std::memory_order_relaxed);
  }
};

#endif  // COLSIEVE_CORE_PROGRESS_H

// Files written beside the alignment: staged writing and the column map.
#ifndef COLSIEVE_OUTPUT_SIDE_OUTPUT_H
#define COLSIEVE_OUTPUT_SIDE_OUTPUT_H

#include <cstdio>
#include <string>
#include <vector>

#include "core/weights.h"
#include "output/buffer.h"

// A file written under a temporary name beside its destination and renamed
// into place by commit(), so that a run that fails never leaves a partial
// file under the real name. An existing destination that is not a regular
// file (a pipe, a device) is written directly. Throws fatal_error, naming the
// file as `what`, when it cannot be created, written or renamed.
class staged_file {
 public:
  staged_file(std::string path, std::string what);
  ~staged_file();  // removes the temporary file unless committed
  staged_file(const staged_file&) = delete;
  staged_file& operator=(const staged_file&) = delete;

  std::FILE* get() const { return fp_; }
  void commit();

 private:
  [[noreturn]] void fail() const;

  std::string path_, what_, temp_;  // temp_ is empty when writing directly
  std::FILE* fp_ = nullptr;
};

// Writes the column map: a header row, then for each column its 1-based
// number, its score ("%f") and 1 if kept, else 0, separated by tabs.
void write_column_map(output_buffer& fp, const std::vector<double>& score,
                      const selection& sel);

#endif  // COLSIEVE_OUTPUT_SIDE_OUTPUT_H

// Writes colsieve's bash completion, made from its option table, to
// standard output; the build installs what it writes.
#include <cstdio>

#include "app/options.h"

int main() {
  write_bash_completion(stdout);
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

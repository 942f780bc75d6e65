// The one error type of colsieve, the warning callback, and the message of
// a failed write. Code below colsieve_main throws fatal_error; only
// colsieve_main prints it and turns it into the exit status.
#ifndef COLSIEVE_ERROR_H
#define COLSIEVE_ERROR_H

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

// A failure that ends the run with status 1. what() is the message, without
// its last line end (it may hold several lines); show_help asks for the help
// text after it.
struct fatal_error : std::runtime_error {
  explicit fatal_error(const std::string& message, bool help = false)
      : std::runtime_error(message), show_help(help) {}
  bool show_help;
};

// Where warnings go: one call a warning, the text without its line end.
using warn_fn = std::function<void(const std::string&)>;

// "Error: cannot write WHAT: <strerror(err)>", for writes that failed.
inline fatal_error write_error(const std::string& what, int err) {
  return fatal_error("Error: cannot write " + what + ": " + std::strerror(err));
}

#endif  // COLSIEVE_ERROR_H
